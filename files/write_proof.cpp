#include "files/write_proof.h"

#include <algorithm>
#include <map>
#include <set>
#include <string_view>
#include <tuple>
#include <unordered_map>
#include <vector>

#include "coff/coff.h"
#include "model/ec_names.h"
#include "def/def.h"
#include "model/decorated_names.h"
#include "model/dll_names.h"
#include "model/entry_edits.h"
#include "model/hybrid_views.h"
#include "model/import_lookup.h"
#include "omf/omf.h"

namespace {

// One import as a linker and a loader see it.
struct Bound {
  HybridView view = HybridView::Both;
  std::string symbol;  // what the client links against ("__imp_" symbol the same, prefixed)
  std::string lookup;  // the export name, or "@N" for ordinal N; empty when the form cannot say it
  std::string_view dll;  // lower-cased: the loader compares DLL names so
  ImportKind kind = ImportKind::Code;
  bool delayed = false;
  bool isPrivate = false;  // .def only: listed, but in no library
  std::string forward;     // .def only
  const TFonctionLib* entry = nullptr;

  auto Key() const { return std::tie(view, symbol, lookup, dll, kind, delayed, isPrivate, forward); }
  bool operator<(const Bound& other) const { return Key() < other.Key(); }
  bool operator==(const Bound& other) const { return Key() == other.Key(); }
};

// What each entry named in a loss is allowed to lose.
struct Allowed {
  std::set<AnsiString> lookup, data, constant, delay;
};

Allowed AllowedLosses(ExportList& list, ListForm form, Machine machine) {
  Allowed allowed;
  for (const FormLoss& loss : LossesOf(list.Fonctions, form, machine)) {
    std::set<AnsiString>* names = nullptr;
    switch (loss.Kind) {
      case LossKind::ExportName: names = &allowed.lookup; break;
      case LossKind::DataImport: names = &allowed.data; break;
      case LossKind::ConstImport: names = &allowed.constant; break;
      case LossKind::DelayLoad: names = &allowed.delay; break;
      // An OMF library spells no length in its Borland symbols, which is
      // what its clients link against: nothing to compare.
      case LossKind::ArgumentLength: break;
    }
    if (names) names->insert(loss.Names.begin(), loss.Names.end());
  }
  return allowed;
}

class Binder {
 public:
  Binder(ListForm form, Machine machine, std::string defaultDll)
      : form_(form), machine_(machine), defaultDll_(std::move(defaultDll)) {}

  // The imports of each entry of list, one per view it belongs to. A
  // hybrid list's file whose imports are all of one view reads back as a
  // list of that view's machine.
  std::vector<Bound> Bind(const TTableau<TFonctionLib>& list, const Allowed& allowed, Machine machine) {
    std::vector<Bound> out;
    out.reserve(list.Count);
    const bool hybrid = machine_ == Machine::Arm64x;
    const HybridView oneView = !hybrid || machine == Machine::Arm64x ? HybridView::Both
                               : machine == Machine::Arm64          ? HybridView::Arm64
                                                                    : HybridView::Arm64ec;
    for (std::uint32_t i = 0; i < list.Count; ++i) {
      const TFonctionLib& e = list.Data[i];
      if (e.Import.Private && form_ != ListForm::Def) continue;
      if (!hybrid || oneView != HybridView::Both) {
        out.push_back(One(e, machine, oneView, allowed));
        continue;
      }
      for (const HybridView view : {HybridView::Arm64ec, HybridView::Arm64})
        if (InView(e, view))
          out.push_back(One(e, view == HybridView::Arm64 ? Machine::Arm64 : Machine::Arm64ec, view, allowed));
    }
    return out;
  }

  // The same imports as digests, sorted: what the proof compares first,
  // at 8 bytes an import rather than the imports' strings.
  std::vector<std::uint64_t> Digests(const TTableau<TFonctionLib>& list, const Allowed& allowed, Machine machine);

 private:
  Bound One(const TFonctionLib& e, Machine machine, HybridView view, const Allowed& allowed) {
    Bound b;
    b.entry = &e;
    b.view = view;
    b.kind = e.Import.Kind;
    if (allowed.data.count(e.Name)) b.kind = ImportKind::Code;
    if (allowed.constant.count(e.Name) && b.kind == ImportKind::Const) b.kind = ImportKind::Data;
    AnsiString microsoft = MicrosoftName(e, machine);
    // An ARM64EC function is called by its x64 name whichever of its two
    // names the entry holds.
    if (machine == Machine::Arm64ec && e.Import.Kind == ImportKind::Code) microsoft = EcCallName(microsoft);
    if (e.Import.ByOrdinal || (e.Import.NoName && e.Import.Ordinal != 0)) {
      b.lookup = "@" + std::to_string(e.Import.Ordinal);
    } else if (allowed.lookup.empty() || !allowed.lookup.count(e.Name)) {
      b.lookup = LookedUpName(ChooseImportLookup(e, machine, microsoft), microsoft);
    }
    b.symbol = form_ == ListForm::Omf ? BorlandName(e) : std::move(microsoft);
    b.dll = Lowered(e.Import.Dll.empty() ? defaultDll_ : e.Import.Dll);
    // Only a call can wait for its DLL: data is bound at load time.
    b.delayed = e.Import.Delayed && e.Import.Kind == ImportKind::Code && form_ == ListForm::Gnu &&
                !(allowed.delay.count(e.Name));
    if (form_ == ListForm::Def) {
      b.isPrivate = e.Import.Private;
      b.forward = e.Import.ForwardTo;
    }
    return b;
  }

