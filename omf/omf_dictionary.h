// The dictionary at the end of an OMF library: every public name with the
// page of the module that defines it, placed by the two-way hash that
// linkers look names up by.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace omf {

// Where a name's search starts and how it steps, for a dictionary of the
// given number of blocks.
struct NameHash {
  std::uint32_t blockStart = 0;
  std::uint32_t blockStep = 1;
  std::uint32_t bucketStart = 0;
  std::uint32_t bucketStep = 1;
};
// name: 1 to 255 bytes.
NameHash HashName(std::string_view name, std::uint32_t blocks);

struct DictionaryName {
  std::string_view name;  // 1 to 255 bytes
  std::uint16_t page;
};

// The dictionary's blocks (a prime number of 512-byte blocks), or nothing
// when even the most blocks a library header can count cannot hold them.
std::optional<std::vector<std::uint8_t>> BuildDictionary(const std::vector<DictionaryName>& names);

}  // namespace omf
