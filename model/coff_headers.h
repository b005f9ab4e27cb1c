// The two headers that COFF objects and PE images share: the file header
// and the section header. The COFF reader and writer and the DLL reader
// all use these; what is particular to each lives in its own folder.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "platform/records.h"

namespace coffhdr {

struct FileHeader {
  static constexpr std::size_t kSize = 20;
  std::uint16_t machine = 0;
  std::uint16_t numberOfSections = 0;
  std::int32_t timeDateStamp = 0;
  std::uint32_t pointerToSymbolTable = 0;
  std::uint32_t numberOfSymbols = 0;
  std::uint16_t sizeOfOptionalHeader = 0;
  std::uint16_t characteristics = 0;

  template <typename Self, typename Visit>
  static constexpr void Fields(Self& r, Visit&& v) {
    v(r.machine), v(r.numberOfSections), v(r.timeDateStamp), v(r.pointerToSymbolTable),
        v(r.numberOfSymbols), v(r.sizeOfOptionalHeader), v(r.characteristics);
  }
};
static_assert(records::SizeOf<FileHeader>() == FileHeader::kSize);

// FileHeader::Characteristics: the object is for a 32-bit machine.
inline constexpr std::uint16_t k32BitMachine = 0x0100;

struct SectionHeader {
  static constexpr std::size_t kSize = 40;
  static constexpr std::size_t kNameWidth = 8;
  std::array<char, kNameWidth> name{};
  std::uint32_t virtualSize = 0;
  std::uint32_t virtualAddress = 0;
  std::uint32_t sizeOfRawData = 0;
  std::uint32_t pointerToRawData = 0;
  std::uint32_t pointerToRelocations = 0;
  std::uint32_t pointerToLinenumbers = 0;
  std::uint16_t numberOfRelocations = 0;
  std::uint16_t numberOfLinenumbers = 0;
  std::uint32_t characteristics = 0;

  std::string_view NameText() const { return records::TextOf(name); }

  template <typename Self, typename Visit>
  static constexpr void Fields(Self& r, Visit&& v) {
    v(r.name), v(r.virtualSize), v(r.virtualAddress), v(r.sizeOfRawData), v(r.pointerToRawData),
        v(r.pointerToRelocations), v(r.pointerToLinenumbers), v(r.numberOfRelocations),
        v(r.numberOfLinenumbers), v(r.characteristics);
  }
};
static_assert(records::SizeOf<SectionHeader>() == SectionHeader::kSize);

// The optional header of a PE image, the fixed part before the data
// directories: PE32 (32-bit images) and PE32+ (64-bit images). Import
// descriptor objects carry a PE32 one as well.
struct OptionalHeader32 {
  static constexpr std::size_t kSize = 96;
  static constexpr std::uint16_t kMagic = 0x010B;
  std::uint16_t magic = kMagic;
  std::uint8_t majorLinkerVersion = 0;
  std::uint8_t minorLinkerVersion = 0;
  std::uint32_t sizeOfCode = 0;
  std::uint32_t sizeOfInitializedData = 0;
  std::uint32_t sizeOfUninitializedData = 0;
  std::uint32_t addressOfEntryPoint = 0;
  std::uint32_t baseOfCode = 0;
  std::uint32_t baseOfData = 0;
  std::uint32_t imageBase = 0;
  std::uint32_t sectionAlignment = 0;
  std::uint32_t fileAlignment = 0;
  std::uint16_t majorOperatingSystemVersion = 0;
  std::uint16_t minorOperatingSystemVersion = 0;
  std::uint16_t majorImageVersion = 0;
  std::uint16_t minorImageVersion = 0;
  std::uint16_t majorSubsystemVersion = 0;
  std::uint16_t minorSubsystemVersion = 0;
  std::uint32_t win32VersionValue = 0;
  std::uint32_t sizeOfImage = 0;
  std::uint32_t sizeOfHeaders = 0;
  std::uint32_t checkSum = 0;
  std::uint16_t subsystem = 0;
  std::uint16_t dllCharacteristics = 0;
  std::uint32_t sizeOfStackReserve = 0;
  std::uint32_t sizeOfStackCommit = 0;
  std::uint32_t sizeOfHeapReserve = 0;
  std::uint32_t sizeOfHeapCommit = 0;
  std::uint32_t loaderFlags = 0;
  std::uint32_t numberOfRvaAndSizes = 0;

