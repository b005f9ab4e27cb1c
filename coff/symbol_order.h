// The order of the import members: the entries sorted by the bytes of
// their Microsoft symbols, as linkers compare names.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace coff {

// order[k] is the index in symbols of the one at sorted position k. Equal
// symbols keep their given order.
std::vector<std::uint32_t> SymbolSortOrder(const std::vector<std::string>& symbols);

}  // namespace coff
