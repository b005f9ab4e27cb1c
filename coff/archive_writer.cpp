#include "coff/archive_writer.h"

#include <algorithm>
#include <cerrno>
#include <map>
#include <numeric>

#include "coff/coff_records.h"
#include "model/file_bytes.h"

namespace coff {

namespace {

// Offsets inside the archive are 32-bit, and seeks signed 32-bit.
constexpr std::uint64_t kMaxArchiveSize = INT32_MAX;
// Members are handed to the file in batches of about this size.
constexpr std::size_t kWriteBatch = 1 << 16;
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
  // LLVM's writer names each long name once, however many members carry
  // it; GNU's ar once per member.
  std::map<std::string_view, std::string> written;
  for (const ArchiveMember& m : a.members) {
    if (!a.longNames || m.name.size() <= kLongestShortName + 1) {
      names.push_back(m.name);
      continue;
    }
    if (a.ownerFields) {
      if (const auto it = written.find(m.name); it != written.end()) {
        names.push_back(it->second);
        continue;
      }
      written.emplace(m.name, "/" + std::to_string(longNames.size()));
    }
    names.push_back("/" + std::to_string(longNames.size()));
    if (a.ownerFields) {
      // COFF's own form: the name without its '/', ended by a zero.
      longNames.insert(longNames.end(), m.name.begin(), m.name.end() - (m.name.ends_with('/') ? 1 : 0));
      longNames.push_back(0);
    } else {
      longNames.insert(longNames.end(), m.name.begin(), m.name.end());
      longNames.push_back('\n');
    }
  }
  // LLVM's writer counts the member's pad byte as part of it.
  if (a.ownerFields && (longNames.size() & 1)) longNames.push_back('\n');
  return names;
}

// owner: "" or "0"; mode: "0" or "644". blank: only the name and the
// size, as LLVM's writer heads its long-names member.
void AppendMember(Bytes& out, std::string_view name, std::int32_t stamp, const Bytes& data,
                  std::string_view owner = {}, std::string_view mode = "0", bool blank = false) {
  const std::size_t at = out.size();
  out.resize(at + MemberHeader::kSize);
  MemberHeader header = MemberHeader::For(name, stamp, data.size(), owner, mode);
  if (blank) {
    header.date.fill(' ');
    header.userId.fill(' ');
    header.groupId.fill(' ');
    header.mode.fill(' ');
  }
  records::Encode(header, out.data() + at);
  out.insert(out.end(), data.begin(), data.end());
  if (data.size() & 1) out.push_back(kMemberPad);
}

}  // namespace

std::vector<std::uint32_t> ByteOrder(const std::vector<std::string_view>& names) {
  std::vector<std::uint32_t> order(names.size());
  std::iota(order.begin(), order.end(), 0u);
  std::stable_sort(order.begin(), order.end(),
                   [&names](std::uint32_t x, std::uint32_t y) { return names[x] < names[y]; });
  return order;
}

Outcome WriteArchive(const std::string& fileName, Archive& a) {
  Bytes longNames;
  const std::vector<std::string> headerNames = HeaderNames(a, longNames);
  // Past 65535 members the second linker member's 16-bit indices cannot
  // name them; the archive then has the first linker member alone, which
  // linkers read in its place.
  const bool secondLinker = a.table.size() <= kMaxIndexedMembers;
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

  FileSaver file(fileName);
  if (Outcome opened = file.Opened(); !opened) return opened;
  Bytes out(kArchiveSignature.begin(), kArchiveSignature.end());
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
  if (!longNames.empty())
    AppendMember(out, kLongNamesMemberName, a.stamp, longNames, owner, "0", a.ownerFields);
  if (!a.ecSymbols.empty()) {
    Bytes ec;
    ec.reserve(EcSymbolsSize(a));
    AppendSortedIndex(ec, a.ecSymbols);
    AppendMember(out, kEcSymbolsMemberName, a.stamp, index(std::move(ec)), owner);
  }
  for (std::size_t m = 0; m < a.members.size(); ++m) {
    AppendMember(out, headerNames[m], a.stamp, a.members[m].data, owner, mode);
    Bytes().swap(a.members[m].data);
    if (out.size() >= kWriteBatch) {
      file.Write(out);
      out.clear();
    }
  }
  file.Write(out);
  return file.Commit();
}

}  // namespace coff
