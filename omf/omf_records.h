// Record types and layouts of the OMF object and library formats that the
// import library reader, the writer and the test builders need. The fixed
// parts of records are described once (platform/records.h); names are
// counted strings that follow them.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/records.h"

namespace omf {

// Record types.
inline constexpr std::uint8_t kModuleHeader = 0x80;  // THEADR
inline constexpr std::uint8_t kLibModuleHeader = 0x82;  // LHEADR
inline constexpr std::uint8_t kComment = 0x88;       // COMENT
inline constexpr std::uint8_t kComment32 = 0x89;
inline constexpr std::uint8_t kModuleEnd = 0x8A;  // MODEND
inline constexpr std::uint8_t kModuleEnd32 = 0x8B;
inline constexpr std::uint8_t kLibraryHeader = 0xF0;
inline constexpr std::uint8_t kLibraryEnd = 0xF1;

// Every record: type (1 byte), then the length of what follows (16 bits,
// little-endian), the checksum included as the last byte.
struct RecordHeader {
  static constexpr std::size_t kSize = 3;
  std::uint8_t type = 0;
  std::uint16_t length = 0;

  template <typename Self, typename Visit>
  static constexpr void Fields(Self& r, Visit&& v) {
    v(r.type), v(r.length);
  }
};
static_assert(records::SizeOf<RecordHeader>() == RecordHeader::kSize);
inline constexpr std::size_t kRecordHeaderSize = RecordHeader::kSize;
inline constexpr std::size_t kChecksumSize = 1;
inline constexpr std::size_t kMaxRecordLength = 0xFFFF;

// Modules start on page boundaries; the library header record fills the
// first page, so its length + 3 is the page size.
inline constexpr std::uint32_t kDefaultPageSize = 16;
inline constexpr std::uint32_t kMinPageSize = 16;
inline constexpr std::uint32_t kMaxPageSize = 32768;
// A module is found by its page number, which the dictionary holds in 16
// bits; page 0 is the library header.
inline constexpr std::uint32_t kMaxPageNumber = 0xFFFF;

// Library header contents after the record header: where the dictionary
// starts, how many 512-byte blocks it has, and the flags; zeros fill the
// rest of the page, then the checksum.
struct LibraryHeader {
  static constexpr std::size_t kSize = 7;
  std::uint32_t dictionaryOffset = 0;
  std::uint16_t dictionaryBlocks = 0;
  std::uint8_t flags = 0;

  template <typename Self, typename Visit>
  static constexpr void Fields(Self& r, Visit&& v) {
    v(r.dictionaryOffset), v(r.dictionaryBlocks), v(r.flags);
  }
};
static_assert(records::SizeOf<LibraryHeader>() == LibraryHeader::kSize);
inline constexpr std::uint8_t kCaseSensitive = 0x01;

// The fixed start of an import definition comment: the comment type
// (attribute bits) and class, the OMF extension's subtype, and the ordinal
// flag; then the counted internal name, the counted module name and the
// counted entry name or a 16-bit ordinal.
struct ImportDefinitionHead {
  static constexpr std::size_t kSize = 4;
  std::uint8_t commentType = 0;
  std::uint8_t commentClass = 0;
  std::uint8_t subtype = 0;
  std::uint8_t ordinalFlag = 0;

  template <typename Self, typename Visit>
  static constexpr void Fields(Self& r, Visit&& v) {
    v(r.commentType), v(r.commentClass), v(r.subtype), v(r.ordinalFlag);
  }
};
static_assert(records::SizeOf<ImportDefinitionHead>() == ImportDefinitionHead::kSize);
inline constexpr std::size_t kCommentClassOffset = records::OffsetOf(&ImportDefinitionHead::commentClass);
inline constexpr std::size_t kExtensionSubtypeOffset = records::OffsetOf(&ImportDefinitionHead::subtype);
inline constexpr std::size_t kImportOrdinalFlagOffset = records::OffsetOf(&ImportDefinitionHead::ordinalFlag);
inline constexpr std::size_t kImportNameLengthOffset = ImportDefinitionHead::kSize;
// The internal name's first byte, after its count.
inline constexpr std::size_t kImportNameOffset = kImportNameLengthOffset + 1;
inline constexpr std::uint8_t kClassOmfExtension = 0xA0;
inline constexpr std::uint8_t kImportDefinition = 0x01;  // IMPDEF
inline constexpr std::uint8_t kExportDefinition = 0x02;  // EXPDEF
inline constexpr std::size_t kOrdinalSize = 2;
inline constexpr std::size_t kMaxNameLength = 255;

// Module end: the module type byte (no start address).
inline constexpr std::uint8_t kModuleTypeNonMain = 0x00;

// The dictionary: blocks of 512 bytes at a 512-byte boundary after the
// library end record. Each block has 37 buckets (an entry's offset / 2,
// 0 when empty), then the free-space byte (next free offset / 2, 0xFF
// when the block is full), then entries: counted name and 16-bit page
// number, each starting on an even offset.
inline constexpr std::size_t kDictionaryBlockSize = 512;
inline constexpr std::size_t kBucketCount = 37;
inline constexpr std::size_t kFreeSpaceIndex = kBucketCount;
inline constexpr std::size_t kFirstEntryOffset = kBucketCount + 1;
inline constexpr std::uint8_t kBlockFull = 0xFF;
inline constexpr std::uint32_t kMaxDictionaryBlocks = 0xFFFF;  // 16-bit count in the header

constexpr bool IsPageSize(std::uint32_t size) {
  return size >= kMinPageSize && size <= kMaxPageSize && (size & (size - 1)) == 0;
}

}  // namespace omf
