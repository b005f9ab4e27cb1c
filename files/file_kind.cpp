#include "files/file_kind.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <string_view>

#include "coff/coff_records.h"
#include "model/file_bytes.h"
#include "omf/omf_records.h"
#include "pe/pe_image.h"

namespace {

// Enough for the DOS header's e_lfanew and a first look at any text.
constexpr std::size_t kSniffSize = 4096;

bool LooksLikeText(std::string_view head) {
  for (unsigned char c : head)
    if (c == 0 || (c < 32 && c != '\t' && c != '\n' && c != '\r' && c != '\f')) return false;
  return true;
}

// A module-definition statement opens a line: EXPORTS, LIBRARY or NAME,
// in any letter case, as the linkers' own readers take them.
bool HasDefinitionStatement(std::string_view head) {
  std::size_t pos = 0;
  while (pos < head.size()) {
    std::size_t end = head.find('\n', pos);
    if (end == std::string_view::npos) end = head.size();
    std::string_view line = head.substr(pos, end - pos);
    while (!line.empty() && static_cast<unsigned char>(line.front()) <= ' ') line.remove_prefix(1);
    std::string word;
    for (char c : line) {
      if (!std::isalpha(static_cast<unsigned char>(c))) break;
      word += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    if (word == "EXPORTS" || word == "LIBRARY" || word == "NAME") return true;
    pos = end + 1;
  }
  return false;
}

}  // namespace

Outcome DetectFileKind(const std::string& fileName, FileKind& kind) {
  HANDLE file = OpenLibraryFile(fileName, true);
  if (file == INVALID_HANDLE_VALUE) return Outcome::CannotOpen(static_cast<int>(GetLastError()));
  std::uint8_t head[kSniffSize] = {};
  DWORD read = 0;
  ReadFile(file, head, sizeof head, &read, nullptr);
  std::uint8_t pe[4] = {};
  DWORD peRead = 0;
  if (read >= pe::kNewHeaderOffsetAt + 4 && head[0] == 'M' && head[1] == 'Z') {
    const std::uint32_t at = records::LoadLittle<std::uint32_t>(head + pe::kNewHeaderOffsetAt);
    if (SetFilePointer(file, static_cast<LONG>(at), nullptr, FILE_BEGIN) == at)
      ReadFile(file, pe, sizeof pe, &peRead, nullptr);
  }
  CloseHandle(file);

  const std::string_view text(reinterpret_cast<const char*>(head), read);
  if (read == 0)
    kind = FileKind::Empty;
  else if (text.starts_with(coff::kArchiveSignature))
    kind = FileKind::CoffArchive;
  else if (std::string_view(reinterpret_cast<const char*>(pe), peRead) == pe::kPeSignature)
    kind = FileKind::PeImage;
  else if (head[0] == omf::kLibraryHeader)
    kind = FileKind::OmfLibrary;
  else if ((head[0] == omf::kModuleHeader || head[0] == omf::kLibModuleHeader) &&
           read >= omf::RecordHeader::kSize)
    kind = FileKind::OmfObject;
  else if (LooksLikeText(text))
    kind = HasDefinitionStatement(text) ? FileKind::DefinitionText : FileKind::Text;
  else
    kind = FileKind::Unknown;
  return Outcome::Done();
}

const char* DescribeFileKind(FileKind kind) {
  switch (kind) {
    case FileKind::CoffArchive: return "a COFF archive";
    case FileKind::OmfLibrary: return "an OMF library";
    case FileKind::OmfObject: return "an OMF object module";
    case FileKind::PeImage: return "a PE image";
    case FileKind::DefinitionText: return "a module-definition file";
    case FileKind::Empty: return "an empty file";
    case FileKind::Text: return "a text file";
    case FileKind::Unknown: return "not a format Libmorph knows";
  }
  return "unknown";
}

Outcome ReadByContent(TFichierLib& lib, const std::string& fileName, FileKind& kind) {
  return ReadByContent(lib, fileName, kind, ReadFallbacks{});
}

Outcome ReadByContent(TFichierLib& lib, const std::string& fileName, FileKind& kind,
                      const ReadFallbacks& fallbacks) {
  Outcome sniffed = DetectFileKind(fileName, kind);
  if (!sniffed) return sniffed;
  lib.SourceMachine = 0;
  lib.CodePacked = false;
  lib.LeftOutObjects.clear();
  switch (kind) {
    case FileKind::CoffArchive: return lib.ReadCoffLibrary(fileName);
    case FileKind::OmfLibrary: return lib.ReadOmfLibrary(fileName);
    case FileKind::PeImage: return lib.ReadDllFile(fileName);
    case FileKind::DefinitionText: return lib.ReadDefFile(fileName);
    case FileKind::OmfObject:
      if (fallbacks.OmfObjectAsLibrary) return lib.ReadOmfLibrary(fileName);
      return Outcome::NotImportLibrary("an OMF object module, not a library");
    case FileKind::Text:
      if (fallbacks.TextAsDefinition) return lib.ReadDefFile(fileName);
      return Outcome::NotImportLibrary(DescribeFileKind(kind));
    default:
      return Outcome::NotImportLibrary(DescribeFileKind(kind));
  }
}
