// Record types and layouts of the OMF object and library formats that the
// import library reader and the test builders need.
#pragma once

#include <cstddef>
#include <cstdint>

namespace omf {

// Record types.
inline constexpr std::uint8_t kModuleHeader = 0x80;  // THEADR
inline constexpr std::uint8_t kComment = 0x88;       // COMENT
inline constexpr std::uint8_t kComment32 = 0x89;
inline constexpr std::uint8_t kModuleEnd = 0x8A;  // MODEND
inline constexpr std::uint8_t kModuleEnd32 = 0x8B;
inline constexpr std::uint8_t kLibraryHeader = 0xF0;
inline constexpr std::uint8_t kLibraryEnd = 0xF1;

// Every record: type (1 byte), then the length of what follows (16 bits,
// little-endian), the checksum included as the last byte.
inline constexpr std::size_t kRecordHeaderSize = 3;
inline constexpr std::size_t kChecksumSize = 1;

// Modules start on page boundaries; the library header record fills the
// first page, so its length + 3 is the page size.
inline constexpr std::uint32_t kDefaultPageSize = 16;
inline constexpr std::uint32_t kMinPageSize = 16;
inline constexpr std::uint32_t kMaxPageSize = 32768;

// Comment contents: type (attribute bits), class, then class-specific bytes.
inline constexpr std::size_t kCommentClassOffset = 1;
inline constexpr std::uint8_t kClassOmfExtension = 0xA0;

// OMF extension comments carry a subtype after the class.
inline constexpr std::size_t kExtensionSubtypeOffset = 2;
inline constexpr std::uint8_t kImportDefinition = 0x01;  // IMPDEF
inline constexpr std::uint8_t kExportDefinition = 0x02;  // EXPDEF

// Import definition: ordinal flag, then the counted internal name, the
// counted module name and the entry name or ordinal.
inline constexpr std::size_t kImportOrdinalFlagOffset = 3;
inline constexpr std::size_t kImportNameLengthOffset = 4;
inline constexpr std::size_t kImportNameOffset = 5;

constexpr bool IsPageSize(std::uint32_t size) {
  return size >= kMinPageSize && size <= kMaxPageSize && (size & (size - 1)) == 0;
}

}  // namespace omf
