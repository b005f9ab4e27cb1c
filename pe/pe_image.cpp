#include "pe/pe_image.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <memory>
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

std::uint32_t Le32(std::string_view s, std::size_t at) {
  return records::LoadLittle<std::uint32_t>(reinterpret_cast<const std::uint8_t*>(s.data()) + at);
}
std::uint16_t Le16(std::string_view s, std::size_t at) {
  return records::LoadLittle<std::uint16_t>(reinterpret_cast<const std::uint8_t*>(s.data()) + at);
}

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

Outcome Image::Parse(FileBytes bytes) {
  bytes_ = std::move(bytes);
  sections_.clear();
  const std::span<const std::uint8_t> file = bytes_.View();
  DosHeader dos;
  if (!records::DecodeAt(file, 0, dos) || dos.magic != DosHeader::kMagic) return NotPe("no MZ header");
  const std::uint64_t peAt = dos.newHeaderOffset;
  const std::uint64_t fileHeaderAt = peAt + kPeSignature.size();
  FileHeader header;
  if (!records::DecodeAt(file, fileHeaderAt, header))
    return NotPe("the PE header lies past the end of the file");
  if (std::string_view(reinterpret_cast<const char*>(file.data() + peAt), kPeSignature.size()) != kPeSignature)
    return NotPe("no PE signature");
  machine_ = MachineOfNumber(header.machine);

  const std::uint64_t optionalAt = fileHeaderAt + FileHeader::kSize;
  const std::uint64_t optionalSize = header.sizeOfOptionalHeader;
  if (optionalAt + optionalSize > file.size()) return NotPe("the optional header lies past the end of the file");
  if (optionalSize < sizeof(std::uint16_t)) return NotPe("no optional header");
  const std::uint16_t magic = records::LoadLittle<std::uint16_t>(file.data() + optionalAt);
  std::uint64_t fixedSize = 0;
  std::uint64_t directories = 0;
  std::uint64_t imageBase = 0;
  if (magic == coffhdr::OptionalHeader32::kMagic) {
    coffhdr::OptionalHeader32 optional;
    if (optionalSize < coffhdr::OptionalHeader32::kSize) return NotPe("the optional header is too short");
    records::DecodeAt(file, optionalAt, optional);
    fixedSize = coffhdr::OptionalHeader32::kSize;
    sizeOfHeaders_ = optional.sizeOfHeaders;
    directories = optional.numberOfRvaAndSizes;
  } else if (magic == coffhdr::OptionalHeader64::kMagic) {
    coffhdr::OptionalHeader64 optional;
    if (optionalSize < coffhdr::OptionalHeader64::kSize) return NotPe("the optional header is too short");
    records::DecodeAt(file, optionalAt, optional);
    fixedSize = coffhdr::OptionalHeader64::kSize;
    sizeOfHeaders_ = optional.sizeOfHeaders;
    directories = optional.numberOfRvaAndSizes;
    imageBase = optional.imageBase;
    pe32Plus_ = true;
  } else {
    return NotPe("unknown optional header");
  }
  const std::uint64_t room = (optionalSize - fixedSize) / coffhdr::DataDirectory::kSize;
  const auto directory = [&](std::size_t index) {
    coffhdr::DataDirectory d;
    if (std::min(directories, room) > index)
      records::DecodeAt(file, optionalAt + fixedSize + index * coffhdr::DataDirectory::kSize, d);
    return d;
  };
  const coffhdr::DataDirectory exports = directory(coffhdr::DataDirectory::kExportTable);
  exportRva_ = exports.virtualAddress;
  exportSize_ = exports.size;
  const coffhdr::DataDirectory loadConfig = directory(LoadConfig64Head::kDirectory);

  const std::uint64_t sectionsAt = optionalAt + optionalSize;
  if (sectionsAt + std::uint64_t{header.numberOfSections} * SectionHeader::kSize > file.size())
    return Outcome::CutShort(0, "the section table lies past the end of the file");
  sections_.reserve(header.numberOfSections);
  for (std::uint32_t i = 0; i < header.numberOfSections; ++i)
    sections_.push_back(records::Decode<SectionHeader>(file.data() + sectionsAt +
                                                       std::uint64_t{i} * SectionHeader::kSize));
  // The load configuration names a section by its place in the file's
  // table, which the sort below loses.
  const std::vector<SectionHeader> inFileOrder = sections_;
  // Sorted by address, so that finding an address's section is a search
  // rather than a walk over a table a hostile image can make long.
  std::stable_sort(sections_.begin(), sections_.end(),
                   [](const SectionHeader& a, const SectionHeader& b) {
                     return a.virtualAddress < b.virtualAddress;
                   });

  codePacked_ = false;
  for (const SectionHeader& s : sections_) {
    const bool code = (s.characteristics & (coffhdr::kSectionExecute | coffhdr::kSectionCode)) != 0;
    if (s.NameText().starts_with(kPackerSectionPrefix) || (code && s.sizeOfRawData == 0 && s.virtualSize != 0))
      codePacked_ = true;
  }
  const std::string_view head(reinterpret_cast<const char*>(file.data()),
                              static_cast<std::size_t>(std::min<std::uint64_t>(file.size(), kHeaderSearch)));
  if (head.find(kPackerMark) != std::string_view::npos) codePacked_ = true;

  hybridMetadata_ = false;
  dynamicRelocRva_ = 0;
  const std::string_view config = pe32Plus_ && loadConfig.virtualAddress != 0 ? BytesAt(loadConfig.virtualAddress)
                                                                             : std::string_view();
  const auto* configBytes = reinterpret_cast<const std::uint8_t*>(config.data());
  if (config.size() >= LoadConfig64Head::kSize) {
    const auto head64 = records::Decode<LoadConfig64Head>(configBytes);
    hybridMetadata_ = head64.size >= LoadConfig64Head::kSize && head64.chpeMetadataPointer != 0;
    std::uint64_t table = 0;
    if (hybridMetadata_ && head64.dynamicRelocTable > imageBase) table = head64.dynamicRelocTable - imageBase;
    constexpr std::size_t kEnd = LoadConfig64DynamicRelocs::kAt + LoadConfig64DynamicRelocs::kSize;
    if (hybridMetadata_ && head64.size >= kEnd && config.size() >= kEnd) {
      const auto where = records::Decode<LoadConfig64DynamicRelocs>(configBytes + LoadConfig64DynamicRelocs::kAt);
      if (where.tableSection != 0 && where.tableSection <= inFileOrder.size())
        table = std::uint64_t{inFileOrder[where.tableSection - 1].virtualAddress} + where.tableOffset;
      else if (where.tableSection != 0)
        table = 0;  // a section that is not there: no table to read
    }
    // An address past 4 GiB lies in no image; BytesAt finds nothing at 0.
    if (table <= UINT32_MAX) dynamicRelocRva_ = static_cast<std::uint32_t>(table);
  }
  return Outcome::Done();
}

