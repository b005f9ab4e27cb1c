// Record types and layouts of the OMF object and library formats that the
// import library reader, the writer and the test builders need.
#pragma once

#include <cstddef>
#include <cstdint>

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
struct RecordHeaderLayout {
  std::uint8_t type;
  std::uint8_t length[2];
};
inline constexpr std::size_t kRecordHeaderSize = sizeof(RecordHeaderLayout);
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
struct LibraryHeaderLayout {
  std::uint8_t dictionaryOffset[4];
  std::uint8_t dictionaryBlocks[2];
  std::uint8_t flags;
};
inline constexpr std::uint8_t kCaseSensitive = 0x01;

// Comment contents: type (attribute bits), class, then class-specific bytes.
struct CommentLayout {
  std::uint8_t commentType;
  std::uint8_t commentClass;
};
inline constexpr std::size_t kCommentClassOffset = offsetof(CommentLayout, commentClass);
inline constexpr std::uint8_t kClassOmfExtension = 0xA0;

// OMF extension comments carry a subtype after the class.
struct ExtensionLayout {
  CommentLayout comment;
  std::uint8_t subtype;
};
inline constexpr std::size_t kExtensionSubtypeOffset = offsetof(ExtensionLayout, subtype);
inline constexpr std::uint8_t kImportDefinition = 0x01;  // IMPDEF
inline constexpr std::uint8_t kExportDefinition = 0x02;  // EXPDEF

// Import definition: ordinal flag, then the counted internal name, the
// counted module name and the counted entry name or a 16-bit ordinal.
struct ImportDefinitionLayout {
  ExtensionLayout extension;
  std::uint8_t ordinalFlag;
  std::uint8_t internalNameLength;
};
inline constexpr std::size_t kImportOrdinalFlagOffset = offsetof(ImportDefinitionLayout, ordinalFlag);
inline constexpr std::size_t kImportNameLengthOffset =
    offsetof(ImportDefinitionLayout, internalNameLength);
inline constexpr std::size_t kImportNameOffset = sizeof(ImportDefinitionLayout);
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
