// A PE image read whole into memory: its headers, its sections, and the
// raw records of its export directory. Every offset and count in the file
// is checked against the bytes that are really there before it is used.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "model/coff_headers.h"
#include "model/file_bytes.h"
#include "model/machine.h"
#include "model/outcome.h"
#include "platform/records.h"

namespace pe {

using coffhdr::FileHeader;
using coffhdr::SectionHeader;

// What leads from the DOS header to the PE header: "MZ" first, and the
// offset of the "PE\0\0" signature at 0x3C.
struct DosHeader {
  static constexpr std::size_t kSize = 0x40;
  static constexpr std::uint16_t kMagic = 0x5A4D;  // "MZ"
  std::uint16_t magic = 0;
  std::array<std::uint8_t, 0x3A> rest{};  // what no reader here needs
  std::uint32_t newHeaderOffset = 0;      // e_lfanew

  template <typename Self, typename Visit>
  static constexpr void Fields(Self& r, Visit&& v) {
    v(r.magic), v(r.rest), v(r.newHeaderOffset);
  }
};
static_assert(records::SizeOf<DosHeader>() == DosHeader::kSize);
inline constexpr std::size_t kNewHeaderOffsetAt = records::OffsetOf(&DosHeader::newHeaderOffset);
inline constexpr std::string_view kPeSignature{"PE\0\0", 4};

struct ExportDirectory {
  static constexpr std::size_t kSize = 40;
  std::uint32_t characteristics = 0;
  std::uint32_t timeDateStamp = 0;
  std::uint16_t majorVersion = 0;
  std::uint16_t minorVersion = 0;
  std::uint32_t nameRva = 0;
  std::uint32_t ordinalBase = 0;
  std::uint32_t numberOfFunctions = 0;
  std::uint32_t numberOfNames = 0;
  std::uint32_t addressOfFunctions = 0;
  std::uint32_t addressOfNames = 0;
  std::uint32_t addressOfNameOrdinals = 0;
  // The elements of its tables: addresses (of code, of names) and the
  // indexes of named exports in the address table.
  static constexpr std::size_t kAddressSize = 4;
  static constexpr std::size_t kIndexSize = 2;

  template <typename Self, typename Visit>
  static constexpr void Fields(Self& r, Visit&& v) {
    v(r.characteristics), v(r.timeDateStamp), v(r.majorVersion), v(r.minorVersion), v(r.nameRva),
        v(r.ordinalBase), v(r.numberOfFunctions), v(r.numberOfNames), v(r.addressOfFunctions),
        v(r.addressOfNames), v(r.addressOfNameOrdinals);
  }
};
static_assert(records::SizeOf<ExportDirectory>() == ExportDirectory::kSize);

// The head of a PE32+ image's load configuration, as far as the pointer
// to its hybrid (CHPE) metadata: an ARM64 image that carries it holds
// ARM64EC code beside its ARM64 code (ARM64X). The record's own size
// field says how much of it the image really has; older images end
// before the pointer.
struct LoadConfig64Head {
  static constexpr std::size_t kSize = 208;
  static constexpr std::size_t kDirectory = 10;  // its data directory entry
  std::uint32_t size = 0;
  std::array<std::uint8_t, 188> rest{};  // what no reader here needs
  std::uint64_t dynamicRelocTable = 0;   // an address (VA); superseded below
  std::uint64_t chpeMetadataPointer = 0;

  template <typename Self, typename Visit>
  static constexpr void Fields(Self& r, Visit&& v) {
    v(r.size), v(r.rest), v(r.dynamicRelocTable), v(r.chpeMetadataPointer);
  }
};
static_assert(records::SizeOf<LoadConfig64Head>() == LoadConfig64Head::kSize);

// What follows the head in newer load configurations, as far as where the
// dynamic value relocation table lies: an offset into a section, the
// section counted from 1 (0: the address in the head says it, if any).
struct LoadConfig64DynamicRelocs {
  static constexpr std::size_t kAt = LoadConfig64Head::kSize;
  static constexpr std::size_t kSize = 24;
  std::array<std::uint8_t, 16> guardRf{};  // what no reader here needs
  std::uint32_t tableOffset = 0;
  std::uint16_t tableSection = 0;
  std::uint16_t reserved = 0;

  template <typename Self, typename Visit>
  static constexpr void Fields(Self& r, Visit&& v) {
    v(r.guardRf), v(r.tableOffset), v(r.tableSection), v(r.reserved);
  }
};
static_assert(records::SizeOf<LoadConfig64DynamicRelocs>() == LoadConfig64DynamicRelocs::kSize);

// The dynamic value relocation table: a header, then `size` bytes of
// relocation groups, each a header naming what it relocates (its symbol)
// and the bytes of its fixups.
struct DynamicRelocTable {
  static constexpr std::size_t kSize = 8;
  std::uint32_t version = 0;  // 1 or 2: which group header follows
  std::uint32_t size = 0;

