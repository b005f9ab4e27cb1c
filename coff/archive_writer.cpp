#include "coff/archive_writer.h"

#include <algorithm>
#include <cerrno>
#include <numeric>
#include <unordered_map>

#include "coff/coff_records.h"

namespace coff {

namespace {

// Offsets inside the archive are 32-bit, and seeks signed 32-bit.
constexpr std::uint64_t kMaxArchiveSize = INT32_MAX;
// A name that fits the 16-byte field with its closing "/".
constexpr std::size_t kLongestShortName = 15;

std::uint64_t PaddedSize(std::uint64_t size) { return MemberHeader::kSize + size + (size & 1); }

std::size_t NamesSize(const std::vector<ArchiveSymbol>& symbols) {
  std::size_t size = 0;
  for (const ArchiveSymbol& s : symbols) size += s.name.size() + 1;
  return size;
}

std::size_t FirstLinkerSize(const Archive& a) {
  return kLinkerNumberSize * (a.symbols.size() + 1) + NamesSize(a.symbols);
}

std::size_t SecondLinkerSize(const Archive& a) {
  return kLinkerNumberSize * (a.table.size() + 2) + kLinkerIndexSize * a.symbols.size() +
         NamesSize(a.symbols);
}

void AppendNumber(Bytes& out, std::uint32_t v, bool bigEndian) {
  const std::size_t at = out.size();
  out.resize(at + kLinkerNumberSize);
  if (bigEndian) records::StoreBig32(out.data() + at, v);
  else records::StoreLittle(out.data() + at, v);
}

void AppendName(Bytes& out, std::string_view name) {
  out.insert(out.end(), name.begin(), name.end());
  out.push_back(0);
}

Bytes FirstLinkerMember(const Archive& a, const std::vector<std::uint32_t>& slotOffsets) {
  Bytes out;
  out.reserve(FirstLinkerSize(a));
  AppendNumber(out, static_cast<std::uint32_t>(a.symbols.size()), true);
  for (const ArchiveSymbol& s : a.symbols) AppendNumber(out, slotOffsets[s.slot], true);
  for (const ArchiveSymbol& s : a.symbols) AppendName(out, s.name);
  return out;
}

// The symbol count, each symbol's 1-based member index, and the names,
// all sorted by the names' bytes: the tail of the second linker member,
// and the whole of the EC symbol table.
void AppendSortedIndex(Bytes& out, const std::vector<ArchiveSymbol>& symbols) {
  std::vector<std::string_view> names;
  names.reserve(symbols.size());
  for (const ArchiveSymbol& s : symbols) names.push_back(s.name);
  const std::vector<std::uint32_t> order = ByteOrder(names);
  AppendNumber(out, static_cast<std::uint32_t>(symbols.size()), false);
  for (std::uint32_t i : order) {
    const std::size_t at = out.size();
    out.resize(at + kLinkerIndexSize);
    records::StoreLittle(out.data() + at, static_cast<std::uint16_t>(symbols[i].slot + 1));
  }
  for (std::uint32_t i : order) AppendName(out, names[i]);
}

Bytes SecondLinkerMember(const Archive& a, const std::vector<std::uint32_t>& slotOffsets) {
  Bytes out;
  out.reserve(SecondLinkerSize(a));
  AppendNumber(out, static_cast<std::uint32_t>(slotOffsets.size()), false);
  for (std::uint32_t offset : slotOffsets) AppendNumber(out, offset, false);
  AppendSortedIndex(out, a.symbols);
  return out;
}

std::size_t EcSymbolsSize(const Archive& a) {
  return kLinkerNumberSize + kLinkerIndexSize * a.ecSymbols.size() + NamesSize(a.ecSymbols);
}

// The header name of each member, and the long-names member's data when
// some names are too long for the field.
std::vector<std::string> HeaderNames(const Archive& a, Bytes& longNames) {
  std::vector<std::string> names;
  names.reserve(a.members.size());
  std::unordered_map<std::string_view, std::size_t> offsets;
  for (const ArchiveMember& m : a.members) {
    if (!a.longNames || m.name.size() <= kLongestShortName + 1) {
      names.push_back(m.name);
      continue;
    }
    // A name met before points to its first copy, as LLVM's writer does
    // (every import of a DLL has the DLL's name).
    const auto [known, added] = offsets.try_emplace(m.name, longNames.size());
    names.push_back("/" + std::to_string(known->second));
    if (!added) continue;
    // GNU keeps the name's closing "/" and ends it with a line feed;
    // Microsoft drops the "/" and ends it with a zero.
    const std::string_view name = a.gnu || m.name.back() != '/' ? std::string_view(m.name)
                                                                : std::string_view(m.name).substr(0, m.name.size() - 1);
    longNames.insert(longNames.end(), name.begin(), name.end());
    longNames.push_back(a.gnu ? '\n' : '\0');
  }
  // LLVM's writer counts the long-names member's pad byte as part of it.
  if (a.ownerFields && (longNames.size() & 1)) longNames.push_back('\n');
  return names;
}

void AppendMember(Bytes& out, const MemberHeader& header, const Bytes& data) {
  const std::size_t at = out.size();
  out.resize(at + MemberHeader::kSize);
  records::Encode(header, out.data() + at);
  out.insert(out.end(), data.begin(), data.end());
  if (data.size() & 1) out.push_back(kMemberPad);
}

// owner: "" or "0"; mode: "0" or "644".
void AppendHeader(Bytes& out, std::string_view name, std::int32_t stamp, std::size_t size,
                  std::string_view owner, std::string_view mode) {
  const std::size_t at = out.size();
  out.resize(at + MemberHeader::kSize);
  records::Encode(MemberHeader::For(name, stamp, size, owner, mode), out.data() + at);
}

void AppendMember(Bytes& out, std::string_view name, std::int32_t stamp, const Bytes& data,
                  std::string_view owner = {}, std::string_view mode = "0") {
  AppendHeader(out, name, stamp, data.size(), owner, mode);
  out.insert(out.end(), data.begin(), data.end());
  if (data.size() & 1) out.push_back(kMemberPad);
}

}  // namespace

namespace {

struct SortKey {
  std::uint64_t word;  // eight bytes of the name from the depth sorted at, big-endian
  std::uint32_t index;
};

std::uint64_t WordAt(std::string_view name, std::size_t depth) {
  std::uint64_t word = 0;
  for (std::size_t b = depth; b < depth + 8; ++b)
    word = (word << 8) | (b < name.size() ? static_cast<std::uint8_t>(name[b]) : 0u);
  return word;
}

// Sorts keys whose names share their first depth bytes, eight bytes at a
// time: comparisons of numbers in one array rather than of names spread
// over memory, which is where sorting 200,000 symbols spends its time.
// Names hold no zero byte (the archive ends each with one), so the zeros
// that pad a name's last word sort it before any longer name.
void SortFrom(std::vector<std::string_view> const& names, SortKey* begin, SortKey* end, std::size_t depth) {
  bool longer = false;
  for (SortKey* k = begin; k != end; ++k) {
    k->word = WordAt(names[k->index], depth);
    longer = longer || names[k->index].size() > depth + 8;
  }
  if (!longer) {
    // Every name ends here: names of equal words and size are equal (a
    // shorter one, padded with zeros, comes first); equal names keep
    // their order.
    std::sort(begin, end, [&names](const SortKey& x, const SortKey& y) {
      if (x.word != y.word) return x.word < y.word;
      if (names[x.index].size() != names[y.index].size()) return names[x.index].size() < names[y.index].size();
      return x.index < y.index;
    });
    return;
  }
  std::sort(begin, end, [](const SortKey& x, const SortKey& y) {
    return x.word != y.word ? x.word < y.word : x.index < y.index;
  });
  for (SortKey* run = begin; run != end;) {
    SortKey* next = run + 1;
    while (next != end && next->word == run->word) ++next;
    if (next - run > 1) SortFrom(names, run, next, depth + 8);
    run = next;
  }
}

}  // namespace

std::vector<std::uint32_t> ByteOrder(const std::vector<std::string_view>& names) {
  std::vector<SortKey> keys(names.size());
  for (std::size_t i = 0; i < names.size(); ++i) keys[i].index = static_cast<std::uint32_t>(i);
  SortFrom(names, keys.data(), keys.data() + keys.size(), 0);
  std::vector<std::uint32_t> order(names.size());
  for (std::size_t i = 0; i < keys.size(); ++i) order[i] = keys[i].index;
  return order;
}

Outcome BuildArchive(Archive& a, Bytes& out) {
  Bytes longNames;
  const std::vector<std::string> headerNames = HeaderNames(a, longNames);
  // Past 65535 members the second linker member's 16-bit indices cannot
  // name them; the archive then has the first linker member alone, which
  // linkers read in its place.
  const bool secondLinker = !a.gnu && a.table.size() <= kMaxIndexedMembers;
  // The EC symbol table has no such fallback: its indices are 16-bit only.
  if (!a.ecSymbols.empty() && !secondLinker)
    return Outcome::Refused("an ARM64EC library indexes at most " + std::to_string(kMaxIndexedMembers) +
                            " members, and this one would have " + std::to_string(a.table.size()));

  std::uint64_t at = kArchiveSignature.size() + PaddedSize(FirstLinkerSize(a));
  if (secondLinker) at += PaddedSize(SecondLinkerSize(a));
  if (!longNames.empty()) at += PaddedSize(longNames.size());
  if (!a.ecSymbols.empty()) at += PaddedSize(EcSymbolsSize(a));
  std::vector<std::uint32_t> memberAt(a.members.size());
  for (std::size_t m = 0; m < a.members.size(); ++m) {
    memberAt[m] = static_cast<std::uint32_t>(at);
    at += PaddedSize(a.members[m].data.size());
    if (at > kMaxArchiveSize)
      return Outcome::CannotWrite(EFBIG, "the library would pass the 2 GB an archive can address");
  }
  std::vector<std::uint32_t> slotOffsets(a.table.size());
  for (std::size_t slot = 0; slot < a.table.size(); ++slot) slotOffsets[slot] = memberAt[a.table[slot]];

  out.clear();
  out.reserve(at);
  out.insert(out.end(), kArchiveSignature.begin(), kArchiveSignature.end());
  const std::string_view owner = a.ownerFields ? "0" : "";
  const std::string_view mode = a.ownerFields ? "644" : "0";
  // LLVM's writer counts a symbol table's pad byte, a zero, as part of it.
  const auto index = [&a](Bytes data) {
    if (a.ownerFields && (data.size() & 1)) data.push_back(0);
    return data;
  };
  AppendMember(out, kLinkerMemberName, a.stamp, index(FirstLinkerMember(a, slotOffsets)), owner);
  if (secondLinker)
    AppendMember(out, kLinkerMemberName, a.stamp, index(SecondLinkerMember(a, slotOffsets)), owner);
  if (!longNames.empty()) {
    MemberHeader h = MemberHeader::For(kLongNamesMemberName, a.stamp, longNames.size(), owner);
    // LLVM's writer leaves the long-names header blank but for its name
    // and size.
    if (a.ownerFields) {
      h.date.fill(' ');
      h.userId.fill(' ');
      h.groupId.fill(' ');
      h.mode.fill(' ');
    }
    AppendMember(out, h, longNames);
  }
  if (!a.ecSymbols.empty()) {
    Bytes ec;
    ec.reserve(EcSymbolsSize(a));
    AppendSortedIndex(ec, a.ecSymbols);
    AppendMember(out, kEcSymbolsMemberName, a.stamp, index(std::move(ec)), owner);
  }
  for (std::size_t m = 0; m < a.members.size(); ++m) {
    AppendMember(out, headerNames[m], a.stamp, a.members[m].data, owner, mode);
    Bytes().swap(a.members[m].data);
  }
  return Outcome::Done();
}

}  // namespace coff
