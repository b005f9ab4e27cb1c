// Reads an OMF import library: every import definition comment of every
// module becomes one entry, in file order. The dictionary is never used;
// the modules are walked record by record from the first page to the
// library end record.

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <optional>

#include "model/fichier_lib.h"
#include "omf/omf_records.h"

namespace {

struct RecordHeader {
  std::uint8_t type = 0;
  std::uint16_t length = 0;
};

// Missing bytes at the end of the file read as zero: a zero length then
// ends the walk.
RecordHeader ReadRecordHeader(HANDLE file) {
  std::uint8_t raw[omf::kRecordHeaderSize] = {};
  DWORD read = 0;
  ReadFile(file, raw, sizeof raw, &read, nullptr);
  return RecordHeader{raw[0], static_cast<std::uint16_t>(raw[1] | (raw[2] << 8))};
}

// Reads up to count bytes into the start of buffer, growing it first when
// it is too small. Answers the number of bytes read.
DWORD ReadInto(HANDLE file, std::vector<std::uint8_t>& buffer, std::uint32_t count) {
  if (buffer.size() < count) buffer.resize(count);
  DWORD read = 0;
  if (count != 0) ReadFile(file, buffer.data(), count, &read, nullptr);
  return read;
}

// Reads the library header and answers the page size. A header that does
// not name a valid page size is taken as one 16-byte page.
std::uint32_t ReadLibraryHeader(HANDLE file, std::vector<std::uint8_t>& buffer) {
  const RecordHeader header = ReadRecordHeader(file);
  std::uint32_t pageSize = omf::kDefaultPageSize;
  const std::uint32_t headerSize = header.length + omf::kRecordHeaderSize;
  if (header.type == omf::kLibraryHeader && omf::IsPageSize(headerSize)) pageSize = headerSize;
  ReadInto(file, buffer, pageSize - omf::kRecordHeaderSize);
  return pageSize;
}

// The internal name of an import definition, or nothing when the record
// is none. Only the `read` bytes of this record are looked at, never what
// an earlier record left in the buffer; when the record was read whole its
// last byte is the checksum, which no name runs into. A name longer than
// what the record holds is cut there.
std::optional<AnsiString> ImportName(const std::uint8_t* contents, DWORD read,
                                     std::uint16_t recordLength) {
  const std::size_t dataEnd = read == recordLength ? read - omf::kChecksumSize : read;
  if (dataEnd <= omf::kImportNameLengthOffset) return std::nullopt;
  if (contents[omf::kCommentClassOffset] != omf::kClassOmfExtension ||
      contents[omf::kExtensionSubtypeOffset] != omf::kImportDefinition)
    return std::nullopt;
  const std::size_t declared = contents[omf::kImportNameLengthOffset];
  const std::size_t held = std::min(declared, dataEnd - omf::kImportNameOffset);
  const std::uint8_t* name = contents + omf::kImportNameOffset;
  const void* zero = std::memchr(name, 0, held);
  const std::size_t size = zero ? static_cast<const std::uint8_t*>(zero) - name : held;
  return AnsiString(reinterpret_cast<const char*>(name), size);
}

// Undoes the Borland decoration: a leading underscore marks _stdcall.
TFonctionLib EntryFromInternalName(const AnsiString& internal) {
  TFonctionLib entry;
  entry.ArgLength = 0;
  if (!internal.empty() && internal[0] == '_') {
    entry.Name = internal.substr(1);
    entry.IsPascal = false;
  } else {
    entry.Name = internal;
    entry.IsPascal = true;
  }
  return entry;
}

bool IsComment(std::uint8_t type) { return type == omf::kComment || type == omf::kComment32; }
bool IsModuleEnd(std::uint8_t type) {
  return type == omf::kModuleEnd || type == omf::kModuleEnd32;
}

}  // namespace

Outcome TFichierLib::ReadOmfLibrary(const std::string& fileName) {
  HANDLE file = OpenLibraryFile(fileName, true);
  if (file == INVALID_HANDLE_VALUE) return Outcome::CannotOpen(static_cast<int>(GetLastError()));
  FileCloser closer(file);

  Fonctions.Clear();
  std::uint32_t k = 0;

  const std::uint32_t pageSize = ReadLibraryHeader(file, Buffer);

  RecordHeader record = ReadRecordHeader(file);
  std::uint32_t moduleBytes = omf::kRecordHeaderSize;  // since the module's first byte
  while (record.type != omf::kLibraryEnd) {
    const DWORD read = ReadInto(file, Buffer, record.length);
    if (read == 0) break;
    moduleBytes += read;

    if (IsComment(record.type)) {
      if (auto internal = ImportName(Buffer.data(), read, record.length))
        Fonctions.Item(k++) = EntryFromInternalName(*internal);
    } else if (IsModuleEnd(record.type)) {
      // The next module starts on the next page boundary.
      const std::uint32_t over = moduleBytes % pageSize;
      if (over != 0) ReadInto(file, Buffer, pageSize - over);
      moduleBytes = 0;
    }

    record = ReadRecordHeader(file);
    moduleBytes += omf::kRecordHeaderSize;
  }
  return Outcome::Done();
}
