// Reads an OMF import library: every import definition comment of every
// module becomes one entry, in file order, with what it binds to. The
// dictionary is never used (some producers leave it damaged); the modules
// are walked record by record from the first page to the library end
// record.

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <optional>
#include <utility>
#include <string_view>
#include <vector>

#include "model/fichier_lib.h"
#include "model/microsoft_symbol.h"
#include "model/file_kind.h"
#include "omf/omf_records.h"

namespace {

struct RecordHeader {
  std::uint8_t type = 0;
  std::uint16_t length = 0;
};

// Reads count bytes into the start of buffer, growing it first when it is
// too small. False when the file ends (or fails) before all were read.
bool ReadExactly(HANDLE file, std::vector<std::uint8_t>& buffer, std::uint32_t count) {
  if (buffer.size() < count) buffer.resize(count);
  DWORD read = 0;
  if (count != 0 && !ReadFile(file, buffer.data(), count, &read, nullptr)) return false;
  return read == count;
}

bool ReadRecordHeader(HANDLE file, std::vector<std::uint8_t>& buffer, RecordHeader& header) {
  if (!ReadExactly(file, buffer, omf::kRecordHeaderSize)) return false;
  header.type = buffer[offsetof(omf::RecordHeaderLayout, type)];
  const std::uint8_t* length = buffer.data() + offsetof(omf::RecordHeaderLayout, length);
  header.length = static_cast<std::uint16_t>(length[0] | length[1] << 8);
  return true;
}

// A counted string at `at`, cut where the record's data ends and at a zero
// byte; `at` moves past it. Nothing left: the empty string.
AnsiString TakeCounted(const std::uint8_t* data, std::size_t end, std::size_t& at) {
  if (at >= end) return {};
  const std::size_t declared = data[at++];
  const std::size_t held = std::min(declared, end - at);
  const std::uint8_t* text = data + at;
  at += held;
  const void* zero = std::memchr(text, 0, held);
  const std::size_t size = zero ? static_cast<const std::uint8_t*>(zero) - text : held;
  return AnsiString(reinterpret_cast<const char*>(text), size);
}

struct ImportDefinition {
  bool byOrdinal = false;
  AnsiString internalName;
  AnsiString moduleName;
  AnsiString entryName;
  std::uint16_t ordinal = 0;
};

// The import definition a comment record holds, or nothing when it holds
// none. Only the bytes of this record are looked at, never the checksum;
// names longer than what the record holds are cut there.
std::optional<ImportDefinition> ParseImport(const std::uint8_t* contents, std::size_t length) {
  const std::size_t end = length - omf::kChecksumSize;
  if (end <= omf::kImportNameLengthOffset) return std::nullopt;
  if (contents[omf::kCommentClassOffset] != omf::kClassOmfExtension ||
      contents[omf::kExtensionSubtypeOffset] != omf::kImportDefinition)
    return std::nullopt;
  ImportDefinition d;
  d.byOrdinal = contents[omf::kImportOrdinalFlagOffset] != 0;
  std::size_t at = omf::kImportNameLengthOffset;
  d.internalName = TakeCounted(contents, end, at);
  d.moduleName = TakeCounted(contents, end, at);
  if (d.byOrdinal) {
    if (at + omf::kOrdinalSize <= end)
      d.ordinal = static_cast<std::uint16_t>(contents[at] | contents[at + 1] << 8);
  } else {
    d.entryName = TakeCounted(contents, end, at);
  }
  return d;
}

// The argument length when entry is exactly "_" name "@" digits, written
// as the Microsoft decoration writes it (no leading zero).
std::optional<std::int32_t> DecoratedLength(std::string_view entry, std::string_view name) {
  if (entry.size() < name.size() + 3 || entry[0] != '_' || entry.substr(1, name.size()) != name ||
      entry[name.size() + 1] != '@')
    return std::nullopt;
  const std::string_view digits = entry.substr(name.size() + 2);
  if (digits.size() > 9 || (digits.size() > 1 && digits[0] == '0')) return std::nullopt;
  std::int32_t value = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + (c - '0');
  }
  return value;
}

// Undoes the Borland decoration of the internal name (a leading underscore
// marks _stdcall; C++ and fastcall names are kept whole) and keeps what
// the definition binds to.
TFonctionLib EntryOf(ImportDefinition&& d) {
  TFonctionLib entry;
  const AnsiString& internal = d.internalName;
  if (!internal.empty() && internal[0] == '@') {
    // A fastcall symbol tells its plain name and length, as it does read
    // from a COFF library.
    entry = FromClientSymbol(internal);
  } else if (!internal.empty() && internal[0] == '?') {
    entry.Name = internal;
    entry.IsPascal = true;
    entry.Import.Symbol = internal;
  } else if (!internal.empty() && internal[0] == '_') {
    entry.Name = internal.substr(1);
    entry.IsPascal = false;
  } else {
    entry.Name = internal;
    entry.IsPascal = true;
  }
  entry.Import.Dll = std::move(d.moduleName);
  if (d.byOrdinal) {
    entry.Import.ByOrdinal = true;
    entry.Import.Ordinal = d.ordinal;
    return entry;
  }
  entry.Import.ExportName = d.entryName.empty() ? internal : std::move(d.entryName);
  // A _pascal function's export name may carry the argument length that
  // the Borland name leaves out. Only a name without a leading underscore
  // takes it, so that the entry's Borland name stays the internal name.
  if (entry.IsPascal && entry.Import.Symbol.empty())
    if (auto length = DecoratedLength(entry.Import.ExportName, entry.Name)) entry.ArgLength = *length;
  return entry;
}