  template <typename Self, typename Visit>
  static constexpr void Fields(Self& r, Visit&& v) {
    v(r.magic), v(r.majorLinkerVersion), v(r.minorLinkerVersion), v(r.sizeOfCode),
        v(r.sizeOfInitializedData), v(r.sizeOfUninitializedData), v(r.addressOfEntryPoint),
        v(r.baseOfCode), v(r.baseOfData), v(r.imageBase), v(r.sectionAlignment),
        v(r.fileAlignment), v(r.majorOperatingSystemVersion), v(r.minorOperatingSystemVersion),
        v(r.majorImageVersion), v(r.minorImageVersion), v(r.majorSubsystemVersion),
        v(r.minorSubsystemVersion), v(r.win32VersionValue), v(r.sizeOfImage), v(r.sizeOfHeaders),
        v(r.checkSum), v(r.subsystem), v(r.dllCharacteristics), v(r.sizeOfStackReserve),
        v(r.sizeOfStackCommit), v(r.sizeOfHeapReserve), v(r.sizeOfHeapCommit), v(r.loaderFlags),
        v(r.numberOfRvaAndSizes);
  }
};
static_assert(records::SizeOf<OptionalHeader32>() == OptionalHeader32::kSize);

struct OptionalHeader64 {
  static constexpr std::size_t kSize = 112;
  static constexpr std::uint16_t kMagic = 0x020B;
  std::uint16_t magic = kMagic;
  std::uint8_t majorLinkerVersion = 0;
  std::uint8_t minorLinkerVersion = 0;
  std::uint32_t sizeOfCode = 0;
  std::uint32_t sizeOfInitializedData = 0;
  std::uint32_t sizeOfUninitializedData = 0;
  std::uint32_t addressOfEntryPoint = 0;
  std::uint32_t baseOfCode = 0;
  std::uint64_t imageBase = 0;
  std::uint32_t sectionAlignment = 0;
  std::uint32_t fileAlignment = 0;
  std::uint16_t majorOperatingSystemVersion = 0;
  std::uint16_t minorOperatingSystemVersion = 0;
  std::uint16_t majorImageVersion = 0;
  std::uint16_t minorImageVersion = 0;
  std::uint16_t majorSubsystemVersion = 0;
  std::uint16_t minorSubsystemVersion = 0;
  std::uint32_t win32VersionValue = 0;
  std::uint32_t sizeOfImage = 0;
  std::uint32_t sizeOfHeaders = 0;
  std::uint32_t checkSum = 0;
  std::uint16_t subsystem = 0;
  std::uint16_t dllCharacteristics = 0;
  std::uint64_t sizeOfStackReserve = 0;
  std::uint64_t sizeOfStackCommit = 0;
  std::uint64_t sizeOfHeapReserve = 0;
  std::uint64_t sizeOfHeapCommit = 0;
  std::uint32_t loaderFlags = 0;
  std::uint32_t numberOfRvaAndSizes = 0;

  template <typename Self, typename Visit>
  static constexpr void Fields(Self& r, Visit&& v) {
    v(r.magic), v(r.majorLinkerVersion), v(r.minorLinkerVersion), v(r.sizeOfCode),
        v(r.sizeOfInitializedData), v(r.sizeOfUninitializedData), v(r.addressOfEntryPoint),
        v(r.baseOfCode), v(r.imageBase), v(r.sectionAlignment), v(r.fileAlignment),
        v(r.majorOperatingSystemVersion), v(r.minorOperatingSystemVersion),
        v(r.majorImageVersion), v(r.minorImageVersion), v(r.majorSubsystemVersion),
        v(r.minorSubsystemVersion), v(r.win32VersionValue), v(r.sizeOfImage), v(r.sizeOfHeaders),
        v(r.checkSum), v(r.subsystem), v(r.dllCharacteristics), v(r.sizeOfStackReserve),
        v(r.sizeOfStackCommit), v(r.sizeOfHeapReserve), v(r.sizeOfHeapCommit), v(r.loaderFlags),
        v(r.numberOfRvaAndSizes);
  }
};
static_assert(records::SizeOf<OptionalHeader64>() == OptionalHeader64::kSize);

// One data directory entry; the table follows the optional header's
// fixed part, numberOfRvaAndSizes entries long.
struct DataDirectory {
  static constexpr std::size_t kSize = 8;
  static constexpr std::size_t kExportTable = 0;
  static constexpr std::size_t kCount = 16;
  std::uint32_t virtualAddress = 0;
  std::uint32_t size = 0;

  template <typename Self, typename Visit>
  static constexpr void Fields(Self& r, Visit&& v) {
    v(r.virtualAddress), v(r.size);
  }
};
static_assert(records::SizeOf<DataDirectory>() == DataDirectory::kSize);

// SectionHeader::Characteristics bits.
inline constexpr std::uint32_t kSectionCode = 0x00000020;
inline constexpr std::uint32_t kSectionExecute = 0x20000000;

}  // namespace coffhdr
