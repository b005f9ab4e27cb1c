#include "model/file_kind.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <string_view>

namespace {

// Enough for the DOS header's e_lfanew and a first look at any text.
constexpr std::size_t kSniffSize = 4096;
constexpr std::size_t kPeOffsetField = 0x3C;

std::uint32_t Little32(const std::uint8_t* p) {
  return std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 |
         std::uint32_t{p[3]} << 24;
}

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
  HANDLE file = CreateFileA(fileName, GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_ARCHIVE, nullptr);
  if (file == INVALID_HANDLE_VALUE) return Outcome::CannotOpen(static_cast<int>(GetLastError()));
  std::uint8_t head[kSniffSize] = {};
  DWORD read = 0;
  ReadFile(file, head, sizeof head, &read, nullptr);
  std::uint8_t pe[4] = {};
  DWORD peRead = 0;
  if (read >= kPeOffsetField + 4 && head[0] == 'M' && head[1] == 'Z') {
    const std::uint32_t at = Little32(head + kPeOffsetField);
    if (SetFilePointer(file, static_cast<LONG>(at), nullptr, FILE_BEGIN) == at)
      ReadFile(file, pe, sizeof pe, &peRead, nullptr);
  }
  CloseHandle(file);

  const std::string_view text(reinterpret_cast<const char*>(head), read);
  if (read == 0)
    kind = FileKind::Empty;
  else if (read >= kArchiveSignatureSize && std::memcmp(head, kArchiveSignature, kArchiveSignatureSize) == 0)
    kind = FileKind::CoffArchive;
  else if (peRead == 4 && std::memcmp(pe, "PE\0\0", 4) == 0)
    kind = FileKind::PeImage;
  else if (head[0] == 0xF0)
    kind = FileKind::OmfLibrary;
  else if ((head[0] == 0x80 || head[0] == 0x82) && read >= 3)
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

std::string TFichierLib::WrongMachine() const {
  constexpr std::uint16_t kI386 = 0x14C;
  if (SourceMachine == 0 || SourceMachine == kI386) return {};
  return "the list is for another processor (machine 0x" +
         [](std::uint16_t m) {
           constexpr char kDigits[] = "0123456789ABCDEF";
           std::string hex;
           for (int shift = 12; shift >= 0; shift -= 4) hex += kDigits[(m >> shift) & 0xF];
           return hex;
         }(SourceMachine) +
         "), and import libraries are made for 32-bit Intel code only";
}

Outcome ReadByContent(TFichierLib& lib, const std::string& fileName, FileKind& kind) {
  Outcome sniffed = DetectFileKind(fileName, kind);
  if (!sniffed) return sniffed;
  lib.SourceMachine = 0;
  lib.LeftOutObjects.clear();
  switch (kind) {
    case FileKind::CoffArchive: return lib.ReadCoffLibrary(fileName);
    case FileKind::OmfLibrary: return lib.ReadOmfLibrary(fileName);
    case FileKind::PeImage: return lib.ReadDllFile(fileName);
    case FileKind::DefinitionText: return lib.ReadDefFile(fileName);
    case FileKind::OmfObject:
      return Outcome::NotImportLibrary("an OMF object module, not a library");
    default:
      return Outcome::NotImportLibrary(DescribeFileKind(kind));
  }
}