const SectionHeader* Image::SectionOf(std::uint32_t rva) const {
  auto it = std::upper_bound(sections_.begin(), sections_.end(), rva,
                             [](std::uint32_t value, const SectionHeader& s) {
                               return value < s.virtualAddress;
                             });
  if (it == sections_.begin()) return nullptr;
  const SectionHeader& s = *std::prev(it);
  const std::uint64_t extent = s.virtualSize != 0 ? s.virtualSize : s.sizeOfRawData;
  if (std::uint64_t{rva} - s.virtualAddress >= extent) return nullptr;
  return &s;
}

std::string_view Image::BytesAt(std::uint32_t rva) const {
  const auto* data = reinterpret_cast<const char*>(bytes_.data.get());
  const SectionHeader* s = SectionOf(rva);
  if (s == nullptr) {
    const std::uint64_t end = std::min<std::uint64_t>(sizeOfHeaders_, bytes_.size);
    if (rva < end) return {data + rva, static_cast<std::size_t>(end - rva)};
    return {};
  }
  const std::uint64_t offset = rva - s->virtualAddress;
  std::uint64_t inSection = s->sizeOfRawData;
  if (s->virtualSize != 0) inSection = std::min<std::uint64_t>(inSection, s->virtualSize);
  if (offset >= inSection) return {};
  const std::uint64_t start = std::uint64_t{s->pointerToRawData} + offset;
  const std::uint64_t end = std::min<std::uint64_t>(std::uint64_t{s->pointerToRawData} + inSection, bytes_.size);
  if (start >= end) return {};
  return {data + start, static_cast<std::size_t>(end - start)};
}

