// The two linker members: the archive's symbol indexes. Their numeric
// tables are left as zero room here; the writer fills them once every
// member's file offset is known.
#include "coff/builder_support.h"

using namespace coff;

namespace {

std::int32_t EntryCount(const TFichierLib& lib) {
  return static_cast<std::int32_t>(lib.Fonctions.Count);
}

}  // namespace

// Symbol count, then one offset per symbol: the three objects', then each
// entry's twice, in list order; then the names in the same order.
void TFichierLib::BuildFirstLinkerMember() {
  BufferLength = 0;
  FirstLinkerPos = FilePos;
  const std::int32_t n = EntryCount(*this);
  AppendZeros(*this, sizeof(std::uint32_t) * (2 * static_cast<std::size_t>(n) + 4));
  AppendImportDescriptorName(*this);
  AppendNullDescriptorName(*this);
  AppendNullThunkName(*this);
  for (std::int32_t i = 0; i < n; ++i) {
    const std::string symbol = SymbolOfEntry(*this, i);
    AppendName(*this, symbol);
    AppendImportName(*this, symbol);
  }
}

// Member count and offsets, symbol count, 16-bit member indices; then the
// names: the entries' symbols in sorted order around the fixed ones.
void TFichierLib::BuildSecondLinkerMember() {
  BufferLength = 0;
  SecondLinkerPos = FilePos;
  const std::int32_t n = EntryCount(*this);
  AppendZeros(*this, sizeof(std::uint32_t) * (static_cast<std::size_t>(n) + 5) +
                         sizeof(std::uint16_t) * (2 * static_cast<std::size_t>(n) + 3));
  for (std::int32_t k = 0; k < n; ++k) AppendName(*this, SymbolOfEntry(*this, SortOrder[k]));
  AppendImportDescriptorName(*this);
  AppendNullDescriptorName(*this);
  for (std::int32_t k = 0; k < n; ++k)
    AppendImportName(*this, SymbolOfEntry(*this, SortOrder[k]));
  AppendNullThunkName(*this);
}
