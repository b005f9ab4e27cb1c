// The records of a 32-bit Intel COFF import library, as named data.
//
// Every record knows its size on disk and writes itself, field by field,
// in little-endian order, so nothing depends on the compiler's struct
// packing or on the host's byte order.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <type_traits>

namespace coff {

// Stores v at out[0..n) least significant byte first.
template <typename T>
inline void StoreLittle(std::uint8_t* out, T v) {
  auto u = static_cast<std::uint64_t>(static_cast<std::make_unsigned_t<T>>(v));
  for (std::size_t i = 0; i < sizeof(T); ++i) out[i] = static_cast<std::uint8_t>(u >> (8 * i));
}

// Stores a 32-bit number most significant byte first (first linker member).
inline void StoreBig32(std::uint8_t* out, std::uint32_t v) {
  out[0] = static_cast<std::uint8_t>(v >> 24);
  out[1] = static_cast<std::uint8_t>(v >> 16);
  out[2] = static_cast<std::uint8_t>(v >> 8);
  out[3] = static_cast<std::uint8_t>(v);
}

// Copies text into a fixed field, padding with zero bytes.
template <std::size_t N>
inline void StoreName(std::uint8_t* out, std::string_view text) {
  std::memset(out, 0, N);
  std::memcpy(out, text.data(), text.size() < N ? text.size() : N);
}

// ---- Archive ---------------------------------------------------------------

inline constexpr std::size_t kMemberHeaderSize = 60;
inline constexpr std::size_t kMemberNameWidth = 16;
inline constexpr std::size_t kMemberDateWidth = 16;
inline constexpr std::size_t kMemberBlankWidth = 8;  // user and group ids, blank
inline constexpr std::size_t kMemberModeWidth = 8;
inline constexpr std::size_t kMemberSizeWidth = 10;
inline constexpr char kMemberHeaderEnd[2] = {'`', '\n'};
inline constexpr std::uint8_t kMemberPad = '\n';  // after a member of odd size

inline constexpr std::string_view kLinkerMemberName = "/";

// ---- COFF object -----------------------------------------------------------

inline constexpr std::uint16_t kMachineI386 = 0x014C;
inline constexpr std::uint16_t kCharacteristics32BitMachine = 0x0100;

struct FileHeader {
  static constexpr std::size_t kSize = 20;
  std::uint16_t machine = kMachineI386;
  std::uint16_t numberOfSections = 0;
  std::int32_t timeDateStamp = 0;
  std::uint32_t pointerToSymbolTable = 0;
  std::uint32_t numberOfSymbols = 0;
  std::uint16_t sizeOfOptionalHeader = 0;
  std::uint16_t characteristics = kCharacteristics32BitMachine;

  std::array<std::uint8_t, kSize> Bytes() const {
    std::array<std::uint8_t, kSize> b{};
    StoreLittle(&b[0], machine);
    StoreLittle(&b[2], numberOfSections);
    StoreLittle(&b[4], timeDateStamp);
    StoreLittle(&b[8], pointerToSymbolTable);
    StoreLittle(&b[12], numberOfSymbols);
    StoreLittle(&b[16], sizeOfOptionalHeader);
    StoreLittle(&b[18], characteristics);
    return b;
  }
};

// The PE32 optional header the import descriptor object carries; only the
// fields below are set, everything else (the data directories included)
// is zero.
struct Pe32OptionalHeader {
  static constexpr std::size_t kSize = 224;
  static constexpr std::uint16_t kMagic = 0x010B;
  std::uint8_t majorLinkerVersion = 6;
  std::uint8_t minorLinkerVersion = 0;
  std::uint32_t sectionAlignment = 0x1000;
  std::uint32_t fileAlignment = 0x200;
  std::uint16_t majorOperatingSystemVersion = 4;
  std::uint16_t minorOperatingSystemVersion = 0;
  std::uint16_t subsystem = 3;  // console
  std::uint32_t sizeOfStackReserve = 0x100000;
  std::uint32_t sizeOfStackCommit = 0x1000;
  std::uint32_t sizeOfHeapReserve = 0x100000;
  std::uint32_t sizeOfHeapCommit = 0x1000;
  std::uint32_t numberOfRvaAndSizes = 16;