bool IsComment(std::uint8_t type) { return type == omf::kComment || type == omf::kComment32; }
bool IsModuleEnd(std::uint8_t type) {
  return type == omf::kModuleEnd || type == omf::kModuleEnd32;
}
bool IsModuleHeader(std::uint8_t type) {
  return type == omf::kModuleHeader || type == omf::kLibModuleHeader;
}

// Walks the modules of an open file from just past the library header,
// handing each import definition to take; answers how the walk ended.
// count is what take has kept so far, for a walk cut short.
template <typename Take>
Outcome WalkModules(HANDLE file, std::uint32_t pageSize, std::vector<std::uint8_t>& buffer,
                    const std::uint32_t& count, Take&& take) {
  RecordHeader record;
  std::uint64_t modules = 0;
  std::uint32_t moduleBytes = 0;  // since the module's first byte, modulo the page size
  for (;;) {
    if (!ReadRecordHeader(file, buffer, record))
      return Outcome::CutShort(count, "before the library end record");
    if (record.type == omf::kLibraryEnd) break;
    // Every record holds at least its checksum.
    if (record.length == 0) return Outcome::CutShort(count, "at a record of length 0");
    if (!ReadExactly(file, buffer, record.length)) return Outcome::CutShort(count, "inside a record");
    moduleBytes = static_cast<std::uint32_t>((moduleBytes + omf::kRecordHeaderSize + record.length) %
                                             pageSize);

    if (IsModuleHeader(record.type)) {
      ++modules;
    } else if (IsComment(record.type)) {
      take(buffer.data(), record.length);
    } else if (IsModuleEnd(record.type)) {
      // The next module starts on the next page boundary.
      if (moduleBytes != 0 && !ReadExactly(file, buffer, pageSize - moduleBytes))
        return Outcome::CutShort(count, "before the library end record");
      moduleBytes = 0;
    }
  }
  if (count == 0 && modules != 0) return Outcome::StaticLibrary(modules);
  return Outcome::Done();
}

// The walk over an open file; nothing when it is no OMF library.
std::optional<Outcome> ReadModules(HANDLE file, TTableau<TFonctionLib>& list) {
  std::vector<std::uint8_t> buffer;
  RecordHeader record;
  if (!ReadExactly(file, buffer, 1) || buffer[0] != omf::kLibraryHeader) return std::nullopt;
  SetFilePointer(file, 0, nullptr, FILE_BEGIN);

  list.Clear();
  if (!ReadRecordHeader(file, buffer, record)) return Outcome::CutShort(0, "in the library header");
  std::uint32_t pageSize = omf::kDefaultPageSize;
  const std::uint32_t headerSize = record.length + omf::kRecordHeaderSize;
  // A header that does not name a valid page size is taken as one 16-byte page.
  if (omf::IsPageSize(headerSize)) pageSize = headerSize;
  if (!ReadExactly(file, buffer, pageSize - omf::kRecordHeaderSize))
    return Outcome::CutShort(0, "in the library header");

  // A first walk counts the definitions, so that the list is made room for
  // once: its entries are large, and growing it step by step would cost
  // more than reading the file twice.
  std::uint32_t counted = 0;
  WalkModules(file, pageSize, buffer, counted,
              [&counted](const std::uint8_t* contents, std::size_t length) {
                if (ParseImport(contents, length)) ++counted;
              });
  SetFilePointer(file, static_cast<LONG>(pageSize), nullptr, FILE_BEGIN);
  if (counted != 0) list.Reserve(counted);

  std::uint32_t k = 0;
  return WalkModules(file, pageSize, buffer, k,
                     [&k, &list](const std::uint8_t* contents, std::size_t length) {
                       if (auto definition = ParseImport(contents, length))
                         list.Item(k++) = EntryOf(std::move(*definition));
                     });
}

}  // namespace

Outcome TFichierLib::ReadOmfLibrary(const std::string& fileName) {
  {
    HANDLE file = OpenLibraryFile(fileName, true);
    if (file == INVALID_HANDLE_VALUE) return Outcome::CannotOpen(static_cast<int>(GetLastError()));
    FileCloser closer(file);
    if (auto outcome = ReadModules(file, Fonctions)) return *outcome;
  }
  // Not ours: say what it is instead; the list stays as it was.
  FileKind kind = FileKind::Unknown;
  DetectFileKind(fileName, kind);
  return Outcome::NotImportLibrary(DescribeFileKind(kind));
}
