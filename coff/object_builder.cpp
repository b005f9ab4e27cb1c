#include "coff/object_builder.h"

#include <string>

#include "coff/import_members.h"

namespace coff {

Bytes BuildObject(Machine machine, const std::vector<ObjectSection>& sections,
                  const std::vector<ObjectSymbol>& symbols) {
  // Names past 8 bytes go to the string table: a section's as "/" and
  // its offset there in decimal.
  std::vector<std::string_view> strings;
  std::uint32_t stringsSize = kStringTableSizeField;
  auto stringAt = [&](std::string_view name) {
    const std::uint32_t offset = stringsSize;
    stringsSize += Size32(name.size() + 1);
    strings.push_back(name);
    return offset;
  };
  std::uint32_t at = Size32(FileHeader::kSize + sections.size() * SectionHeader::kSize);
  std::vector<SectionHeader> headers;
  headers.reserve(sections.size());
  for (const ObjectSection& s : sections) {
    SectionHeader h;
    h.name = records::Text<SectionHeader::kNameWidth>(
        s.name.size() <= SectionHeader::kNameWidth ? std::string(s.name)
                                                    : "/" + std::to_string(stringAt(s.name)));
    h.sizeOfRawData = Size32(s.data.size());
    h.characteristics = s.characteristics;
    if (!s.data.empty()) {
      h.pointerToRawData = at;
      at += h.sizeOfRawData;
    }
    if (!s.relocations.empty()) {
      h.pointerToRelocations = at;
      h.numberOfRelocations = static_cast<std::uint16_t>(s.relocations.size());
      at += Size32(s.relocations.size() * Relocation::kSize);
    }
    headers.push_back(h);
  }

  Bytes out;
  FileHeader file;
  file.machine = MachineNumber(machine);
  file.numberOfSections = static_cast<std::uint16_t>(sections.size());
  file.pointerToSymbolTable = at;
  file.numberOfSymbols = Size32(symbols.size());
  file.characteristics = machine == Machine::I386 ? coffhdr::k32BitMachine : 0;
  AppendRecord(out, file);
  for (const SectionHeader& h : headers) AppendRecord(out, h);
  for (const ObjectSection& s : sections) {
    AppendBytes(out, s.data.data(), s.data.size());
    for (const Relocation& r : s.relocations) AppendRecord(out, r);
  }
  for (const ObjectSymbol& s : symbols) {
    if (s.name.size() <= 8) AppendRecord(out, Symbol::Short(s.name, s.value, s.section, s.storageClass));
    else AppendRecord(out, Symbol::Long(stringAt(s.name), s.value, s.section, s.storageClass));
  }
  const std::size_t sizeAt = out.size();
  AppendZeros(out, kStringTableSizeField);
  records::StoreLittle(out.data() + sizeAt, stringsSize);
  for (std::string_view s : strings) AppendName(out, s);
  return out;
}

}  // namespace coff
