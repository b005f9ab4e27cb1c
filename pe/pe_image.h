// A PE image read whole into memory: its headers, its sections, and the
// raw records of its export directory. Every offset and count in the file
// is checked against the bytes that are really there before it is used.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "model/outcome.h"

namespace pe {

inline constexpr std::uint16_t kMachineI386 = 0x014C;
inline constexpr std::uint16_t kMachineAmd64 = 0x8664;

// The layouts this reader takes from the file, with their sizes.
struct DosHeader {  // only what leads to the PE header
  static constexpr std::size_t kMagicOffset = 0;    // "MZ"
  static constexpr std::size_t kNewHeaderOffset = 0x3C;  // e_lfanew
  static constexpr std::size_t kSize = 0x40;
};

struct FileHeader {  // after the "PE\0\0" signature
  std::uint16_t Machine;
  std::uint16_t NumberOfSections;
  std::uint32_t TimeDateStamp;
  std::uint32_t PointerToSymbolTable;
  std::uint32_t NumberOfSymbols;
  std::uint16_t SizeOfOptionalHeader;
  std::uint16_t Characteristics;
  static constexpr std::size_t kSize = 20;
};

struct OptionalHeaderLayout {  // the fields read, by the header's magic
  static constexpr std::uint16_t kMagicPe32 = 0x10B;
  static constexpr std::uint16_t kMagicPe32Plus = 0x20B;
  static constexpr std::size_t kSizeOfHeadersOffset = 60;
  // Where NumberOfRvaAndSizes sits; the data directories follow it.
  static constexpr std::size_t kDirectoryCountOffsetPe32 = 92;
  static constexpr std::size_t kDirectoryCountOffsetPe32Plus = 108;
  static constexpr std::size_t kDirectorySize = 8;  // RVA, size
  static constexpr std::uint32_t kExportDirectoryIndex = 0;
};

struct SectionHeader {
  char Name[8];
  std::uint32_t VirtualSize;
  std::uint32_t VirtualAddress;
  std::uint32_t SizeOfRawData;
  std::uint32_t PointerToRawData;
  std::uint32_t PointerToRelocations;
  std::uint32_t PointerToLinenumbers;
  std::uint16_t NumberOfRelocations;
  std::uint16_t NumberOfLinenumbers;
  std::uint32_t Characteristics;
  static constexpr std::size_t kSize = 40;
  static constexpr std::uint32_t kExecute = 0x20000000;  // IMAGE_SCN_MEM_EXECUTE
  static constexpr std::uint32_t kCode = 0x00000020;     // IMAGE_SCN_CNT_CODE
};

struct ExportDirectory {
  std::uint32_t Characteristics;
  std::uint32_t TimeDateStamp;
  std::uint16_t MajorVersion;
  std::uint16_t MinorVersion;
  std::uint32_t NameRva;
  std::uint32_t OrdinalBase;
  std::uint32_t NumberOfFunctions;
  std::uint32_t NumberOfNames;
  std::uint32_t AddressOfFunctions;
  std::uint32_t AddressOfNames;
  std::uint32_t AddressOfNameOrdinals;
  static constexpr std::size_t kSize = 40;
  // The elements of its tables: addresses (of code, of names) and the
  // indexes of named exports in the address table.
  static constexpr std::size_t kAddressSize = 4;
  static constexpr std::size_t kIndexSize = 2;
};

static_assert(sizeof(FileHeader) == FileHeader::kSize);
static_assert(sizeof(SectionHeader) == SectionHeader::kSize);
static_assert(sizeof(ExportDirectory) == ExportDirectory::kSize);

// One export as the directory holds it.
struct RawExport {
  std::uint16_t Ordinal = 0;  // biased
  std::uint32_t Rva = 0;
  std::string Name;           // empty: exported by ordinal only
  std::string ForwardTo;      // "OTHER.Func" for a forwarder
};

class Image {
 public:
  // Takes the file's bytes. Outcome::Done when headers and sections make
  // sense; otherwise NotImportLibrary or CutShort saying what is wrong.
  Outcome Parse(std::vector<std::uint8_t> bytes);
  // The exports in ordinal order; an export with several names gives one
  // record per name, one with none a record without a name. Gaps in the
  // ordinals (address 0) give nothing.
  Outcome ReadExports(std::vector<RawExport>& exports) const;

  std::uint16_t Machine() const { return machine_; }
  bool IsPe32Plus() const { return pe32Plus_; }
  // The code is packed: it is unpacked only when the DLL is loaded, so
  // what the file holds of it says nothing of the functions. Told by the
  // sections of the most common packer ("UPX0", "UPX1"), by its "UPX!"
  // mark among the headers, or by a code section with no byte in the
  // file.
  bool CodePacked() const { return codePacked_; }

  // The file bytes from rva to the end of its section's data in the file;
  // empty when rva maps to no byte of the file.
  std::string_view BytesAt(std::uint32_t rva) const;
  // True when rva lies inside a section that holds executable code.
  bool IsExecutable(std::uint32_t rva) const;

 private:
  const SectionHeader* SectionOf(std::uint32_t rva) const;
  // The bytes [rva, rva + size) when they all lie in the file; otherwise
  // what is wrong, naming the table for the message.
  Outcome Range(std::uint32_t rva, std::uint64_t size, const char* what,
                std::string_view& range) const;
  // A zero-terminated string at rva of at most kMaxNameLength bytes.
  Outcome ReadString(std::uint32_t rva, const char* what, std::string& text) const;

  std::vector<std::uint8_t> bytes_;
  std::vector<SectionHeader> sections_;
  std::uint16_t machine_ = 0;
  bool pe32Plus_ = false;
  bool codePacked_ = false;
  std::uint32_t sizeOfHeaders_ = 0;
  std::uint32_t exportRva_ = 0;
  std::uint32_t exportSize_ = 0;
};

// Reads the file whole into image. CannotOpen (with errno) when it cannot
// be read; otherwise what Parse answers.
Outcome LoadImage(const std::string& fileName, Image& image);

}  // namespace pe