  std::string_view Lowered(const std::string& dll) {
    auto [it, added] = lowered_.try_emplace(dll);
    if (added) it->second = DllNameKey(dll);
    return it->second;
  }

  ListForm form_;
  Machine machine_;
  std::string defaultDll_;
  std::unordered_map<std::string, std::string> lowered_;
};

std::uint64_t HashOf(const Bound& b) {
  const std::hash<std::string_view> hash;
  std::uint64_t h = hash(b.symbol);
  for (const std::string_view text : {std::string_view(b.lookup), b.dll, std::string_view(b.forward)})
    h = (h ^ hash(text)) * 0x9E3779B97F4A7C15ull;
  return h ^ (static_cast<std::uint64_t>(b.view) << 8 | static_cast<std::uint64_t>(b.kind) << 16 |
              std::uint64_t{b.delayed} << 24 | std::uint64_t{b.isPrivate} << 25);
}

std::vector<std::uint64_t> Binder::Digests(const TTableau<TFonctionLib>& list, const Allowed& allowed,
                                           Machine machine) {
  // The imports one entry at a time, never all at once.
  std::vector<std::uint64_t> out;
  out.reserve(list.Count);
  TTableau<TFonctionLib> one;
  for (std::uint32_t i = 0; i < list.Count; ++i) {
    const TFonctionLib& e = list.Data[i];
    if (e.Import.Private && form_ != ListForm::Def) continue;
    if (machine_ != Machine::Arm64x) {
      out.push_back(HashOf(One(e, machine, HybridView::Both, allowed)));
      continue;
    }
    one.Item(0) = e;
    for (const Bound& b : Bind(one, allowed, machine)) out.push_back(HashOf(b));
  }
  std::sort(out.begin(), out.end());
  return out;
}

std::string Quoted(std::string_view text) { return "\"" + std::string(text) + "\""; }

std::string Describe(const Bound& b) {
  std::string text = Quoted(b.symbol) + " from " + Quoted(b.dll);
  if (b.lookup.starts_with('@')) text += " by ordinal " + b.lookup.substr(1);
  else if (!b.lookup.empty()) text += " by the name " + Quoted(b.lookup);
  text += b.kind == ImportKind::Code ? ", code" : b.kind == ImportKind::Data ? ", data" : ", constant";
  if (b.delayed) text += ", delay-loaded";
  if (b.isPrivate) text += ", private";
  if (!b.forward.empty()) text += ", forwarded to " + Quoted(b.forward);
  if (b.view != HybridView::Both) text += std::string(", ") + (b.view == HybridView::Arm64 ? "ARM64" : "ARM64EC") + " view";
  return text;
}

// The first difference, in list order, of two sets that are not equal.
std::string FirstDifference(const std::vector<Bound>& asked, const std::vector<Bound>& written) {
  std::multimap<std::pair<HybridView, std::string_view>, const Bound*> left;
  for (const Bound& b : written) left.emplace(std::pair{b.view, std::string_view(b.symbol)}, &b);
  std::string missing;
  for (const Bound& b : asked) {
    auto [from, to] = left.equal_range({b.view, b.symbol});
    auto same = std::find_if(from, to, [&b](const auto& w) { return *w.second == b; });
    if (same != to) {
      left.erase(same);
      continue;
    }
    const std::string entry = "entry " + Quoted(b.entry->Name) + ": ";
    if (from != to)
      return entry + "the file imports " + Describe(*from->second) + ", where the list asks for " + Describe(b);
    if (missing.empty()) missing = entry + "the file holds no import " + Describe(b);
  }
  if (!missing.empty()) return missing;
  if (!left.empty()) return "the file imports " + Describe(*left.begin()->second) + ", which no entry asks for";
  return "the file's imports differ from the list's";
}

// A list may name one symbol twice (a .def listing an export twice); a
// linker binds the symbol to one definition, the first its index names,
// which some layouts keep alone. Both sorted: the file then holds each
// symbol the list asks for, and each of its imports is one the list asks
// for.
bool OneOfEachAsked(std::vector<Bound> asked, std::vector<Bound> bound) {
  // LLVM's layout makes a function whose export a data import already
  // reaches a weak alias of that import, which has no thunk: the function
  // is data in the file. Its "__imp_" pointer still reaches the export;
  // a call to it fails at link time, where the linker says so.
  for (Bound& b : bound) {
    if (b.kind != ImportKind::Data) continue;
    Bound code = b;
    code.kind = ImportKind::Code;
    if (!std::binary_search(asked.begin(), asked.end(), b) && std::binary_search(asked.begin(), asked.end(), code))
      b.kind = ImportKind::Code;
  }
  std::sort(bound.begin(), bound.end());
  asked.erase(std::unique(asked.begin(), asked.end()), asked.end());
  bound.erase(std::unique(bound.begin(), bound.end()), bound.end());
  if (!std::includes(asked.begin(), asked.end(), bound.begin(), bound.end())) return false;
  // Sorted by view and symbol first.
  std::vector<std::pair<HybridView, std::string_view>> symbols;
  for (const Bound& b : bound) symbols.emplace_back(b.view, b.symbol);
  return std::all_of(asked.begin(), asked.end(), [&symbols](const Bound& b) {
    return std::binary_search(symbols.begin(), symbols.end(), std::pair{b.view, std::string_view(b.symbol)});
  });
}

}  // namespace

