#include "files/file_kind.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <string_view>

#include "coff/coff.h"
#include "coff/coff_records.h"
#include "def/def.h"
#include "model/file_bytes.h"
#include "omf/omf.h"
#include "omf/omf_records.h"
#include "pe/pe.h"
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

FileKind KindOf(std::span<const std::uint8_t> bytes) {
  const std::size_t read = std::min(bytes.size(), kSniffSize);
  const std::uint8_t* head = bytes.data();
  const std::string_view text(reinterpret_cast<const char*>(head), read);
  // A PE image: "MZ", and the "PE\0\0" signature where e_lfanew points.
  bool pe = false;
  if (read >= pe::kNewHeaderOffsetAt + 4 && head[0] == 'M' && head[1] == 'Z') {
    const std::uint32_t at = records::LoadLittle<std::uint32_t>(head + pe::kNewHeaderOffsetAt);
    pe = at <= bytes.size() && bytes.size() - at >= pe::kPeSignature.size() &&
         std::string_view(reinterpret_cast<const char*>(head) + at, pe::kPeSignature.size()) ==
             pe::kPeSignature;
  }
  if (read == 0) return FileKind::Empty;
  if (text.starts_with(coff::kArchiveSignature)) return FileKind::CoffArchive;
  if (pe) return FileKind::PeImage;
  if (head[0] == omf::kLibraryHeader) return FileKind::OmfLibrary;
  if ((head[0] == omf::kModuleHeader || head[0] == omf::kLibModuleHeader) &&
      read >= omf::RecordHeader::kSize)
    return FileKind::OmfObject;
  if (LooksLikeText(text)) return HasDefinitionStatement(text) ? FileKind::DefinitionText : FileKind::Text;
  return FileKind::Unknown;
}

Outcome DetectFileKind(const std::string& fileName, FileKind& kind) {
  FileBytes bytes;
  if (Outcome read = ReadFileBytes(fileName, bytes); !read) return read;
  kind = KindOf(bytes.View());
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

Outcome ReadByContent(TFichierLib& lib, const std::string& fileName, FileKind& kind,
                      const ReadOptions& options) {
  // One read of the file: its kind is told from the very bytes the reader
  // then reads, so a save that replaces the file in between cannot give
  // the reader another file than the one that was recognised.
  FileBytes bytes;
  if (Outcome read = ReadFileBytes(fileName, bytes); !read) return read;
  kind = KindOf(bytes.View());
  // Read aside: a refused file leaves the list, its machine and its flags
  // as they were.
  ExportList fresh;
  Outcome outcome;
  switch (kind) {
    case FileKind::CoffArchive: outcome = coff::ReadLibrary(bytes.View(), fresh); break;
    case FileKind::OmfLibrary:
      outcome = omf::ReadLibrary(bytes.View(), fresh);
      break;
    case FileKind::PeImage: outcome = pe::ReadDll(std::move(bytes), fileName, fresh); break;
    case FileKind::DefinitionText:
      outcome = def::ReadBytes(bytes.View(), fresh, options.DefMachine);
      break;
    case FileKind::OmfObject:
      if (!options.OmfObjectAsLibrary) return Outcome::NotImportLibrary("an OMF object module, not a library");
      outcome = omf::ReadLibrary(bytes.View(), fresh);
      break;
    case FileKind::Text:
      if (!options.TextAsDefinition) return Outcome::NotImportLibrary(DescribeFileKind(kind));
      outcome = def::ReadBytes(bytes.View(), fresh, options.DefMachine);
      break;
    default:
      return Outcome::NotImportLibrary(DescribeFileKind(kind));
  }
  // The OMF reader leaves it to its caller to say what a file it does not
  // take is.
  if (outcome.Kind == OutcomeKind::NotImportLibrary && outcome.Detail.empty())
    outcome.Detail = DescribeFileKind(kind);
  if (outcome) Swap(lib, fresh);
  return outcome;
}
