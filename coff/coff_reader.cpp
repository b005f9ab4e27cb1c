// Reads the export list of a COFF import library from its first linker
// member: the symbol count, the member offsets, then the symbol names; and,
// in an ARM64EC or ARM64X library, from its EC symbol table too.
// Every import, code or data, has an "__imp_" name there, whatever the
// producer and whatever order it puts the names in, so those names alone
// make the list, in the member's order. How each import binds (which DLL,
// by which name or ordinal, code or data) comes from the member its offset
// points at.
//
// The file is read whole into memory first: every offset and count in it
// is then checked against its real size before use.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "coff/archive_reader.h"
#include "coff/coff.h"
#include "model/ec_names.h"
#include "coff/import_member_reader.h"
#include "model/dll_names.h"
#include "model/file_bytes.h"
#include "model/hybrid_views.h"
#include "model/machine.h"
#include "model/machine_change.h"
#include "model/microsoft_symbol.h"
#include "platform/file_api.h"

using namespace coff;
using namespace coff::parse;

namespace {

// Names that only the machinery of an import library carries: its import
// descriptor and null thunk (short format), its head and tail objects
// (long format). With one of them, a library without imports is still an
// import library, of no function.
bool IsImportMachinery(std::string_view name) {
  return name.starts_with(coff::kImportDescriptorPrefix) || name == coff::kNullImportDescriptor ||
         (name.starts_with(coff::kNullThunkLead) && name.ends_with(coff::kNullThunkSuffix)) ||
         name.starts_with(coff::kGnuHeadPrefix) || name.starts_with(coff::kDelayDescriptorPrefix) ||
         (name.starts_with('_') && name.ends_with(coff::kGnuDllNameSuffix));
}

// The archive's members that are neither its indexes nor short imports.
std::uint64_t ObjectModules(ByteView file) {
  std::uint64_t objects = 0;
  std::uint64_t at = kArchiveSignature.size();
  while (const std::optional<Member> m = MemberAt(file, at)) {
    const bool shortImport =
        m->data.size() >= ImportHeader::kSize && records::Decode<ImportHeader>(m->data.data()).Signed();
    if (!IsSpecialMemberName(m->header.Name()) && !shortImport) ++objects;
    if (!m->sizeKnown) break;
    at = m->next;
  }
  return objects;
}

// What an archive without imports holds: object modules (a static
// library), or nothing.
Outcome WithoutImports(ByteView file, const std::vector<std::string_view>& names) {
  if (std::any_of(names.begin(), names.end(), IsImportMachinery)) return Outcome::Done();
  if (const std::uint64_t objects = ObjectModules(file); objects > 0)
    return Outcome::StaticLibrary(objects);
  return Outcome::NotImportLibrary("an empty archive");
}

// The indices of the import names among the names. A symbol that itself
// begins with "__imp_" is no import name: it sits next to its own import
// name "__imp___imp_...", just before it (our libraries, Microsoft's) or
// just after it (llvm-dlltool's). Each import name vouches for one symbol
// only.
std::vector<std::size_t> ImportNames(const std::vector<std::string_view>& names) {
  std::vector<bool> prefixed(names.size(), false);
  for (std::size_t i = 0; i < names.size(); ++i) prefixed[i] = names[i].starts_with(kImportPrefix);
  std::vector<bool> isSymbol(names.size(), false);
  std::vector<bool> vouched(names.size(), false);
  auto importNameOf = [&](std::size_t i, std::size_t j) {
    const std::string_view s = names[i];
    const std::string_view t = names[j];
    return !vouched[j] && prefixed[j] && t.size() == s.size() + kImportPrefix.size() &&
           t.substr(kImportPrefix.size()) == s;
  };
  for (int pass = 0; pass < 2; ++pass) {
    for (std::size_t i = 0; i < names.size(); ++i) {
      if (isSymbol[i] || !prefixed[i]) continue;
      const bool before = pass == 0 && i + 1 < names.size() && importNameOf(i, i + 1);
      const bool after = pass == 1 && i > 0 && importNameOf(i, i - 1);
      if (before || after) {
        isSymbol[i] = true;
        vouched[before ? i + 1 : i - 1] = true;
      }
    }
  }
  std::vector<std::size_t> imports;
  for (std::size_t i = 0; i < names.size(); ++i)
    if (!isSymbol[i] && prefixed[i]) imports.push_back(i);
  return imports;
}

// A member's file name: its header's, or from the long-name member for a
// "/123" name; without the trailing "/" of the GNU form.
std::string MemberName(ByteView file, std::uint64_t at) {
  const std::optional<Member> m = MemberAt(file, at);
  if (!m) return {};
  std::string_view name = m->header.Name();
  if (name.size() > 1 && name.front() == '/' && name[1] >= '0' && name[1] <= '9') {
    std::uint64_t offset = 0;
    for (char c : name.substr(1)) {
      if (c < '0' || c > '9') return std::string(name);
      offset = offset * 10 + static_cast<std::uint64_t>(c - '0');
      if (offset > file.size()) return std::string(name);
    }
    for (std::uint64_t scan = kArchiveSignature.size(); const std::optional<Member> s = MemberAt(file, scan);) {
      if (s->header.Name() == kLongNamesMemberName) {
        if (offset >= s->data.size()) break;
        const std::string_view table(reinterpret_cast<const char*>(s->data.data()) + offset,
                                     s->data.size() - offset);
        // GNU ends a long name with "/\n", Microsoft with a zero.
        return std::string(table.substr(0, table.find_first_of(std::string_view("/\n\0", 3))));
      }
      if (!IsSpecialMemberName(s->header.Name()) || !s->sizeKnown) break;
      scan = s->next;
    }
    return std::string(name);
  }
  if (name.size() > 1 && name.back() == '/') name.remove_suffix(1);
  return std::string(name);
}

// A member's place among the archive's members, from 1, the indexes not
// counted (as librarians list them); 0 when no walk from the start lands
// on it.
std::uint64_t MemberNumber(ByteView file, std::uint64_t memberAt) {
  std::uint64_t number = 0;
  std::uint64_t at = kArchiveSignature.size();
  while (const std::optional<Member> m = MemberAt(file, at)) {
    if (!IsSpecialMemberName(m->header.Name())) ++number;
    if (at == memberAt) return number;
    if (!m->sizeKnown || m->next <= at) break;
    at = m->next;
  }
  return 0;
}

// The refusal of a library for one member no linker could act on.
Outcome Damaged(ByteView file, const DamagedMember& damaged, std::uint64_t entries) {
  const std::uint64_t number = MemberNumber(file, damaged.memberAt);
  std::string what = (number != 0 ? "member " + std::to_string(number)
                                  : "the member at offset " + std::to_string(damaged.memberAt)) +
                     ", the short import of " + std::string(damaged.symbol) + ", " + damaged.what;
  if (damaged.cutShort) return Outcome::CutShort(entries, std::move(what));
  return Outcome::Refused(std::move(what));
}

// The machine of the imports: the one their members share, or ARM64X for
// a hybrid library's ARM64 and ARM64EC imports. Members of any other two
// machines make no library a linker could use for either.
Outcome MachineOf(const std::vector<ImportRequest>& requests, Machine& machine) {
  machine = Machine::Unknown;
  for (const ImportRequest& r : requests) {
    if (!r.isImport || r.machine == Machine::Unknown || r.machine == machine) continue;
    if (machine == Machine::Unknown) {
      machine = r.machine;
      continue;
    }
    const auto hybrid = [](Machine m) {
      return m == Machine::Arm64 || m == Machine::Arm64ec ||
             m == Machine::Arm64x;
    };
    if (!hybrid(machine) || !hybrid(r.machine))
      return Outcome::Refused("imports for " + MachineName(machine) + " and for " + MachineName(r.machine) +
                              " in one library");
    machine = Machine::Arm64x;
  }
  return Outcome::Done();
}

// The symbols of an ARM64EC or ARM64X library's EC symbol table that the
// first linker member does not hold, each with its member's offset (the
// table names members by their place in the second linker member's member
// table). An ARM64EC code import is named four times there; its "__imp_aux_"
// pointer, at the same member as its "__imp_" one, is left out so that
// each import has one import name. `hybrid`: some import name is in both
// tables, for different members: a native ARM64 import beside its
// ARM64EC twin; both are kept, each for its own view.
struct EcSymbols {
  std::vector<std::string_view> names;
  std::vector<std::uint32_t> offsets;
  bool cutShort = false;
  bool hybrid = false;
};

EcSymbols ReadEcSymbols(ByteView file, std::uint64_t at, const std::vector<std::string_view>& names,
                        ByteView offsets) {
  EcSymbols ec;
  ByteView memberTable;
  std::optional<ByteView> table;
  while (const std::optional<Member> m = MemberAt(file, at)) {
    const std::string_view name = m->header.Name();
    if (!IsSpecialMemberName(name)) break;
    if (name == kLinkerMemberName) memberTable = m->data;
    if (name == kEcSymbolsMemberName) table = m->data;
    if (!m->sizeKnown) break;
    at = m->next;
  }
  if (!table) return ec;
  const auto damaged = [&ec]() {
    ec.cutShort = true;
    return ec;
  };
  if (memberTable.size() < kLinkerNumberSize || table->size() < kLinkerNumberSize) return damaged();
  const std::uint64_t members = records::LoadLittle<std::uint32_t>(memberTable.data());
  if (kLinkerNumberSize * (members + 1) > memberTable.size()) return damaged();
  const std::uint64_t count = records::LoadLittle<std::uint32_t>(table->data());
  std::uint64_t nameAt = kLinkerNumberSize + kLinkerIndexSize * count;
  if (nameAt > table->size()) return damaged();

  std::unordered_map<std::string_view, std::uint32_t> native;
  native.reserve(names.size());
  for (std::size_t i = 0; i < names.size(); ++i)
    native.emplace(names[i], records::LoadBig32(offsets.data() + i * kLinkerNumberSize));
  std::unordered_map<std::string_view, std::uint32_t> own;
  std::vector<std::pair<std::string_view, std::uint32_t>> read;
  read.reserve(std::min<std::uint64_t>(count, (table->size() - nameAt) / 2));
  for (std::uint64_t i = 0; i < count; ++i) {
    const std::optional<std::string_view> name = ZStringAt(*table, nameAt);
    const std::uint16_t index =
        records::LoadLittle<std::uint16_t>(table->data() + kLinkerNumberSize + kLinkerIndexSize * i);
    if (!name || name->empty() || index == 0 || index > members) return damaged();
    nameAt += name->size() + 1;
    const std::uint32_t memberAt =
        records::LoadLittle<std::uint32_t>(memberTable.data() + kLinkerNumberSize * index);
    own.emplace(*name, memberAt);
    read.emplace_back(*name, memberAt);
  }
  for (const auto& [name, memberAt] : read) {
    if (const auto twin = native.find(name); twin != native.end()) {
      // An import name in both tables for two members: the ARM64EC import
      // of a hybrid library beside its native twin. Both views keep theirs.
      if (twin->second == memberAt || !name.starts_with(kImportPrefix)) continue;
      ec.hybrid = true;
    }
    if (name.starts_with(kImportAuxPrefix)) {
      const std::string plain = std::string(kImportPrefix) + std::string(name.substr(kImportAuxPrefix.size()));
      if (const auto it = own.find(plain); it != own.end() && it->second == memberAt) continue;
    }
    ec.names.push_back(name);
    ec.offsets.push_back(memberAt);
  }
  return ec;
}

// A hybrid library's imports, each marked with its view and hint, in the
// order of their members: the EC symbol table is sorted by name, and the members
// keep the order each view was written in.
void InMemberOrder(TTableau<TFonctionLib>& list, std::vector<ImportRequest>& requests) {
  std::vector<std::size_t> order(requests.size());
  for (std::size_t k = 0; k < order.size(); ++k) order[k] = k;
  std::stable_sort(order.begin(), order.end(), [&requests](std::size_t a, std::size_t b) {
    return requests[a].memberAt < requests[b].memberAt;
  });
  std::vector<TFonctionLib> entries;
  std::vector<ImportRequest> sorted;
  entries.reserve(order.size());
  sorted.reserve(order.size());
  for (std::size_t k : order) {
    TFonctionLib& entry = list.Item(static_cast<std::uint32_t>(k));
    entry.Import.View = requests[k].machine == Machine::Arm64ec ? HybridView::Arm64ec : HybridView::Arm64;
    // The hint a hybrid library's import by name carries is the ordinal
    // its .def gave (0 when none), as it is written back.
    if (!entry.Import.ByOrdinal) entry.Import.Ordinal = requests[k].hint;
    entries.push_back(std::move(entry));
    sorted.push_back(requests[k]);
  }
  for (std::size_t k = 0; k < order.size(); ++k) {
    list.Item(static_cast<std::uint32_t>(k)) = std::move(entries[k]);
    sorted[k].binding = &list.Item(static_cast<std::uint32_t>(k)).Import;
  }
  requests = std::move(sorted);
}

// A hybrid library's list, its two views joined: a function both import
// alike becomes one entry.
void JoinHybrid(ExportList& list) {
  ExportList views[2];
  for (std::uint32_t i = 0; i < list.Fonctions.Count; ++i) {
    TFonctionLib& entry = list.Fonctions.Item(i);
    TTableau<TFonctionLib>& to = views[entry.Import.View == HybridView::Arm64ec ? 0 : 1].Fonctions;
    to.Item(to.Count) = std::move(entry);
  }
  ExportList joined;
  JoinViews(views[0], views[1], joined);
  list.Fonctions.Swap(joined.Fonctions);
}

// LLVM's librarians import an export that another import of the library
// already reaches through a weak alias of that import's symbols: the
// alias binds as its target does, under its own symbol. An alias of an
// alias is not followed: no librarian writes one.
void ReadWeakAliases(ByteView file, std::vector<ImportRequest>& requests) {
  // Each member that is no import, and the import symbol it aliases.
  std::vector<std::pair<ImportRequest*, std::string_view>> aliases;
  std::string slot;
  // One budget for the whole pass, linear in the file's size, however many
  // members claim one large symbol table.
  WorkBudget budget(4 * std::uint64_t{file.size()} + 4096);
  for (ImportRequest& r : requests) {
    if (r.isImport) continue;
    const std::optional<Member> member = MemberAt(file, r.memberAt);
    if (!member) continue;
    ObjectView object;
    // An alias object is a header and a handful of symbols.
    constexpr std::uint32_t kAliasSymbols = 8;
    if (!object.Open(member->data, budget) || object.SymbolCount() > kAliasSymbols) continue;
    slot.assign(kImportPrefix).append(r.symbol);
    std::string_view target;
    object.ForEachSymbol([&](std::uint32_t i, const Symbol& s) {
      if (s.storageClass != kClassWeakExternal || s.numberOfAuxSymbols == 0 || i + 1 >= object.SymbolCount() ||
          object.SymbolName(i) != slot)
        return;
      // The auxiliary record starts with the index of the symbol it stands for.
      const std::uint32_t tag = records::LoadLittle<std::uint32_t>(object.SymbolAt(i + 1).name.data());
      if (tag < object.SymbolCount()) target = object.SymbolName(tag);
    });
    if (target.starts_with(kImportPrefix)) aliases.emplace_back(&r, target.substr(kImportPrefix.size()));
  }
  if (aliases.empty()) return;
  std::unordered_map<std::string_view, const ImportRequest*> targets;
  for (const auto& alias : aliases) targets.emplace(alias.second, nullptr);
  for (const ImportRequest& r : requests)
    if (r.isImport)
      if (const auto it = targets.find(r.symbol); it != targets.end() && it->second == nullptr) it->second = &r;
  for (const auto& [alias, name] : aliases) {
    const ImportRequest* to = targets[name];
    if (to == nullptr) continue;
    const ImportBinding& from = *to->binding;
    ImportBinding& b = *alias->binding;
    b.Dll = from.Dll;
    b.ExportName = from.ExportName;
    b.ByOrdinal = from.ByOrdinal;
    b.NoName = from.NoName;
    b.Ordinal = from.Ordinal;
    b.Kind = from.Kind;
    b.Delayed = from.Delayed;
    alias->isImport = true;
    alias->notImport = false;
    alias->machine = to->machine;
    alias->hint = to->hint;
    alias->gnuObject = to->gnuObject;
  }
}

Outcome ReadArchive(ByteView file, TTableau<TFonctionLib>& list, Machine& machine, bool& gnuForm,
                    std::vector<std::string>& leftOut) {
  if (file.empty()) return Outcome::NotImportLibrary("an empty file");
  const std::string_view head(reinterpret_cast<const char*>(file.data()),
                              std::min(file.size(), kArchiveSignature.size()));
  if (head != kArchiveSignature) return Outcome::NotImportLibrary("no archive signature");
  if (file.size() == kArchiveSignature.size()) return Outcome::NotImportLibrary("an empty archive");

  const std::optional<Member> linker = MemberAt(file, kArchiveSignature.size());
  if (!linker) return Outcome::CutShort(0);
  // Hand-made archives may leave the first member's name blank; nothing
  // but the linker member can be meant by that.
  if (!linker->header.Name().empty() && linker->header.Name() != "/")
    return Outcome::NotImportLibrary("an archive without a symbol index");
  const ByteView data = linker->data;
  if (data.size() < kLinkerNumberSize) return Outcome::CutShort(0);
  const std::uint32_t count = records::LoadBig32(data.data());
  const std::uint64_t namesAt = kLinkerNumberSize + std::uint64_t{count} * kLinkerNumberSize;
  if (namesAt > data.size()) return Outcome::CutShort(0);
  ByteView offsets = data.subspan(kLinkerNumberSize, static_cast<std::size_t>(namesAt) - kLinkerNumberSize);

  // The names, read whole first: whether a name is an import name can
  // depend on a name further on. Each takes two bytes at least, so the
  // bytes left bound the count.
  std::vector<std::string_view> names;
  names.reserve(std::min<std::uint64_t>(count, (data.size() - namesAt) / 2));
  bool cutShort = false;
  std::uint64_t at = namesAt;
  for (std::uint32_t i = 0; i < count; ++i) {
    const std::optional<std::string_view> name = ZStringAt(data, at);
    if (!name || name->empty()) {  // the string table runs out
      cutShort = true;
      break;
    }
    names.push_back(*name);
    at += name->size() + 1;
  }
  // The EC symbols join the first linker member's, with their offsets in
  // its form, so that everything below reads one index.
  const EcSymbols ec =
      linker->sizeKnown ? ReadEcSymbols(file, linker->next, names, offsets.first(names.size() * kLinkerNumberSize))
                        : EcSymbols{};
  std::vector<std::uint8_t> joinedOffsets;
  if (!ec.names.empty()) {
    joinedOffsets.assign(offsets.begin(), offsets.begin() + names.size() * kLinkerNumberSize);
    joinedOffsets.resize(joinedOffsets.size() + ec.offsets.size() * kLinkerNumberSize);
    for (std::size_t i = 0; i < ec.offsets.size(); ++i)
      records::StoreBig32(joinedOffsets.data() + (names.size() + i) * kLinkerNumberSize, ec.offsets[i]);
    names.insert(names.end(), ec.names.begin(), ec.names.end());
    offsets = ByteView(joinedOffsets);
  }
  cutShort = cutShort || ec.cutShort;

  // The entries first, whole (slots past the count keep an older list's
  // fields), then how each binds, straight into its binding.
  const std::vector<std::size_t> importNames = ImportNames(names);
  if (Outcome room = MakeRoom(list, importNames.size()); !room) return room;
  std::vector<ImportRequest> requests(importNames.size());
  for (std::size_t k = 0; k < importNames.size(); ++k) {
    const std::size_t i = importNames[k];
    TFonctionLib& entry = list.Item(static_cast<std::uint32_t>(k));
    entry = FromClientSymbol(names[i].substr(kImportPrefix.size()));
    requests[k] = {records::LoadBig32(offsets.data() + i * kLinkerNumberSize),
                   names[i].substr(kImportPrefix.size()), &entry.Import};
  }
  if (const std::optional<DamagedMember> damaged = ReadImportBindings(file, names, offsets, requests)) {
    list.Clear();
    return Damaged(file, *damaged, requests.size());
  }
  ReadWeakAliases(file, requests);
  gnuForm = std::any_of(requests.begin(), requests.end(),
                        [](const ImportRequest& r) { return r.isImport && r.gnuObject; });
  if (Outcome mixed = MachineOf(requests, machine); !mixed) {
    list.Clear();
    return mixed;
  }
  if (ec.hybrid && machine == Machine::Arm64) machine = Machine::Arm64x;
  if (machine == Machine::Arm64x) InMemberOrder(list, requests);
  // Off 32-bit Intel a symbol carries no convention: it is the entry's
  // name whole ("Foo@8" stays "Foo@8", "_f" stays "_f").
  if (!Decorates(machine))
    for (std::size_t k = 0; k < requests.size(); ++k) {
      TFonctionLib& entry = list.Item(static_cast<std::uint32_t>(k));
      ImportBinding binding = std::move(entry.Import);
      binding.Symbol.clear();
      entry = FromUndecoratedSymbol(requests[k].symbol);
      entry.Import = std::move(binding);
    }

  // What was read before a missing name stays in the list.
  if (cutShort) return Outcome::CutShort(requests.size());
  // Members past the end: the list is whole, but how those imports bind
  // was lost with the end of the file.
  const auto lost = std::count_if(requests.begin(), requests.end(), [&](const ImportRequest& r) {
    return r.memberAt + MemberHeader::kSize > file.size();
  });
  if (lost > 0)
    return Outcome::CutShort(requests.size(),
                             std::to_string(lost) +
                                 (lost == 1 ? " import's member" : " imports' members") +
                                 " past the end of the file");
  if (requests.empty()) return WithoutImports(file, names);

  // An object that defines an "__imp_" pointer of its own (mingw-w64's CRT
  // libraries have them beside their imports) is no import: it is left
  // out of the list, and named once.
  std::vector<std::uint64_t> objects;
  std::uint32_t kept = 0;
  for (std::size_t k = 0; k < requests.size(); ++k) {
    if (!requests[k].notImport) {
      if (kept != k) list.Item(kept) = std::move(list.Item(static_cast<std::uint32_t>(k)));
      ++kept;
    } else {
      objects.push_back(requests[k].memberAt);
    }
  }
  if (!objects.empty()) {
    std::sort(objects.begin(), objects.end());
    objects.erase(std::unique(objects.begin(), objects.end()), objects.end());
    for (std::uint64_t at : objects) leftOut.push_back(MemberName(file, at));
    list.Count = kept;
    if (kept == 0) {
      leftOut.clear();
      // Members that define "__imp_" names but are no sound object either
      // make no static library: nothing of the archive is usable.
      const std::uint64_t modules = ObjectModules(file);
      if (modules == 0) return Outcome::NotImportLibrary("an archive with no import and no sound object");
      return Outcome::StaticLibrary(modules);
    }
  }
  return Outcome::Done();
}

}  // namespace

