// The records a reader meets in a COFF archive, as named fields read from
// bytes. Every record knows its size on disk and decodes itself field by
// field, least significant byte first (the first linker member's numbers
// excepted), so nothing depends on the host's byte order or on struct
// packing. Callers make sure kSize bytes are there before decoding.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace coff::parse {

inline std::uint16_t Le16(const std::uint8_t* p) {
  return static_cast<std::uint16_t>(p[0] | p[1] << 8);
}
inline std::uint32_t Le32(const std::uint8_t* p) {
  return std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 |
         std::uint32_t{p[3]} << 24;
}
inline std::uint32_t Be32(const std::uint8_t* p) {
  return std::uint32_t{p[0]} << 24 | std::uint32_t{p[1]} << 16 | std::uint32_t{p[2]} << 8 |
         std::uint32_t{p[3]};
}

// ---- Archive ---------------------------------------------------------------

inline constexpr std::string_view kSignature = "!<arch>\n";

// The 60-byte member header, all text: name, date, user, group, mode,
// size (decimal), then "`\n".
struct MemberHeader {
  static constexpr std::size_t kSize = 60;
  static constexpr std::size_t kNameWidth = 16;
  static constexpr std::size_t kSizeAt = 48;
  static constexpr std::size_t kSizeWidth = 10;
  static constexpr std::size_t kEndAt = kSizeAt + kSizeWidth;
  static constexpr std::string_view kEnd = "`\n";

  std::string_view name;   // the name field less its trailing blanks
  bool sizeKnown = false;  // the size field held a decimal number
  std::uint64_t size = 0;
  bool endMarked = false;  // the header closes with "`\n"

  static MemberHeader From(const std::uint8_t* p) {
    MemberHeader h;
    std::string_view name(reinterpret_cast<const char*>(p), kNameWidth);
    while (!name.empty() && name.back() == ' ') name.remove_suffix(1);
    h.name = name;
    std::size_t i = 0;
    for (; i < kSizeWidth && p[kSizeAt + i] >= '0' && p[kSizeAt + i] <= '9'; ++i)
      h.size = h.size * 10 + static_cast<std::uint64_t>(p[kSizeAt + i] - '0');
    h.sizeKnown = i > 0;
    for (; i < kSizeWidth; ++i)
      if (p[kSizeAt + i] != ' ') h.sizeKnown = false;
    h.endMarked = std::string_view(reinterpret_cast<const char*>(p + kEndAt), kEnd.size()) == kEnd;
    return h;
  }
};

// Linker members ("/"), the long-name member ("//") and other indexes all
// have names that start with "/" and go on with no digit; "/123" is an
// ordinary member whose long name is elsewhere.
inline bool IsSpecialMemberName(std::string_view name) {
  return !name.empty() && name.front() == '/' &&
         (name.size() == 1 || name[1] < '0' || name[1] > '9');
}

// The first linker member: a 32-bit count, that many 32-bit member
// offsets (most significant byte first), then the names.
inline constexpr std::size_t kLinkerCountSize = 4;
inline constexpr std::size_t kLinkerOffsetSize = 4;

// ---- COFF object -----------------------------------------------------------

inline constexpr std::uint16_t kMachineI386 = 0x014C;

struct ObjectHeader {
  static constexpr std::size_t kSize = 20;
  std::uint16_t machine = 0;
  std::uint16_t numberOfSections = 0;
  std::uint32_t pointerToSymbolTable = 0;
  std::uint32_t numberOfSymbols = 0;
  std::uint16_t sizeOfOptionalHeader = 0;

  static ObjectHeader From(const std::uint8_t* p) {
    ObjectHeader h;
    h.machine = Le16(p);
    h.numberOfSections = Le16(p + 2);
    h.pointerToSymbolTable = Le32(p + 8);
    h.numberOfSymbols = Le32(p + 12);
    h.sizeOfOptionalHeader = Le16(p + 16);
    return h;
  }
};

struct SectionEntry {
  static constexpr std::size_t kSize = 40;
  static constexpr std::size_t kNameWidth = 8;
  std::string_view name;  // up to 8 characters, zero bytes removed
  std::uint32_t sizeOfRawData = 0;
  std::uint32_t pointerToRawData = 0;
  std::uint32_t pointerToRelocations = 0;
  std::uint16_t numberOfRelocations = 0;

