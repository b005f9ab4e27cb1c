// A small COFF object laid out from its sections and symbols: the file
// header, the section headers, each section's data followed by its
// relocations, the symbol table and the string table. GNU's import objects
// are many and small, each a handful of sections; this builds them all
// from the records of coff_records.h, with no time stamp.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "coff/archive_writer.h"
#include "coff/coff_records.h"
#include "model/machine.h"

namespace coff {

struct ObjectSection {
  std::string_view name;  // past 8 bytes: in the string table; outlives BuildObject
  std::uint32_t characteristics = 0;
  Bytes data;  // none: a section of no size, with no data in the file
  std::vector<Relocation> relocations;
};

struct ObjectSymbol {
  std::string name;
  std::int16_t section = kSectionUndefined;  // 1-based
  std::uint32_t value = 0;
  std::uint8_t storageClass = kClassExternal;
};

Bytes BuildObject(Machine machine, const std::vector<ObjectSection>& sections,
                  const std::vector<ObjectSymbol>& symbols);

}  // namespace coff
