#include "tests/support/pe_builder.h"

#include <cstring>

namespace {

// Room for 128 functions, and for the export tables of as many.
constexpr std::uint32_t kTextRva = 0x1000, kTextRaw = 0x200, kTextSize = 0x1000;
constexpr std::uint32_t kDataRva = 0x2000, kDataRaw = kTextRaw + kTextSize, kDataSize = 0x800;
constexpr std::uint32_t kPeAt = 0x40, kOptionalAt = kPeAt + 24;
// The load configuration's place: after the export tables, which a test
// keeps well under this.
constexpr std::uint32_t kLoadConfigRva = kDataRva + 0x700, kLoadConfigSize = 232;
// The ARM64EC export directory and the ARM64X relocations that put it in
// place, between the two.
constexpr std::uint32_t kEcDirectoryRva = kDataRva + 0x400, kDynamicRelocRva = kDataRva + 0x600;
constexpr std::uint32_t kChpeMetadataRva = kDataRva + 0x680;
constexpr std::uint64_t kImageBase = 0x180000000;

void Put(Bytes& b, std::size_t at, std::uint64_t v, int size) {
  for (int i = 0; i < size; ++i) b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}

}  // namespace

Bytes BuildPe(const std::vector<PeExport>& exports, const PeShape& shape) {
  const bool plus = shape.machine != Machine::I386;
  const std::uint32_t fixed = plus ? 112 : 96, optionalSize = fixed + 16 * 8;
  const std::uint32_t sectionsAt = kOptionalAt + optionalSize;
  const auto raw = [](std::uint32_t rva) { return rva - kDataRva + kDataRaw; };
  Bytes b(kDataRaw + kDataSize, 0);
  b[0] = 'M', b[1] = 'Z';
  Put(b, 0x3C, kPeAt, 4);
  std::memcpy(&b[kPeAt], "PE\0\0", 4);
  Put(b, kPeAt + 4, MachineNumber(shape.machine), 2);
  Put(b, kPeAt + 6, 2, 2);
  Put(b, kPeAt + 20, optionalSize, 2);
  Put(b, kOptionalAt, plus ? 0x20B : 0x10B, 2);
  if (plus) Put(b, kOptionalAt + 24, kImageBase, 8);
  Put(b, kOptionalAt + 60, kTextRaw, 4);  // SizeOfHeaders
  Put(b, kOptionalAt + fixed - 4, 16, 4);  // NumberOfRvaAndSizes
  const struct { const char* name; std::uint32_t rva, raw, size, virtualSize, flags; } sections[] = {
      {shape.packed ? "UPX0" : ".text", kTextRva, shape.packed ? 0 : kTextRaw, shape.packed ? 0 : kTextSize,
       kTextSize, 0x60000020},
      {".rdata", kDataRva, kDataRaw, kDataSize, kDataSize, 0x40000040}};
  for (int i = 0; i < 2; ++i) {
    const std::size_t h = sectionsAt + 40 * i;
    std::memcpy(&b[h], sections[i].name, std::strlen(sections[i].name));
    Put(b, h + 8, sections[i].virtualSize, 4);
    Put(b, h + 12, sections[i].rva, 4);
    Put(b, h + 16, sections[i].size, 4);
    Put(b, h + 20, sections[i].raw, 4);
    Put(b, h + 36, sections[i].flags, 4);
  }

  std::uint32_t code = kTextRva;
  // One export directory at dirRva; the end of its names.
  const auto directory = [&](const std::vector<PeExport>& list, std::uint32_t dirRva) {
    const auto n = static_cast<std::uint32_t>(list.size());
    std::uint32_t named = 0;
    for (const PeExport& e : list) named += !e.name.empty();
    const std::uint32_t functions = dirRva + 40, names = functions + 4 * n, ordinals = names + 4 * named;
    std::uint32_t strings = ordinals + 2 * named, k = 0;
    Put(b, raw(dirRva) + 16, 1, 4);  // ordinal base
    Put(b, raw(dirRva) + 20, n, 4);
    Put(b, raw(dirRva) + 24, named, 4);
    Put(b, raw(dirRva) + 28, functions, 4);
    Put(b, raw(dirRva) + 32, names, 4);
    Put(b, raw(dirRva) + 36, ordinals, 4);
    for (std::uint32_t i = 0; i < n; ++i) {
      const PeExport& e = list[i];
      Put(b, raw(functions) + 4 * i, e.data ? kDataRva + kDataSize - 4 : code, 4);
      if (!e.code.empty() && !shape.packed)
        std::memcpy(&b[code - kTextRva + kTextRaw], e.code.data(), e.code.size());
      code += 0x20;
      if (e.name.empty()) continue;
      Put(b, raw(names) + 4 * k, strings, 4);
      Put(b, raw(ordinals) + 2 * k, i, 2);
      std::memcpy(&b[raw(strings)], e.name.c_str(), e.name.size() + 1);
      strings += static_cast<std::uint32_t>(e.name.size() + 1);
      ++k;
    }
    return strings;
  };
  const std::uint32_t strings = directory(exports, kDataRva);
  Put(b, kOptionalAt + fixed, kDataRva, 4);
  Put(b, kOptionalAt + fixed + 4, strings - kDataRva, 4);
  if (shape.hybridMetadata) {
    Put(b, kOptionalAt + fixed + 10 * 8, kLoadConfigRva, 4);
    Put(b, kOptionalAt + fixed + 10 * 8 + 4, kLoadConfigSize, 4);
    Put(b, raw(kLoadConfigRva), kLoadConfigSize, 4);
    Put(b, raw(kLoadConfigRva) + 200, kImageBase + kChpeMetadataRva, 8);  // CHPEMetadataPointer, a VA
    Put(b, raw(kChpeMetadataRva), 1, 4);  // its version; the tables it may point to are empty
  }
  if (shape.hybridMetadata && !shape.ecExports.empty()) {
    const std::uint32_t ecEnd = directory(shape.ecExports, kEcDirectoryRva);
    Put(b, raw(kLoadConfigRva) + 224, kDynamicRelocRva - kDataRva, 4);  // its offset in .rdata,
    Put(b, raw(kLoadConfigRva) + 228, 2, 2);                            // the second section
    const std::size_t t = raw(kDynamicRelocRva);
    Put(b, t, 1, 4);                         // version
    Put(b, t + 4, 12 + 8 + 2 * 6, 4);        // the group's size
    Put(b, t + 8, 6, 8);                     // its symbol: ARM64X
    Put(b, t + 16, 8 + 2 * 6, 4);            // its fixups' size
    Put(b, t + 20, 0, 4);                    // page 0: the headers
    Put(b, t + 24, 8 + 2 * 6, 4);
    const std::uint32_t at = kOptionalAt + fixed;  // the export directory's entry
    const std::uint16_t writes4 = (1 << 12) | (2 << 14);
    Put(b, t + 28, at | writes4, 2);
    Put(b, t + 30, kEcDirectoryRva, 4);
    Put(b, t + 34, (at + 4) | writes4, 2);
    Put(b, t + 36, ecEnd - kEcDirectoryRva, 4);
  }
  return b;
}
