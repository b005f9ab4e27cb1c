#include "pe/pe_image.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <string_view>

namespace pe {
namespace {

// Ordinals are 16 bits wide, so no directory can name more exports. Names
// beyond that count can only be aliases, and a DLL with as many aliases
// as exports is already absurd.
constexpr std::uint64_t kMaxExports = 0x10000;
// Longer than any name a compiler decorates; keeps a hostile image from
// making each of many names a long scan.
constexpr std::size_t kMaxNameLength = 4096;

std::uint16_t Le16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }
std::uint32_t Le32(const std::uint8_t* p) {
  return std::uint32_t{p[0]} | (std::uint32_t{p[1]} << 8) | (std::uint32_t{p[2]} << 16) |
         (std::uint32_t{p[3]} << 24);
}
std::uint32_t Le32(std::string_view s, std::size_t at) {
  return Le32(reinterpret_cast<const std::uint8_t*>(s.data()) + at);
}
std::uint16_t Le16(std::string_view s, std::size_t at) {
  return Le16(reinterpret_cast<const std::uint8_t*>(s.data()) + at);
}

// A little-endian field of a layout, by its place in the layout's struct.
#define FIELD32(base, Layout, field) Le32((base) + offsetof(Layout, field))
#define FIELD16(base, Layout, field) Le16((base) + offsetof(Layout, field))

// What the most common packer leaves: its sections' names begin "UPX"
// and its mark sits among the headers.
constexpr std::string_view kPackerSectionPrefix = "UPX";
constexpr std::string_view kPackerMark = "UPX!";
// Where the headers are searched for the mark, at most.
constexpr std::size_t kHeaderSearch = 0x1000;

Outcome NotPe(const std::string& why) { return Outcome::NotImportLibrary("not a valid PE image: " + why); }

struct Span {
  std::uint64_t begin, end;
  bool Overlaps(const Span& other) const {
    return begin < end && other.begin < other.end && begin < other.end && other.begin < end;
  }
};

}  // namespace

Outcome Image::Parse(std::vector<std::uint8_t> bytes) {
  bytes_ = std::move(bytes);
  sections_.clear();
  const std::uint64_t size = bytes_.size();
  if (size < DosHeader::kSize || bytes_[0] != 'M' || bytes_[1] != 'Z')
    return NotPe("no MZ header");
  const std::uint64_t peAt = Le32(&bytes_[DosHeader::kNewHeaderOffset]);
  const std::uint64_t fileHeaderAt = peAt + 4;
  if (fileHeaderAt + FileHeader::kSize > size) return NotPe("the PE header lies past the end of the file");
  if (std::memcmp(&bytes_[peAt], "PE\0\0", 4) != 0) return NotPe("no PE signature");

  FileHeader header{};
  const std::uint8_t* h = &bytes_[fileHeaderAt];
  header.Machine = FIELD16(h, FileHeader, Machine);
  header.NumberOfSections = FIELD16(h, FileHeader, NumberOfSections);
  header.SizeOfOptionalHeader = FIELD16(h, FileHeader, SizeOfOptionalHeader);
  machine_ = header.Machine;

  const std::uint64_t optionalAt = fileHeaderAt + FileHeader::kSize;
  const std::uint64_t optionalSize = header.SizeOfOptionalHeader;
  if (optionalAt + optionalSize > size) return NotPe("the optional header lies past the end of the file");
  if (optionalSize < 2) return NotPe("no optional header");
  const std::uint8_t* o = &bytes_[optionalAt];
  const std::uint16_t magic = Le16(o);
  std::size_t countOffset = 0;
  if (magic == OptionalHeaderLayout::kMagicPe32) {
    countOffset = OptionalHeaderLayout::kDirectoryCountOffsetPe32;
  } else if (magic == OptionalHeaderLayout::kMagicPe32Plus) {
    countOffset = OptionalHeaderLayout::kDirectoryCountOffsetPe32Plus;
    pe32Plus_ = true;
  } else {
    return NotPe("unknown optional header");
  }
  if (optionalSize < countOffset + 4) return NotPe("the optional header is too short");
  sizeOfHeaders_ = Le32(o + OptionalHeaderLayout::kSizeOfHeadersOffset);
  const std::uint64_t claimed = Le32(o + countOffset);
  const std::uint64_t room = (optionalSize - countOffset - 4) / OptionalHeaderLayout::kDirectorySize;
  if (std::min(claimed, room) > OptionalHeaderLayout::kExportDirectoryIndex) {
    const std::uint8_t* entry = o + countOffset + 4 +
                                OptionalHeaderLayout::kExportDirectoryIndex * OptionalHeaderLayout::kDirectorySize;
    exportRva_ = Le32(entry);
    exportSize_ = Le32(entry + 4);
  }

  const std::uint64_t sectionsAt = optionalAt + optionalSize;
  if (sectionsAt + std::uint64_t{header.NumberOfSections} * SectionHeader::kSize > size)
    return Outcome::CutShort(0, "the section table lies past the end of the file");
  sections_.reserve(header.NumberOfSections);
  for (std::uint32_t i = 0; i < header.NumberOfSections; ++i) {
    const std::uint8_t* s = &bytes_[sectionsAt + std::uint64_t{i} * SectionHeader::kSize];
    SectionHeader section{};
    std::memcpy(section.Name, s, sizeof section.Name);
    section.VirtualSize = FIELD32(s, SectionHeader, VirtualSize);
    section.VirtualAddress = FIELD32(s, SectionHeader, VirtualAddress);
    section.SizeOfRawData = FIELD32(s, SectionHeader, SizeOfRawData);
    section.PointerToRawData = FIELD32(s, SectionHeader, PointerToRawData);
    section.Characteristics = FIELD32(s, SectionHeader, Characteristics);
    sections_.push_back(section);
  }
  // Sorted by address, so that finding an address's section is a search
  // rather than a walk over a table a hostile image can make long.
  std::stable_sort(sections_.begin(), sections_.end(),
                   [](const SectionHeader& a, const SectionHeader& b) {
                     return a.VirtualAddress < b.VirtualAddress;
                   });

  codePacked_ = false;
  for (const SectionHeader& s : sections_) {
    const std::string_view name(s.Name, strnlen(s.Name, sizeof s.Name));
    const bool code = (s.Characteristics & (SectionHeader::kExecute | SectionHeader::kCode)) != 0;
    if (name.starts_with(kPackerSectionPrefix) || (code && s.SizeOfRawData == 0 && s.VirtualSize != 0))
      codePacked_ = true;
  }
  const std::string_view head(reinterpret_cast<const char*>(bytes_.data()),
                              static_cast<std::size_t>(std::min<std::uint64_t>(size, kHeaderSearch)));
  if (head.find(kPackerMark) != std::string_view::npos) codePacked_ = true;
  return Outcome::Done();
}