  std::array<std::uint8_t, kSize> Bytes() const {
    std::array<std::uint8_t, kSize> b{};
    StoreLittle(&b[0], kMagic);
    b[2] = majorLinkerVersion;
    b[3] = minorLinkerVersion;
    StoreLittle(&b[32], sectionAlignment);
    StoreLittle(&b[36], fileAlignment);
    StoreLittle(&b[40], majorOperatingSystemVersion);
    StoreLittle(&b[42], minorOperatingSystemVersion);
    StoreLittle(&b[68], subsystem);
    StoreLittle(&b[72], sizeOfStackReserve);
    StoreLittle(&b[76], sizeOfStackCommit);
    StoreLittle(&b[80], sizeOfHeapReserve);
    StoreLittle(&b[84], sizeOfHeapCommit);
    StoreLittle(&b[92], numberOfRvaAndSizes);
    return b;
  }
};

inline constexpr std::uint32_t kSectionDebugCharacteristics = 0x42100040;  // discardable, read
inline constexpr std::uint32_t kSectionIdataCharacteristics = 0xC0300040;  // read/write, align 4
inline constexpr std::uint32_t kSectionIdata6Characteristics = 0xC0200040;  // read/write, align 2

struct SectionHeader {
  static constexpr std::size_t kSize = 40;
  std::string_view name;
  std::uint32_t virtualSize = 0;
  std::uint32_t virtualAddress = 0;
  std::uint32_t sizeOfRawData = 0;
  std::uint32_t pointerToRawData = 0;
  std::uint32_t pointerToRelocations = 0;
  std::uint32_t pointerToLinenumbers = 0;
  std::uint16_t numberOfRelocations = 0;
  std::uint16_t numberOfLinenumbers = 0;
  std::uint32_t characteristics = 0;

  std::array<std::uint8_t, kSize> Bytes() const {
    std::array<std::uint8_t, kSize> b{};
    StoreName<8>(&b[0], name);
    StoreLittle(&b[8], virtualSize);
    StoreLittle(&b[12], virtualAddress);
    StoreLittle(&b[16], sizeOfRawData);
    StoreLittle(&b[20], pointerToRawData);
    StoreLittle(&b[24], pointerToRelocations);
    StoreLittle(&b[28], pointerToLinenumbers);
    StoreLittle(&b[32], numberOfRelocations);
    StoreLittle(&b[34], numberOfLinenumbers);
    StoreLittle(&b[36], characteristics);
    return b;
  }
};

inline constexpr std::uint16_t kRelocI386Rva32 = 7;  // address relative to the image base

struct Relocation {
  static constexpr std::size_t kSize = 10;
  std::uint32_t virtualAddress = 0;
  std::uint32_t symbolTableIndex = 0;
  std::uint16_t type = kRelocI386Rva32;

  std::array<std::uint8_t, kSize> Bytes() const {
    std::array<std::uint8_t, kSize> b{};
    StoreLittle(&b[0], virtualAddress);
    StoreLittle(&b[4], symbolTableIndex);
    StoreLittle(&b[8], type);
    return b;
  }
};

inline constexpr std::int16_t kSectionUndefined = 0;
inline constexpr std::int16_t kSectionAbsolute = -1;
inline constexpr std::uint8_t kClassExternal = 2;
inline constexpr std::uint8_t kClassStatic = 3;
inline constexpr std::uint8_t kClassSection = 104;

// Symbol record. A name of up to 8 characters is stored in place; a longer
// one lives in the string table and the record holds four zero bytes and
// its offset there.
struct SymbolRecord {
  static constexpr std::size_t kSize = 18;
  std::string_view shortName;           // used when stringOffset is 0
  std::uint32_t stringOffset = 0;
  std::uint32_t value = 0;
  std::int16_t sectionNumber = kSectionUndefined;
  std::uint16_t type = 0;
  std::uint8_t storageClass = kClassExternal;
  std::uint8_t numberOfAuxSymbols = 0;