bool Image::IsExecutable(std::uint32_t rva) const {
  const SectionHeader* s = SectionOf(rva);
  return s != nullptr && (s->characteristics & (coffhdr::kSectionExecute | coffhdr::kSectionCode)) != 0;
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
  if (s != nullptr && std::uint64_t{rva} - s->virtualAddress + size <= s->sizeOfRawData &&
      std::uint64_t{s->pointerToRawData} + s->sizeOfRawData > bytes_.size)
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
  const ExportDirectory dir =
      records::Decode<ExportDirectory>(reinterpret_cast<const std::uint8_t*>(dirBytes.data()));

  if (dir.numberOfFunctions > kMaxExports || dir.numberOfNames > kMaxExports)
    return NotPe("the export directory claims " + std::to_string(std::max(dir.numberOfFunctions, dir.numberOfNames)) +
                 " exports");
  if (dir.numberOfFunctions != 0 &&
      std::uint64_t{dir.ordinalBase} + dir.numberOfFunctions - 1 > 0xFFFF)
    return NotPe("export ordinals go past 65535");

  constexpr std::size_t kAddress = ExportDirectory::kAddressSize;
  constexpr std::size_t kIndex = ExportDirectory::kIndexSize;
  const std::uint64_t functionsSize = std::uint64_t{dir.numberOfFunctions} * kAddress;
  const std::uint64_t namesSize = std::uint64_t{dir.numberOfNames} * kAddress;
  const std::uint64_t ordinalsSize = std::uint64_t{dir.numberOfNames} * kIndex;
  std::string_view functions, names, ordinals;
  if (Outcome o = Range(dir.addressOfFunctions, functionsSize, "the export address table", functions); !o)
    return o;
  if (Outcome o = Range(dir.addressOfNames, namesSize, "the export name table", names); !o) return o;
  if (Outcome o = Range(dir.addressOfNameOrdinals, ordinalsSize, "the export ordinal table", ordinals); !o)
    return o;
  const Span spans[] = {
      {exportRva_, exportRva_ + std::uint64_t{ExportDirectory::kSize}},
      {dir.addressOfFunctions, dir.addressOfFunctions + functionsSize},
      {dir.addressOfNames, dir.addressOfNames + namesSize},
      {dir.addressOfNameOrdinals, dir.addressOfNameOrdinals + ordinalsSize},
  };
  for (std::size_t i = 0; i < std::size(spans); ++i)
    for (std::size_t j = i + 1; j < std::size(spans); ++j)
      if (spans[i].Overlaps(spans[j])) return NotPe("the export tables overlap");

  const std::uint64_t forwardBegin = exportRva_;
  const std::uint64_t forwardEnd = forwardBegin + exportSize_;
  auto make = [&](std::uint32_t index, RawExport& e) -> Outcome {
    e.Ordinal = static_cast<std::uint16_t>(dir.ordinalBase + index);
    e.Rva = Le32(functions, std::size_t{index} * kAddress);
    if (e.Rva >= forwardBegin && e.Rva < forwardEnd)
      return ReadString(e.Rva, "a forwarder's target", e.ForwardTo);
    return Outcome::Done();
  };

  std::vector<bool> named(dir.numberOfFunctions, false);
  exports.reserve(std::max(dir.numberOfFunctions, dir.numberOfNames));
  for (std::uint32_t i = 0; i < dir.numberOfNames; ++i) {
    const std::uint16_t index = Le16(ordinals, std::size_t{i} * kIndex);
    if (index >= dir.numberOfFunctions) return NotPe("an export name refers past the export address table");
    RawExport e;
    if (Outcome o = make(index, e); !o) return o;
    if (Outcome o = ReadString(Le32(names, std::size_t{i} * kAddress), "an export name", e.Name); !o) return o;
    if (e.Name.empty()) return NotPe("an export name is empty");
    named[index] = true;
    if (e.Rva != 0) exports.push_back(std::move(e));
  }
  for (std::uint32_t index = 0; index < dir.numberOfFunctions; ++index) {
    if (named[index] || Le32(functions, std::size_t{index} * kAddress) == 0) continue;  // a gap in the ordinals
    RawExport e;
    if (Outcome o = make(index, e); !o) return o;
    exports.push_back(std::move(e));
  }
  std::stable_sort(exports.begin(), exports.end(),
                   [](const RawExport& a, const RawExport& b) { return a.Ordinal < b.Ordinal; });
  return Outcome::Done();
}