const SectionHeader* Image::SectionOf(std::uint32_t rva) const {
  auto it = std::upper_bound(sections_.begin(), sections_.end(), rva,
                             [](std::uint32_t value, const SectionHeader& s) {
                               return value < s.VirtualAddress;
                             });
  if (it == sections_.begin()) return nullptr;
  const SectionHeader& s = *std::prev(it);
  const std::uint64_t extent = s.VirtualSize != 0 ? s.VirtualSize : s.SizeOfRawData;
  if (std::uint64_t{rva} - s.VirtualAddress >= extent) return nullptr;
  return &s;
}

std::string_view Image::BytesAt(std::uint32_t rva) const {
  const auto* data = reinterpret_cast<const char*>(bytes_.data());
  const SectionHeader* s = SectionOf(rva);
  if (s == nullptr) {
    const std::uint64_t end = std::min<std::uint64_t>(sizeOfHeaders_, bytes_.size());
    if (rva < end) return {data + rva, static_cast<std::size_t>(end - rva)};
    return {};
  }
  const std::uint64_t offset = rva - s->VirtualAddress;
  std::uint64_t inSection = s->SizeOfRawData;
  if (s->VirtualSize != 0) inSection = std::min<std::uint64_t>(inSection, s->VirtualSize);
  if (offset >= inSection) return {};
  const std::uint64_t start = std::uint64_t{s->PointerToRawData} + offset;
  const std::uint64_t end = std::min<std::uint64_t>(std::uint64_t{s->PointerToRawData} + inSection, bytes_.size());
  if (start >= end) return {};
  return {data + start, static_cast<std::size_t>(end - start)};
}

bool Image::IsExecutable(std::uint32_t rva) const {
  const SectionHeader* s = SectionOf(rva);
  return s != nullptr && (s->Characteristics & (SectionHeader::kExecute | SectionHeader::kCode)) != 0;
}

Outcome Image::Range(std::uint32_t rva, std::uint64_t size, const char* what,
                     std::string_view& range) const {
  const std::string_view view = BytesAt(rva);
  if (view.size() >= size) {
    range = view.substr(0, static_cast<std::size_t>(size));
    return Outcome::Done();
  }
  // The section says the bytes are there but the file ends first.
  const SectionHeader* s = SectionOf(rva);
  if (s != nullptr && std::uint64_t{rva} - s->VirtualAddress + size <= s->SizeOfRawData &&
      std::uint64_t{s->PointerToRawData} + s->SizeOfRawData > bytes_.size())
    return Outcome::CutShort(0, std::string(what) + " lies past the end of the file");
  return NotPe(std::string(what) + " lies outside the image's data");
}

Outcome Image::ReadString(std::uint32_t rva, const char* what, std::string& text) const {
  const std::string_view view = BytesAt(rva);
  const std::string_view head = view.substr(0, kMaxNameLength + 1);
  const std::size_t end = head.find('\0');
  if (end == std::string_view::npos) {
    if (view.empty()) return NotPe(std::string(what) + " lies outside the image's data");
    return NotPe(std::string(what) + (head.size() > kMaxNameLength ? " is too long" : " has no end"));
  }
  text.assign(head.data(), end);
  return Outcome::Done();
}