Outcome CheckNamesForWrite(const ExportList& list) {
  for (std::uint32_t i = 0; i < list.Fonctions.Count; ++i) {
    const TFonctionLib& e = list.Fonctions.Data[i];
    if (NameWithControlCharacter(e))
      return Outcome::Refused("entry " + Quoted(e.Name.substr(0, ControlCharacterAt(e.Name))) +
                              ": a name holds a control character (a tab, a line break, ...), which no "
                              "file can hold");
  }
  return Outcome::Done();
}

Outcome ProveWrite(ExportList& list, ListForm form, const std::string& fileName,
                   std::span<const std::uint8_t> bytes) {
  ExportList back;
  Outcome read;
  Machine machine = list.SourceMachine;
  std::string defaultDll = DllFor(list, fileName);
  switch (form) {
    case ListForm::Coff:
    case ListForm::Gnu:
      if (Decorates(machine)) machine = Machine::I386;
      read = coff::ReadLibrary(bytes, back);
      break;
    case ListForm::Omf:
      machine = Machine::I386;
      read = omf::ReadLibrary(bytes, back);
      break;
    case ListForm::Def:
      if (list.Dll.empty() && DllBaseNameOf(fileName).empty()) defaultDll.clear();
      read = def::ReadBytes(bytes, back, list.SourceMachine);
      break;
  }
  if (!read) return Outcome::Unproven("the file written cannot be read back (" + Describe(read) + ")");
  Machine written = machine;
  if (form == ListForm::Coff || form == ListForm::Gnu) {
    written = Decorates(back.SourceMachine) ? Machine::I386 : back.SourceMachine;
    const bool oneView = machine == Machine::Arm64x && (written == Machine::Arm64 || written == Machine::Arm64ec);
    if (written != machine && !oneView && back.Fonctions.Count != 0)
      return Outcome::Unproven("the file is a library for " + MachineName(written) + ", the list for " +
                               MachineName(machine));
  }
  // A library without imports still names its DLL, for the linker to make
  // its import descriptor of.
  if (back.Fonctions.Count == 0 && form != ListForm::Omf && DllNameKey(back.Dll) != DllNameKey(defaultDll))
    return Outcome::Unproven("the file names the DLL " + Quoted(back.Dll) + " where the list's is " +
                             Quoted(defaultDll));
  const Allowed allowed = AllowedLosses(list, form, list.SourceMachine);
  Binder binder(form, machine, defaultDll);
  // What was named lost is lost on both sides: the file may keep it all
  // the same. Two lists whose imports give the same digests, as many
  // times each, are taken as the same: a difference they hid would need
  // two 64-bit digests to meet.
  if (binder.Digests(list.Fonctions, allowed, machine) == binder.Digests(back.Fonctions, allowed, written))
    return Outcome::Done();
  std::vector<Bound> asked = binder.Bind(list.Fonctions, allowed, machine);
  std::vector<Bound> bound = binder.Bind(back.Fonctions, allowed, written);
  std::sort(asked.begin(), asked.end());
  std::sort(bound.begin(), bound.end());
  if (OneOfEachAsked(asked, bound)) return Outcome::Done();
  // Said in list order: entries lie in one array.
  std::stable_sort(asked.begin(), asked.end(), [](const Bound& x, const Bound& y) { return x.entry < y.entry; });
  return Outcome::Unproven(FirstDifference(asked, bound));
}