Outcome Image::ApplyArm64xFixups(std::string_view fixups, std::uint8_t* copy) const {
  const auto* data = reinterpret_cast<const std::uint8_t*>(fixups.data());
  std::size_t at = 0;
  while (at < fixups.size()) {
    if (fixups.size() - at < FixupBlock::kSize) return NotPe("an ARM64X fixup block is cut short");
    const auto block = records::Decode<FixupBlock>(data + at);
    if (block.blockSize < FixupBlock::kSize || block.blockSize > fixups.size() - at)
      return NotPe("an ARM64X fixup block claims " + std::to_string(block.blockSize) + " bytes");
    const std::size_t end = at + block.blockSize;
    std::size_t next = at + FixupBlock::kSize;
    while (end - next >= FixupBlock::kRecordSize) {
      const std::uint16_t record = records::LoadLittle<std::uint16_t>(data + next);
      next += FixupBlock::kRecordSize;
      if (record == 0) break;  // padding to the block's end
      const std::uint64_t rva = std::uint64_t{block.pageRva} + (record & 0xFFF);
      const auto kind = static_cast<Arm64xFixup>((record >> 12) & 3);
      const unsigned high = record >> 14;
      // The loader writes memory; the copy holds what the file holds, and
      // a fixup of bytes the file does not hold (zero-filled space) has
      // nothing to change in it.
      const auto target = [&](std::size_t size) -> std::uint8_t* {
        if (rva > UINT32_MAX) return nullptr;
        const std::string_view there = BytesAt(static_cast<std::uint32_t>(rva));
        if (there.size() < size) return nullptr;
        return copy + (reinterpret_cast<const std::uint8_t*>(there.data()) - bytes_.data.get());
      };
      if (kind == Arm64xFixup::ZeroFill || kind == Arm64xFixup::Value) {
        const std::size_t size = std::size_t{1} << high;
        if (kind == Arm64xFixup::Value && end - next < size) return NotPe("an ARM64X fixup's value is cut short");
        if (std::uint8_t* to = target(size)) {
          if (kind == Arm64xFixup::Value) std::memcpy(to, data + next, size);
          else std::memset(to, 0, size);
        }
        if (kind == Arm64xFixup::Value) next += size;
      } else if (kind == Arm64xFixup::Delta) {
        if (end - next < sizeof(std::uint16_t)) return NotPe("an ARM64X fixup's delta is cut short");
        const std::uint32_t delta = std::uint32_t{records::LoadLittle<std::uint16_t>(data + next)} * ((high & 2) ? 8 : 4);
        next += sizeof(std::uint16_t);
        if (std::uint8_t* to = target(sizeof(std::uint32_t))) {
          const std::uint32_t was = records::LoadLittle<std::uint32_t>(to);
          records::StoreLittle<std::uint32_t>(to, (high & 1) ? was - delta : was + delta);
        }
      } else {
        return NotPe("an ARM64X fixup of unknown kind");
      }
    }
    at = end;
  }
  return Outcome::Done();
}

Outcome Image::Arm64ecView(Image& view) const {
  FileBytes copy;
  copy.data = std::make_unique<std::uint8_t[]>(bytes_.size);
  copy.size = bytes_.size;
  if (bytes_.size != 0) std::memcpy(copy.data.get(), bytes_.data.get(), bytes_.size);
  if (machine_ == Machine::Arm64 && hybridMetadata_ && dynamicRelocRva_ != 0) {
    std::string_view head;
    if (Outcome o = Range(dynamicRelocRva_, DynamicRelocTable::kSize, "the dynamic relocation table", head); !o)
      return o;
    const auto table = records::Decode<DynamicRelocTable>(reinterpret_cast<const std::uint8_t*>(head.data()));
    if (table.version != 1 && table.version != 2)
      return NotPe("a dynamic relocation table of version " + std::to_string(table.version));
    std::string_view whole;
    if (Outcome o = Range(dynamicRelocRva_, std::uint64_t{DynamicRelocTable::kSize} + table.size,
                          "the dynamic relocation table", whole);
        !o)
      return o;
    const std::string_view groups = whole.substr(DynamicRelocTable::kSize);
    const auto* data = reinterpret_cast<const std::uint8_t*>(groups.data());
    std::size_t at = 0;
    while (at < groups.size()) {
      std::uint64_t symbol = 0, headerSize = 0, fixupsSize = 0;
      const std::size_t left = groups.size() - at;
      if (table.version == 1) {
        if (left < DynamicReloc64V1::kSize) return NotPe("a dynamic relocation is cut short");
        const auto group = records::Decode<DynamicReloc64V1>(data + at);
        symbol = group.symbol, headerSize = DynamicReloc64V1::kSize, fixupsSize = group.fixupsSize;
      } else {
        if (left < DynamicReloc64V2::kSize) return NotPe("a dynamic relocation is cut short");
        const auto group = records::Decode<DynamicReloc64V2>(data + at);
        if (group.headerSize < DynamicReloc64V2::kSize) return NotPe("a dynamic relocation's header is too short");
        symbol = group.symbol, headerSize = group.headerSize, fixupsSize = group.fixupsSize;
      }
      if (headerSize + fixupsSize > left) return NotPe("a dynamic relocation lies past its table");
      if (symbol == kArm64xRelocSymbol)
        if (Outcome o = ApplyArm64xFixups(groups.substr(at + headerSize, fixupsSize), copy.data.get()); !o) return o;
      at += headerSize + fixupsSize;
    }
  }
  if (Outcome o = view.Parse(std::move(copy)); !o) return o;
  // The loader maps the sections before it applies the fixups: a fixup of
  // the section table changes nothing of where the bytes lie.
  view.sections_ = sections_;
  view.sizeOfHeaders_ = sizeOfHeaders_;
  return Outcome::Done();
}

}  // namespace pe
