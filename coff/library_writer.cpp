// The COFF import library writer, in three steps: the plan (how each
// entry is imported, and from which DLL), the members (each built as
// bytes), and the archive they make (coff/archive_writer), which lays them
// out with both linker members and writes the file through a safe save:
// until the whole library is written the old file stays as it was.
#include <cerrno>
#include <map>
#include <new>
#include <set>
#include <unordered_set>

#include "coff/coff.h"
#include "model/ec_names.h"
#include "coff/import_members.h"
#include "model/decorated_names.h"
#include "model/dll_names.h"
#include "model/hybrid_views.h"
#include "model/import_lookup.h"
#include "model/machine.h"
#include "platform/clock.h"

namespace coff {

namespace {

bool IsEc(Machine machine) { return machine == Machine::Arm64ec; }

// How the loader finds the export the entry is bound to, from the client's
// symbol S: by ordinal, by a name type that turns S into the export name,
// or, when none does, through a long-format object that names it.
void ChooseLookup(const TFonctionLib& entry, Machine machine, ImportMember& import) {
  const ImportLookup lookup = ChooseImportLookup(entry, machine, import.symbol);
  // What the loader looks up, whatever the member says it with: the GNU
  // writer names it outright, and the proof of the write reads it back.
  import.exportName = LookedUpName(lookup, import.symbol);
  switch (lookup.How) {
    case Reach::Ordinal:
      import.nameType = NameType::Ordinal;
      import.hint = lookup.Ordinal;
      break;
    case Reach::Symbol: import.nameType = NameType::Name; break;
    case Reach::NoPrefix: import.nameType = NameType::NoPrefix; break;
    case Reach::Undecorate: import.nameType = NameType::Undecorate; break;
    case Reach::ExportAs: import.nameType = NameType::ExportAs; break;
    case Reach::OwnObject: import.longForm = true; break;
  }
}

// PlanImports, and in ecFault, when asked, why the first ARM64EC
// function that cannot be imported under its name cannot (EcNameFault).
Plan PlanChecked(TTableau<TFonctionLib>& list, Machine machine, const std::string& defaultDll,
                 std::string* ecFault) {
  Plan plan;
  std::map<std::string, std::size_t> dllIndex;
  // Two DLL names with one base ("a.dll", "a.exe") would define the same
  // descriptor symbol twice, which no linker accepts; the later one is
  // then named after its whole file name.
  std::set<std::string> bases;
  auto dllOf = [&](const std::string& file) {
    auto [it, added] = dllIndex.emplace(file, plan.dlls.size());
    if (added) {
      DllNames names = DllNamesOf(file);
      if (bases.count(names.base)) names.base = file;
      for (std::size_t n = 2; bases.count(names.base); ++n) names.base = file + "#" + std::to_string(n);
      bases.insert(names.base);
      plan.dlls.push_back(names);
    }
    return it->second;
  };
  plan.imports.reserve(list.Count);
  // A hybrid library holds its ARM64EC view's imports, then its ARM64
  // view's, each in list order.
  const bool hybrid = machine == Machine::Arm64x;
  for (const Machine view : hybrid ? std::vector<Machine>{Machine::Arm64ec, Machine::Arm64}
                                   : std::vector<Machine>{machine})
  for (std::uint32_t i = 0; i < list.Count; ++i) {
    const TFonctionLib& entry = list.Item(i);
    if (entry.Import.Private) continue;
    if (hybrid && !InView(entry, view == Machine::Arm64 ? HybridView::Arm64 : HybridView::Arm64ec)) continue;
    ImportMember import;
    import.symbol = std::string(AsCString(MicrosoftName(entry, view)));
    import.machine = view;
    import.hint = entry.Import.Ordinal;
    import.kind = entry.Import.Kind;
    import.delayed = entry.Import.Delayed && import.kind == ImportKind::Code;
    const bool ecCode = IsEc(view) && import.kind == ImportKind::Code;
    const std::string listed = ecCode ? import.symbol : std::string();
    if (ecCode) {
      // Whichever of a function's two names the list holds, the client
      // calls it by the x64 one, and the member names its body.
      import.symbol = EcCallName(import.symbol);
      if (std::string body = EcBodyName(import.symbol); body != import.symbol) import.memberSymbol = std::move(body);
    }
    const std::string dll(AsCString(entry.Import.Dll));
    plan.importDll.push_back(dllOf(dll.empty() ? defaultDll : dll));
    ChooseLookup(entry, view, import);
    // Only a lookup by the name itself needs both names made of it: by
    // ordinal, or by a name written beside it, the name serves as it is.
    if (ecCode && ecFault && ecFault->empty() && (import.exportName == listed || import.exportName == import.symbol))
      if (const std::string why = EcNameFault(listed); !why.empty())
        *ecFault = "ARM64EC function \"" + listed + "\": " + why;
    plan.imports.push_back(std::move(import));
  }
  if (plan.dlls.empty()) dllOf(defaultDll);
  for (std::size_t i = 0; i < plan.imports.size(); ++i)
    plan.imports[i].dll = &plan.dlls[plan.importDll[i]];
  return plan;
}

}  // namespace

Plan PlanImports(TTableau<TFonctionLib>& list, Machine machine, const std::string& defaultDll) {
  return PlanChecked(list, machine, defaultDll, nullptr);
}

namespace {

// The first DLL's descriptor, the null import descriptor and the first
// DLL's null thunk, then each other DLL's descriptor and null thunk, with
// their symbols in the first linker member.
// lean: in the shape of LLVM's librarian.
void AddFixedObjects(const Plan& plan, Machine machine, std::int32_t stamp, Archive& a, bool lean = false) {
  auto add = [&](std::size_t dll, Bytes data) {
    a.members.push_back({plan.dlls[dll].file + "/", std::move(data)});
    a.table.push_back(static_cast<std::uint32_t>(a.members.size() - 1));
    return static_cast<std::uint32_t>(a.table.size() - 1);
  };
  for (std::size_t d = 0; d < plan.dlls.size(); ++d) {
    const DllNames& dll = plan.dlls[d];
    a.symbols.push_back({ImportDescriptorSymbol(dll), add(d, lean ? LeanImportDescriptorObject(dll, stamp, machine)
                                                                  : ImportDescriptorObject(dll, stamp, machine))});
    if (d == 0)
      a.symbols.push_back({std::string(kNullImportDescriptor),
                           add(0, lean ? LeanNullImportDescriptorObject(stamp, machine)
                                       : NullImportDescriptorObject(dll, stamp, machine))});
    a.symbols.push_back({NullThunkSymbol(dll), add(d, lean ? LeanNullThunkObject(dll, stamp, machine)
                                                           : NullThunkObject(dll, stamp, machine))});
  }
}

// The members and the indexes' symbols. The fixed objects come first: the
// first DLL's descriptor, the null import descriptor and the first DLL's
// null thunk, then each other DLL's descriptor and null thunk; then the
// imports in the byte order of their symbols. The member table holds the
// fixed objects, then each import in list order, and each import gives its
// symbol (code only) and its "__imp_" symbol.
//
// ARM64EC: the fixed objects are ARM64 code, as in a native library, and
// their symbols are in both tables; the imports' symbols are in the EC
// table only. A code import gives its body's name, its x64 name, its
// "__imp_" pointer and the "__imp_aux_" pointer x64 code calls through.
//
// ARM64X: the fixed objects as for ARM64EC; then the imports in plan order
// (the ARM64EC view's, then the ARM64 view's), each with the hint its
// entry's ordinal gives, each view's symbols in its own table, the
// "__imp_" symbol before the function's: as llvm-lib lays them out, so
// that both make the same bytes.
// A library of one machine in LLVM's layout (PeerLayout) is laid out the
// same way, the fixed objects of its own machine, one view.
Archive HybridMembers(Plan& plan, std::int32_t stamp, Machine machine = Machine::Arm64x) {
  Archive a;
  a.stamp = stamp;
  a.ownerFields = true;
  // A DLL name past 15 bytes is named whole, in the long-names member.
  a.longNames = true;
  const bool ecTable = machine == Machine::Arm64x || IsEc(machine);
  AddFixedObjects(plan, ecTable ? Machine::Arm64 : machine, stamp, a, true);
  if (ecTable) a.ecSymbols = a.symbols;
  // Room for everything at once, as below.
  a.members.reserve(a.members.size() + plan.imports.size());
  a.table.reserve(a.table.size() + plan.imports.size());
  (ecTable ? a.ecSymbols : a.symbols).reserve(a.symbols.size() + 4 * plan.imports.size());
  for (std::size_t i = 0; i < plan.imports.size(); ++i) {
    const ImportMember& import = plan.imports[i];
    if (!import.aliasOf.empty()) {
      // A data import has no code symbol to alias.
      const auto addAlias = [&](const std::string& weak, const std::string& target) {
        a.members.push_back({plan.dlls[plan.importDll[i]].file + "/", WeakAliasObject(weak, target, import.machine)});
        a.table.push_back(static_cast<std::uint32_t>(a.members.size() - 1));
        a.symbols.push_back({weak, static_cast<std::uint32_t>(a.table.size() - 1)});
      };
      if (import.kind != ImportKind::Data) addAlias(import.symbol, import.aliasOf);
      addAlias(ImportSymbol(import.symbol), ImportSymbol(import.aliasOf));
      continue;
    }
    a.members.push_back({plan.dlls[plan.importDll[i]].file + "/",
                         import.longForm ? LongImportObject(import, stamp) : ShortImportObject(import, stamp)});
    const auto slot = static_cast<std::uint32_t>(a.table.size());
    a.table.push_back(static_cast<std::uint32_t>(a.members.size() - 1));
    const bool ec = IsEc(import.machine);
    // LLVM's archive writer indexes a constant's names as a function's,
    // as its short member declares them.
    const bool named = import.kind != ImportKind::Data;
    std::vector<ArchiveSymbol>& symbols = ec ? a.ecSymbols : a.symbols;
    symbols.push_back({ImportSymbol(import.symbol), slot});
    if (named) symbols.push_back({import.symbol, slot});
    if (ec && named) symbols.push_back({std::string(kImportAuxPrefix) + import.symbol, slot});
    if (ec && !import.memberSymbol.empty()) symbols.push_back({import.memberSymbol, slot});
  }
  // LLVM's archive writer indexes a name once, at the first member that
  // defines it (a .def may list an export twice).
  for (std::vector<ArchiveSymbol>* table : {&a.symbols, &a.ecSymbols}) {
    // Which to keep, told before anything moves: the set views the names.
    std::vector<char> keep(table->size());
    bool twice = false;
    {
      std::unordered_set<std::string_view> seen;
      seen.reserve(table->size());
      for (std::size_t k = 0; k < table->size(); ++k) {
        keep[k] = seen.insert((*table)[k].name).second;
        twice = twice || !keep[k];
      }
    }
    if (!twice) continue;
    std::size_t kept = 0;
    for (std::size_t k = 0; k < table->size(); ++k) {
      if (!keep[k]) continue;
      if (kept != k) (*table)[kept] = std::move((*table)[k]);
      ++kept;
    }
    table->resize(kept);
  }
  return a;
}

Archive Members(Plan& plan, Machine machine, std::int32_t stamp, CoffLayout layout) {
  if (layout == CoffLayout::Peer) {
    // LLVM's librarians reach an export the symbol's own name does not
    // give with the export-as name type (off 32-bit Intel, the only other
    // rule they use), where ours prefers the older rules or an object of
    // its own that every linker reads.
    // They write those after all the others, in list order (ARM64EC
    // uses export-as everywhere and defers none).
    std::vector<std::size_t> order, deferred;
    for (std::size_t i = 0; i < plan.imports.size(); ++i) {
      ImportMember& import = plan.imports[i];
      if (import.longForm || (machine != Machine::I386 && (import.nameType == NameType::NoPrefix ||
                                                           import.nameType == NameType::Undecorate))) {
        if (import.exportName.empty())
          import.exportName = import.nameType == NameType::NoPrefix ? WithoutPrefix(import.symbol)
                                                                    : UndecoratedName(import.symbol);
        import.longForm = false;
        import.nameType = NameType::ExportAs;
        if (machine != Machine::Arm64x) {
          deferred.push_back(i);
          continue;
        }
      }
      order.push_back(i);
    }
    if (!deferred.empty()) {
      // One whose export another import already reaches becomes a weak
      // alias of that import's symbol.
      std::map<std::string, std::string_view> reached;
      for (const std::size_t i : order) {
        const ImportMember& import = plan.imports[i];
        switch (import.nameType) {
          case NameType::Name: reached.emplace(import.symbol, import.symbol); break;
          case NameType::NoPrefix: reached.emplace(WithoutPrefix(import.symbol), import.symbol); break;
          case NameType::Undecorate: reached.emplace(UndecoratedName(import.symbol), import.symbol); break;
          case NameType::ExportAs: reached.emplace(import.exportName, import.symbol); break;
          default: break;
        }
      }
      for (const std::size_t i : deferred)
        if (const auto it = reached.find(plan.imports[i].exportName); it != reached.end())
          plan.imports[i].aliasOf = std::string(it->second);
      order.insert(order.end(), deferred.begin(), deferred.end());
      std::vector<ImportMember> imports;
      std::vector<std::size_t> importDll;
      for (const std::size_t i : order) {
        imports.push_back(std::move(plan.imports[i]));
        importDll.push_back(plan.importDll[i]);
      }
      plan.imports = std::move(imports);
      plan.importDll = std::move(importDll);
    }
  }
  if (layout == CoffLayout::Peer || machine == Machine::Arm64x) return HybridMembers(plan, stamp, machine);
  Archive a;
  a.stamp = stamp;
  const bool ec = IsEc(machine);
  // Room for everything at once: a library of 100,000 imports would
  // otherwise move its symbols' strings a dozen times over.
  const std::size_t fixed = 3 * plan.dlls.size();
  a.members.reserve(fixed + plan.imports.size());
  a.table.reserve(fixed + plan.imports.size());
  a.symbols.reserve(fixed + (ec ? 0 : 2 * plan.imports.size()));
  if (ec) a.ecSymbols.reserve(fixed + 4 * plan.imports.size());
  AddFixedObjects(plan, ec ? Machine::Arm64 : machine, stamp, a);
  if (ec) a.ecSymbols = a.symbols;
  std::vector<ArchiveSymbol>& importSymbols = ec ? a.ecSymbols : a.symbols;

  std::vector<std::string_view> symbols;
  symbols.reserve(plan.imports.size());
  for (const ImportMember& import : plan.imports) symbols.push_back(import.symbol);
  // An undecorated import's hint is its sorted place (past 65535 it wraps,
  // which only costs the loader its first guess).
  const std::vector<std::uint32_t> order = ByteOrder(symbols);
  std::vector<std::uint32_t> memberOf(plan.imports.size());
  for (std::size_t k = 0; k < order.size(); ++k) {
    ImportMember& import = plan.imports[order[k]];
    if (import.nameType != NameType::Ordinal) import.hint = static_cast<std::uint16_t>(k);
    a.members.push_back({plan.dlls[plan.importDll[order[k]]].file + "/",
                         import.longForm ? LongImportObject(import, stamp) : ShortImportObject(import, stamp)});
    memberOf[order[k]] = static_cast<std::uint32_t>(a.members.size() - 1);
  }
  for (std::size_t i = 0; i < plan.imports.size(); ++i) {
    const ImportMember& import = plan.imports[i];
    const auto slot = static_cast<std::uint32_t>(a.table.size());
    a.table.push_back(memberOf[i]);
    if (!import.memberSymbol.empty()) importSymbols.push_back({import.memberSymbol, slot});
    if (import.kind == ImportKind::Code) importSymbols.push_back({import.symbol, slot});
    importSymbols.push_back({ImportSymbol(import.symbol), slot});
    if (ec && import.kind == ImportKind::Code)
      importSymbols.push_back({std::string(kImportAuxPrefix) + import.symbol, slot});
  }
  return a;
}

}  // namespace

Outcome BuildLibrary(const std::string& fileName, ExportList& list, CoffLayout layout, Bytes& out) {
  if (const std::string why = WrongMachine(list, ListForm::Coff); !why.empty())
    return Outcome::Refused(why);
  try {
    const Machine machine =
        Decorates(list.SourceMachine) ? Machine::I386 : list.SourceMachine;
    std::string ecFault;
    Plan plan = PlanChecked(list.Fonctions, machine, DllFor(list, fileName), &ecFault);
    if (!ecFault.empty()) return Outcome::Refused(ecFault);
    Archive archive = Members(plan, machine, platform::TimeStampNow(), layout);
    return BuildArchive(archive, out);
  } catch (const std::bad_alloc&) {
    // A list too large for memory: nothing was written.
    return Outcome::CannotWrite(ENOMEM);
  }
}

}  // namespace coff