  template <typename Self, typename Visit>
  static constexpr void Fields(Self& r, Visit&& v) {
    v(r.version), v(r.size);
  }
};
static_assert(records::SizeOf<DynamicRelocTable>() == DynamicRelocTable::kSize);

// A group's header in a table of version 1 (PE32+).
struct DynamicReloc64V1 {
  static constexpr std::size_t kSize = 12;
  std::uint64_t symbol = 0;
  std::uint32_t fixupsSize = 0;

  template <typename Self, typename Visit>
  static constexpr void Fields(Self& r, Visit&& v) {
    v(r.symbol), v(r.fixupsSize);
  }
};
static_assert(records::SizeOf<DynamicReloc64V1>() == DynamicReloc64V1::kSize);

// A group's header in a table of version 2: it says its own size, which
// may grow past these fields.
struct DynamicReloc64V2 {
  static constexpr std::size_t kSize = 24;
  std::uint32_t headerSize = 0;
  std::uint32_t fixupsSize = 0;
  std::uint64_t symbol = 0;
  std::uint32_t symbolGroup = 0;
  std::uint32_t flags = 0;

  template <typename Self, typename Visit>
  static constexpr void Fields(Self& r, Visit&& v) {
    v(r.headerSize), v(r.fixupsSize), v(r.symbol), v(r.symbolGroup), v(r.flags);
  }
};
static_assert(records::SizeOf<DynamicReloc64V2>() == DynamicReloc64V2::kSize);

// The group whose fixups turn an ARM64X image into what ARM64EC code sees.
inline constexpr std::uint64_t kArm64xRelocSymbol = 6;

// A block of fixups within one 4 KiB page, as base relocations are laid
// out: the page's address, the block's size with this header, then 16-bit
// records (offset in the page: 12 bits; kind: 2; size or sign and scale:
// 2), each followed by its value, if any. A zero record pads the block.
struct FixupBlock {
  static constexpr std::size_t kSize = 8;
  std::uint32_t pageRva = 0;
  std::uint32_t blockSize = 0;
  static constexpr std::size_t kRecordSize = 2;

  template <typename Self, typename Visit>
  static constexpr void Fields(Self& r, Visit&& v) {
    v(r.pageRva), v(r.blockSize);
  }
};
static_assert(records::SizeOf<FixupBlock>() == FixupBlock::kSize);

// The kinds of ARM64X fixups: clear 1 << size bytes; write the 1 << size
// bytes that follow the record; add to the 32-bit word there the 16-bit
// value that follows, times 8 (scale bit) or 4, negated (sign bit).
enum class Arm64xFixup : std::uint8_t { ZeroFill = 0, Value = 1, Delta = 2 };

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
  Outcome Parse(FileBytes bytes);
  // The exports in ordinal order; an export with several names gives one
  // record per name, one with none a record without a name. Gaps in the
  // ordinals (address 0) give nothing.
  Outcome ReadExports(std::vector<RawExport>& exports) const;
  // The image has an export directory (which ReadExports may still find
  // damaged). Each view of an ARM64X DLL may lack one.
  bool HasExports() const { return exportRva_ != 0 && exportSize_ != 0; }

  Machine ImageMachine() const { return machine_; }
  bool IsPe32Plus() const { return pe32Plus_; }
  // The load configuration points to hybrid metadata: an ARM64 image
  // with it is ARM64X, loaded by ARM64 and ARM64EC processes alike. A
  // load configuration that cannot be read counts as none.
  bool HasHybridMetadata() const { return hybridMetadata_; }
  // The code is packed: it is unpacked only when the DLL is loaded, so
  // what the file holds of it says nothing of the functions. Told by the
  // sections of the most common packer ("UPX0", "UPX1"), by its "UPX!"
  // mark among the headers, or by a code section with no byte in the
  // file.
  bool CodePacked() const { return codePacked_; }

  // The image as ARM64EC code sees it: an ARM64X image with the fixups of
  // its ARM64X dynamic relocations applied to a copy of its bytes (its
  // header's machine, its export directory and whatever else they
  // rewrite). A copy of the image itself when it has none. NotImportLibrary
  // or CutShort when the table is cut or says what cannot be.
  Outcome Arm64ecView(Image& view) const;

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
  // Applies to copy (the file's bytes) the fixups of one group of ARM64X
  // relocations.
  Outcome ApplyArm64xFixups(std::string_view fixups, std::uint8_t* copy) const;
  // A zero-terminated string at rva of at most kMaxNameLength bytes.
  Outcome ReadString(std::uint32_t rva, const char* what, std::string& text) const;

  FileBytes bytes_;
  std::vector<SectionHeader> sections_;
  Machine machine_ = Machine::Unknown;
  bool pe32Plus_ = false;
  bool codePacked_ = false;
  bool hybridMetadata_ = false;
  std::uint32_t sizeOfHeaders_ = 0;
  std::uint32_t exportRva_ = 0;
  std::uint32_t exportSize_ = 0;
  // Where the dynamic value relocation table lies; 0: none.
  std::uint32_t dynamicRelocRva_ = 0;
};

// Reads the file whole into image. CannotOpen (with errno) when it cannot
// be read; otherwise what Parse answers.
Outcome LoadImage(const std::string& fileName, Image& image);

}  // namespace pe
