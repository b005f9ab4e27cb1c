// The order of the short import members: the entries sorted by their
// Microsoft symbols in the user's collation.
#pragma once

#include <cstdint>
#include <vector>

#include "model/fichier_lib.h"

namespace coff {

// order[k] is the list index of the entry at sorted position k. Entries
// with equal symbols keep their list order.
std::vector<std::int32_t> SymbolSortOrder(TFichierLib& lib);

}  // namespace coff
