// The two linker members: the archive's symbol indexes.
#include <algorithm>
#include <numeric>

#include "coff/builder_support.h"

namespace coff {

namespace {

std::size_t NamesSize(const std::vector<IndexedSymbol>& symbols) {
  std::size_t size = 0;
  for (const IndexedSymbol& s : symbols) size += s.name.size() + 1;
  return size;
}

void Append32(MemberBytes& out, std::uint32_t v, bool bigEndian) {
  std::array<std::uint8_t, 4> b{};
  if (bigEndian) StoreBig32(b.data(), v);
  else StoreLittle(b.data(), v);
  AppendRecord(out, b);
}

}  // namespace

std::size_t FirstLinkerSize(const std::vector<IndexedSymbol>& symbols) {
  return 4 * (symbols.size() + 1) + NamesSize(symbols);
}

std::size_t SecondLinkerSize(const std::vector<IndexedSymbol>& symbols, std::size_t members) {
  return 4 * (members + 1) + 4 + 2 * symbols.size() + NamesSize(symbols);
}

// Symbol count, one big-endian offset per symbol, then the names.
MemberBytes FirstLinkerMember(const std::vector<IndexedSymbol>& symbols,
                              const std::vector<std::uint32_t>& memberOffsets) {
  MemberBytes out;
  out.reserve(FirstLinkerSize(symbols));
  Append32(out, Size32(symbols.size()), true);
  for (const IndexedSymbol& s : symbols) Append32(out, memberOffsets[s.member], true);
  for (const IndexedSymbol& s : symbols) AppendName(out, s.name);
  return out;
}

// Member count and offsets, symbol count, 16-bit 1-based member indices and
// the names, all sorted by the names' bytes: the order linkers bisect.
// Equal names keep their given order.
MemberBytes SecondLinkerMember(const std::vector<IndexedSymbol>& symbols,
                               const std::vector<std::uint32_t>& memberOffsets) {
  std::vector<std::uint32_t> order(symbols.size());
  std::iota(order.begin(), order.end(), 0u);
  std::stable_sort(order.begin(), order.end(), [&symbols](std::uint32_t a, std::uint32_t b) {
    return symbols[a].name < symbols[b].name;
  });
  MemberBytes out;
  out.reserve(SecondLinkerSize(symbols, memberOffsets.size()));
  Append32(out, Size32(memberOffsets.size()), false);
  for (std::uint32_t offset : memberOffsets) Append32(out, offset, false);
  Append32(out, Size32(symbols.size()), false);
  for (std::uint32_t i : order) {
    std::array<std::uint8_t, 2> b{};
    StoreLittle(b.data(), static_cast<std::uint16_t>(symbols[i].member + 1));
    AppendRecord(out, b);
  }
  for (std::uint32_t i : order) AppendName(out, symbols[i].name);
  return out;
}

}  // namespace coff
