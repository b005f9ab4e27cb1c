#include "coff/symbol_order.h"

#include "coff/builder_support.h"
#include "platform/collation.h"

namespace coff {

std::vector<std::int32_t> SymbolSortOrder(TFichierLib& lib) {
  const auto n = static_cast<std::int32_t>(lib.Fonctions.Count);
  std::vector<std::string> symbols;
  symbols.reserve(static_cast<std::size_t>(n));
  for (std::int32_t i = 0; i < n; ++i) symbols.push_back(SymbolOfEntry(lib, i));
  const platform::Collation collation;
  return platform::CollationOrder(symbols, collation);
}

}  // namespace coff