  static SectionEntry From(const std::uint8_t* p) {
    SectionEntry s;
    std::string_view name(reinterpret_cast<const char*>(p), kNameWidth);
    s.name = name.substr(0, name.find('\0'));
    s.sizeOfRawData = Le32(p + 16);
    s.pointerToRawData = Le32(p + 20);
    s.pointerToRelocations = Le32(p + 24);
    s.numberOfRelocations = Le16(p + 32);
    return s;
  }
};

struct RelocationEntry {
  static constexpr std::size_t kSize = 10;
  std::uint32_t virtualAddress = 0;
  std::uint32_t symbolTableIndex = 0;

  static RelocationEntry From(const std::uint8_t* p) { return {Le32(p), Le32(p + 4)}; }
};

inline constexpr std::uint8_t kClassExternal = 2;

// A symbol's name is in place when it has up to 8 characters; otherwise
// the first four bytes are zero and the next four its string table offset.
struct SymbolEntry {
  static constexpr std::size_t kSize = 18;
  static constexpr std::size_t kNameWidth = 8;
  const std::uint8_t* nameField = nullptr;
  std::uint32_t value = 0;
  std::int16_t sectionNumber = 0;  // 1-based; 0 undefined, negative special
  std::uint8_t storageClass = 0;
  std::uint8_t numberOfAuxSymbols = 0;

  bool NameInPlace() const { return Le32(nameField) != 0; }
  std::uint32_t NameOffset() const { return Le32(nameField + 4); }

  static SymbolEntry From(const std::uint8_t* p) {
    SymbolEntry s;
    s.nameField = p;
    s.value = Le32(p + 8);
    s.sectionNumber = static_cast<std::int16_t>(Le16(p + 12));
    s.storageClass = p[16];
    s.numberOfAuxSymbols = p[17];
    return s;
  }
};

// An import lookup entry of a 32-bit image: this bit set means "by
// ordinal", the ordinal in the low 16 bits; otherwise it is the address of
// a 2-byte hint and the name.
inline constexpr std::uint32_t kOrdinalFlag32 = 0x80000000u;
inline constexpr std::uint32_t kOrdinalMask = 0xFFFFu;
inline constexpr std::size_t kHintSize = 2;

// The long import format: one object per import, its lookup entry in
// ".idata$5", the DLL's import descriptor in a separate "head" object
// whose ".idata$2" names the DLL through the field at kDescriptorNameAt.
// Each import object's ".idata$7" refers to that head.
inline constexpr std::string_view kHeadLinkSection = ".idata$7";
inline constexpr std::string_view kDescriptorSection = ".idata$2";
// An import object's address slot, and the hint/name and DLL name it and
// its directory entry point at.
inline constexpr std::string_view kAddressSection = ".idata$5";
inline constexpr std::string_view kNamesSection = ".idata$6";
inline constexpr std::uint32_t kDescriptorNameAt = 12;
inline constexpr std::string_view kImportPrefix = "__imp_";

// ---- Short import member ---------------------------------------------------

// The header, then the symbol, the DLL name and, for the "export as" name
// type, the export name, each closed by a zero byte.
struct ImportHeader {
  static constexpr std::size_t kSize = 20;
  static constexpr std::uint16_t kSig2 = 0xFFFF;
  std::uint16_t sig1 = 0;
  std::uint16_t sig2 = 0;
  std::uint16_t machine = 0;
  std::uint32_t sizeOfData = 0;
  std::uint16_t ordinalOrHint = 0;
  std::uint16_t type = 0;

  bool Signed() const { return sig1 == 0 && sig2 == kSig2; }
  unsigned ImportType() const { return type & 0x3u; }
  unsigned NameType() const { return (type >> 2) & 0x7u; }

  static ImportHeader From(const std::uint8_t* p) {
    ImportHeader h;
    h.sig1 = Le16(p);
    h.sig2 = Le16(p + 2);
    h.machine = Le16(p + 6);
    h.sizeOfData = Le32(p + 12);
    h.ordinalOrHint = Le16(p + 16);
    h.type = Le16(p + 18);
    return h;
  }
};

enum ImportType : unsigned { kImportCode = 0, kImportData = 1, kImportConst = 2 };
enum ImportNameType : unsigned {
  kNameOrdinal = 0,
  kNameAsIs = 1,
  kNameNoPrefix = 2,
  kNameUndecorate = 3,
  kNameExportAs = 4,
};

}  // namespace coff::parse