namespace coff {

Outcome ReadLibrary(const std::string& fileName, ExportList& list) {
  FileBytes bytes;
  if (Outcome read = ReadFileBytes(fileName, bytes); !read) return read;
  return ReadLibrary(bytes.View(), list);
}

Outcome ReadLibrary(std::span<const std::uint8_t> bytes, ExportList& list) {
  list.Fonctions.Clear();
  list.Dll.clear();
  list.LeftOutObjects.clear();
  Machine machine = Machine::Unknown;
  bool gnuForm = false;
  Outcome outcome = ReadArchive(bytes, list.Fonctions, machine, gnuForm, list.LeftOutObjects);
  list.SourceMachine = outcome ? machine : Machine::Unknown;
  if (machine == Machine::Arm64x) {
    JoinHybrid(list);
    // A function both views import alike is now one entry: a library cut
    // short tells how many entries it kept, not how many imports.
    if (outcome.Kind == OutcomeKind::CutShort) outcome.Count = list.Fonctions.Count;
  }
  list.GnuForm = outcome && gnuForm;
  // The library's DLL: its imports' one DLL, or for a library of
  // descriptors alone, which imports nothing, the one they name.
  if (outcome) {
    list.Dll = SoleDll(list);
    if (list.Fonctions.Count == 0)
      if (const std::vector<std::string> named = NamedDlls(bytes); named.size() == 1) list.Dll = named.front();
  }
  return outcome;
}

std::vector<std::string> NamedDlls(std::span<const std::uint8_t> file) {
  using namespace parse;
  std::vector<std::string> dlls;
  const auto add = [&dlls](std::optional<std::string_view> dll) {
    if (dll && !dll->empty() && std::find(dlls.begin(), dlls.end(), *dll) == dlls.end()) dlls.emplace_back(*dll);
  };
  if (!std::string_view(reinterpret_cast<const char*>(file.data()), file.size()).starts_with(kArchiveSignature))
    return dlls;
  std::uint64_t at = kArchiveSignature.size();
  while (const std::optional<Member> m = MemberAt(file, at)) {
    WorkBudget budget(4 * m->data.size() + 1024);
    ObjectView object;
    if (IsSpecialMemberName(m->header.Name())) {
    } else if (m->data.size() >= ImportHeader::kSize &&
               records::Decode<ImportHeader>(m->data.data()).Signed()) {
      const ByteView names = Slice(m->data, ImportHeader::kSize, m->data.size());
      if (const std::optional<std::string_view> symbol = ZStringAt(names, 0)) add(ZStringAt(names, symbol->size() + 1));
    } else if (object.Open(m->data, budget)) {
      object.ForEachSymbol([&](std::uint32_t i, const Symbol& symbol) {
        const std::string_view name = object.SymbolName(i);
        const SectionHeader* names = object.SectionNamed(kNamesSection);
        const SectionHeader* in = object.SectionOf(symbol);
        if (name.starts_with(kImportDescriptorPrefix) && in && names)
          add(object.TextAt(object.Data(*names), 0));
        else if (name.ends_with(kGnuDllNameSuffix) && in && object.SectionName(*in) == kHeadLinkSection)
          add(object.TextAt(object.Data(*in), symbol.value));
      });
    }
    if (!m->sizeKnown) break;
    at = m->next;
  }
  return dlls;
}

bool StartsAsArchive(const std::string& fileName) {
  HANDLE file = OpenLibraryFile(fileName, true);
  if (file == INVALID_HANDLE_VALUE) return false;
  char head[kArchiveSignature.size()] = {};
  DWORD read = 0;
  ReadFile(file, head, sizeof head, &read, nullptr);
  CloseHandle(file);
  return std::string_view(head, read) == kArchiveSignature;
}

}  // namespace coff
