// Reads an OMF import library: every import definition comment of every
// module becomes one entry, in file order, with what it binds to. The
// dictionary is never used (some producers leave it damaged); the modules
// are walked record by record from the first page to the library end
// record.

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <optional>
#include <span>
#include <string_view>
#include <utility>

#include "model/file_bytes.h"
#include "model/microsoft_symbol.h"
#include "omf/omf.h"
#include "omf/omf_records.h"

namespace {

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

// A comment record that holds an import definition.
bool IsImportDefinition(const std::uint8_t* contents, std::size_t length) {
  return length - omf::kChecksumSize > omf::kImportNameLengthOffset &&
         contents[omf::kCommentClassOffset] == omf::kClassOmfExtension &&
         contents[omf::kExtensionSubtypeOffset] == omf::kImportDefinition;
}

// The import definition a comment record holds, or nothing when it holds
// none. Only the bytes of this record are looked at, never the checksum;
// names longer than what the record holds are cut there.
std::optional<ImportDefinition> ParseImport(const std::uint8_t* contents, std::size_t length) {
  if (!IsImportDefinition(contents, length)) return std::nullopt;
  const std::size_t end = length - omf::kChecksumSize;
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

// Walks the modules from just past the library header, handing each
// comment record's contents to take; answers how the walk ended. count is
// what take has kept so far, for a walk cut short.
template <typename Take>
Outcome WalkModules(std::span<const std::uint8_t> file, std::uint32_t pageSize,
                    const std::uint32_t& count, Take&& take) {
  std::uint64_t at = pageSize;
  std::uint64_t modules = 0;
  std::uint32_t moduleBytes = 0;  // since the module's first byte, modulo the page size
  for (;;) {
    omf::RecordHeader record;
    if (!records::DecodeAt(file, at, record))
      return Outcome::CutShort(count, "before the library end record");
    at += omf::RecordHeader::kSize;
    if (record.type == omf::kLibraryEnd) break;
    // Every record holds at least its checksum.
    if (record.length == 0) return Outcome::CutShort(count, "at a record of length 0");
    if (file.size() - at < record.length) return Outcome::CutShort(count, "inside a record");
    const std::uint8_t* contents = file.data() + at;
    at += record.length;
    moduleBytes = static_cast<std::uint32_t>((moduleBytes + omf::RecordHeader::kSize + record.length) %
                                             pageSize);

    if (IsModuleHeader(record.type)) {
      ++modules;
    } else if (IsComment(record.type)) {
      take(contents, record.length);
    } else if (IsModuleEnd(record.type)) {
      // The next module starts on the next page boundary.
      if (moduleBytes != 0) {
        if (file.size() - at < pageSize - moduleBytes)
          return Outcome::CutShort(count, "before the library end record");
        at += pageSize - moduleBytes;
      }
      moduleBytes = 0;
    }
  }
  if (count == 0 && modules != 0) return Outcome::StaticLibrary(modules);
  return Outcome::Done();
}

// The walk over the file's bytes; nothing when it is no OMF library.
std::optional<Outcome> ReadModules(std::span<const std::uint8_t> file, TTableau<TFonctionLib>& list) {
  if (file.empty() || file[0] != omf::kLibraryHeader) return std::nullopt;
  list.Clear();
  omf::RecordHeader header;
  if (!records::DecodeAt(file, 0, header)) return Outcome::CutShort(0, "in the library header");
  std::uint32_t pageSize = omf::kDefaultPageSize;
  const std::uint32_t headerSize = header.length + omf::RecordHeader::kSize;
  // A header that does not name a valid page size is taken as one 16-byte page.
  if (omf::IsPageSize(headerSize)) pageSize = headerSize;
  if (file.size() < pageSize) return Outcome::CutShort(0, "in the library header");

  // A first walk counts the definitions, so that the list is made room for
  // once: its entries are large, and growing it step by step would cost
  // more than walking the bytes twice.
  std::uint32_t counted = 0;
  WalkModules(file, pageSize, counted, [&counted](const std::uint8_t* contents, std::size_t length) {
    if (IsImportDefinition(contents, length)) ++counted;
  });
  if (Outcome room = MakeRoom(list, counted); !room) return room;

  std::uint32_t k = 0;
  return WalkModules(file, pageSize, k, [&k, &list](const std::uint8_t* contents, std::size_t length) {
    if (auto definition = ParseImport(contents, length)) list.Item(k++) = EntryOf(std::move(*definition));
  });
}

}  // namespace

namespace omf {

Outcome ReadLibrary(const std::string& fileName, ExportList& list) {
  FileBytes bytes;
  if (Outcome read = ReadFileBytes(fileName, bytes); !read) return read;
  return ReadLibrary(bytes.View(), list);
}

Outcome ReadLibrary(std::span<const std::uint8_t> bytes, ExportList& list) {
  if (auto outcome = ReadModules(bytes, list.Fonctions)) {
    list.Dll = SoleDll(list);
    return *outcome;
  }
  // Not ours: the list stays as it was, and the caller says what it is.
  return Outcome::NotImportLibrary({});
}

}  // namespace omf
