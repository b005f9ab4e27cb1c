#include "coff/symbol_order.h"

#include <algorithm>
#include <numeric>

namespace coff {

std::vector<std::uint32_t> SymbolSortOrder(const std::vector<std::string>& symbols) {
  std::vector<std::uint32_t> order(symbols.size());
  std::iota(order.begin(), order.end(), 0u);
  std::stable_sort(order.begin(), order.end(), [&symbols](std::uint32_t a, std::uint32_t b) {
    return symbols[a] < symbols[b];
  });
  return order;
}

}  // namespace coff