  std::array<std::uint8_t, kSize> Bytes() const {
    std::array<std::uint8_t, kSize> b{};
    if (stringOffset != 0) StoreLittle(&b[4], stringOffset);
    else StoreName<8>(&b[0], shortName);
    StoreLittle(&b[8], value);
    StoreLittle(&b[12], sectionNumber);
    StoreLittle(&b[14], type);
    b[16] = storageClass;
    b[17] = numberOfAuxSymbols;
    return b;
  }
};

// The first symbol of every object: the producing tool's build number.
inline constexpr SymbolRecord kCompIdSymbol{"@comp.id", 0, 0x00041FE8, kSectionAbsolute, 0,
                                            kClassStatic, 0};

// The value of a section symbol: the section's characteristics.
inline constexpr std::uint32_t kSectionSymbolValue = 0xC0000040;

// A string table begins with its own 32-bit size; the first name is at 4.
inline constexpr std::uint32_t kStringTableSizeField = 4;

// ---- The ".debug$S" block each object carries ------------------------------

inline constexpr std::uint32_t kDebugSignature = 2;
inline constexpr std::uint16_t kObjectNameRecordKind = 0x0009;
inline constexpr std::uint16_t kCompileRecordKind = 0x1013;
inline constexpr std::uint32_t kCompileFlags = 7;  // language byte 7
inline constexpr std::uint16_t kCompileMachineI386 = 3;
inline constexpr std::array<std::uint16_t, 3> kFrontEndVersion = {0, 0, 0};
inline constexpr std::array<std::uint16_t, 3> kBackEndVersion = {6, 0, 0x1FE8};
inline constexpr std::string_view kToolName = "Microsoft (R) LINK";
// The object-name record holds its name behind a one-byte length.
inline constexpr std::size_t kMaxDebugObjectName = 255;

// Sizes of the debug block around the object name:
// signature 4, record length 2, kind 2, zero 4, name length 1.
inline constexpr std::size_t kDebugHeadSize = 13;
// record length 2, kind 2, flags 4, machine 2, two versions 12, tool-name
// length 1, the tool name, its closing zero.
inline constexpr std::size_t kDebugTailSize = 2 + 2 + 4 + 2 + 12 + 1 + kToolName.size() + 1;
// What the object-name record length counts besides the name: kind 2,
// zero 4, name length 1.
inline constexpr std::size_t kObjectNameRecordFixed = 7;
// What the compile record length counts: everything after its length field.
inline constexpr std::uint16_t kCompileRecordLength = kDebugTailSize - 2;

// ---- Fixed names -----------------------------------------------------------

inline constexpr std::string_view kImportDescriptorPrefix = "__IMPORT_DESCRIPTOR_";
inline constexpr std::string_view kNullImportDescriptor = "__NULL_IMPORT_DESCRIPTOR";
inline constexpr char kNullThunkLead = '\x7F';
inline constexpr std::string_view kNullThunkSuffix = "_NULL_THUNK_DATA";
inline constexpr std::string_view kImportPrefix = "__imp_";
inline constexpr std::string_view kDllSuffix = ".dll";

// ---- Short import member ---------------------------------------------------

inline constexpr std::uint16_t kImportObjectHeaderSig2 = 0xFFFF;

// What the import's address slot holds for the client.
enum class ImportType : std::uint16_t { Code = 0, Data = 1, Const = 2 };
// What the loader looks up: the ordinal in the hint field, the symbol as
// it is, the symbol less its first '?', '@' or '_', or that and nothing
// from the first '@' on.
enum class NameType : std::uint16_t { Ordinal = 0, Name = 1, NoPrefix = 2, Undecorate = 3 };

// The type field: import type in bits 0-1, name type in bits 2-4.
constexpr std::uint16_t ImportTypeField(ImportType type, NameType name) {
  return static_cast<std::uint16_t>(static_cast<std::uint16_t>(type) |
                                    static_cast<std::uint16_t>(name) << 2);
}
// Code imported by undecorated name: what a hand-made entry gets.
inline constexpr std::uint16_t kImportCodeUndecorated =
    ImportTypeField(ImportType::Code, NameType::Undecorate);

struct ShortImportHeader {
  static constexpr std::size_t kSize = 20;
  std::uint16_t sig1 = 0;
  std::uint16_t sig2 = kImportObjectHeaderSig2;
  std::uint16_t version = 0;
  std::uint16_t machine = kMachineI386;
  std::int32_t timeDateStamp = 0;
  std::uint32_t sizeOfData = 0;
  std::uint16_t hint = 0;
  std::uint16_t type = kImportCodeUndecorated;

  std::array<std::uint8_t, kSize> Bytes() const {
    std::array<std::uint8_t, kSize> b{};
    StoreLittle(&b[0], sig1);
    StoreLittle(&b[2], sig2);
    StoreLittle(&b[4], version);
    StoreLittle(&b[6], machine);
    StoreLittle(&b[8], timeDateStamp);
    StoreLittle(&b[12], sizeOfData);
    StoreLittle(&b[16], hint);
    StoreLittle(&b[18], type);
    return b;
  }
};

// ---- Long-format import object ----------------------------------------------
//
// One object per import, for an export no name type can reach from the
// client's symbol: it carries its own directory entry, lookup and address
// slots, hint/name and DLL name, so it binds however the linker orders the
// contributions of other objects.

inline constexpr std::uint16_t kRelocI386Dir32 = 6;  // absolute address
inline constexpr std::uint32_t kSectionTextCharacteristics = 0x60300020;  // code, exec, read, align 4
// The import thunk: jmp dword ptr [__imp_S], padded to 8 bytes.
inline constexpr std::array<std::uint8_t, 8> kJumpThunk = {0xFF, 0x25, 0, 0, 0, 0, 0x90, 0x90};
inline constexpr std::uint32_t kJumpThunkTarget = 2;  // where the slot's address goes
// A lookup or address slot of an import by ordinal.
inline constexpr std::uint32_t kOrdinalFlag = 0x80000000u;
// Import directory entry fields the object relocates.
inline constexpr std::uint32_t kDirectoryLookupTable = 0;
inline constexpr std::uint32_t kDirectoryName = 12;
inline constexpr std::uint32_t kDirectoryAddressTable = 16;
inline constexpr std::uint32_t kDirectoryEntrySize = 20;

// ---- Linker members --------------------------------------------------------

// The three objects' symbols come first in the first linker member and
// take member indices 1, 2, 3 in the second.
inline constexpr std::uint32_t kFixedMembers = 3;
// Member indices of the second linker member are 16-bit: past this many
// members it cannot name them all.
inline constexpr std::uint32_t kMaxIndexedMembers = 0xFFFF;

}  // namespace coff