Outcome Image::ReadExports(std::vector<RawExport>& exports) const {
  exports.clear();
  if (exportRva_ == 0 || exportSize_ == 0)
    return Outcome::NotImportLibrary("a PE image that exports nothing");
  std::string_view dirBytes;
  if (Outcome o = Range(exportRva_, ExportDirectory::kSize, "the export directory", dirBytes); !o) return o;
  const auto* d = reinterpret_cast<const std::uint8_t*>(dirBytes.data());
  ExportDirectory dir{};
  dir.OrdinalBase = FIELD32(d, ExportDirectory, OrdinalBase);
  dir.NumberOfFunctions = FIELD32(d, ExportDirectory, NumberOfFunctions);
  dir.NumberOfNames = FIELD32(d, ExportDirectory, NumberOfNames);
  dir.AddressOfFunctions = FIELD32(d, ExportDirectory, AddressOfFunctions);
  dir.AddressOfNames = FIELD32(d, ExportDirectory, AddressOfNames);
  dir.AddressOfNameOrdinals = FIELD32(d, ExportDirectory, AddressOfNameOrdinals);

  if (dir.NumberOfFunctions > kMaxExports || dir.NumberOfNames > kMaxExports)
    return NotPe("the export directory claims " + std::to_string(std::max(dir.NumberOfFunctions, dir.NumberOfNames)) +
                 " exports");
  if (dir.NumberOfFunctions != 0 &&
      std::uint64_t{dir.OrdinalBase} + dir.NumberOfFunctions - 1 > 0xFFFF)
    return NotPe("export ordinals go past 65535");

  constexpr std::size_t kAddress = ExportDirectory::kAddressSize;
  constexpr std::size_t kIndex = ExportDirectory::kIndexSize;
  const std::uint64_t functionsSize = std::uint64_t{dir.NumberOfFunctions} * kAddress;
  const std::uint64_t namesSize = std::uint64_t{dir.NumberOfNames} * kAddress;
  const std::uint64_t ordinalsSize = std::uint64_t{dir.NumberOfNames} * kIndex;
  std::string_view functions, names, ordinals;
  if (Outcome o = Range(dir.AddressOfFunctions, functionsSize, "the export address table", functions); !o)
    return o;
  if (Outcome o = Range(dir.AddressOfNames, namesSize, "the export name table", names); !o) return o;
  if (Outcome o = Range(dir.AddressOfNameOrdinals, ordinalsSize, "the export ordinal table", ordinals); !o)
    return o;
  const Span spans[] = {
      {exportRva_, exportRva_ + std::uint64_t{ExportDirectory::kSize}},
      {dir.AddressOfFunctions, dir.AddressOfFunctions + functionsSize},
      {dir.AddressOfNames, dir.AddressOfNames + namesSize},
      {dir.AddressOfNameOrdinals, dir.AddressOfNameOrdinals + ordinalsSize},
  };
  for (std::size_t i = 0; i < std::size(spans); ++i)
    for (std::size_t j = i + 1; j < std::size(spans); ++j)
      if (spans[i].Overlaps(spans[j])) return NotPe("the export tables overlap");

  const std::uint64_t forwardBegin = exportRva_;
  const std::uint64_t forwardEnd = forwardBegin + exportSize_;
  auto make = [&](std::uint32_t index, RawExport& e) -> Outcome {
    e.Ordinal = static_cast<std::uint16_t>(dir.OrdinalBase + index);
    e.Rva = Le32(functions, std::size_t{index} * kAddress);
    if (e.Rva >= forwardBegin && e.Rva < forwardEnd)
      return ReadString(e.Rva, "a forwarder's target", e.ForwardTo);
    return Outcome::Done();
  };

  std::vector<bool> named(dir.NumberOfFunctions, false);
  exports.reserve(std::max(dir.NumberOfFunctions, dir.NumberOfNames));
  for (std::uint32_t i = 0; i < dir.NumberOfNames; ++i) {
    const std::uint16_t index = Le16(ordinals, std::size_t{i} * kIndex);
    if (index >= dir.NumberOfFunctions) return NotPe("an export name refers past the export address table");
    RawExport e;
    if (Outcome o = make(index, e); !o) return o;
    if (Outcome o = ReadString(Le32(names, std::size_t{i} * kAddress), "an export name", e.Name); !o) return o;
    if (e.Name.empty()) return NotPe("an export name is empty");
    named[index] = true;
    if (e.Rva != 0) exports.push_back(std::move(e));
  }
  for (std::uint32_t index = 0; index < dir.NumberOfFunctions; ++index) {
    if (named[index] || Le32(functions, std::size_t{index} * kAddress) == 0) continue;  // a gap in the ordinals
    RawExport e;
    if (Outcome o = make(index, e); !o) return o;
    exports.push_back(std::move(e));
  }
  std::stable_sort(exports.begin(), exports.end(),
                   [](const RawExport& a, const RawExport& b) { return a.Ordinal < b.Ordinal; });
  return Outcome::Done();
}

#undef FIELD32
#undef FIELD16

}  // namespace pe
