#include "model/machine_change.h"

#include "model/decorated_names.h"
#include "model/hybrid_views.h"
#include "model/machine.h"

TFonctionLib FromUndecoratedSymbol(std::string_view symbol) {
  TFonctionLib entry;
  entry.Name = AnsiString(symbol);
  return entry;
}

std::string WhyNotMachine(const ExportList& list, Machine to) {
  return WhyNotMachine(list.SourceMachine, to);
}

std::string WhyNotMachine(Machine from, Machine to) {
  if (from == Machine::Unknown || from == to) return {};
  if (from == Machine::I386 && !Decorates(to)) return {};
  // ARM64EC code calls x64 DLLs as they are (an ARM64EC DLL's own header
  // says x64), and an ARM64X library holds both its ARM64 and ARM64EC
  // lists.
  if ((from == Machine::Amd64 && to == Machine::Arm64ec) ||
      (from == Machine::Arm64ec && to == Machine::Amd64) ||
      (from == Machine::Arm64x && (to == Machine::Arm64 || to == Machine::Arm64ec)))
    return {};
  return "a list for " + MachineName(from) + " cannot become one for " + MachineName(to) +
         ": the DLL it imports from is built for " + MachineName(from);
}

std::vector<AnsiString> ChangeMachine(ExportList& list, Machine to) {
  std::vector<AnsiString> changed;
  const Machine from = list.SourceMachine;
  // An ARM64X list becomes one of its views.
  if (from == Machine::Arm64x && to != from) {
    KeepView(list, to == Machine::Arm64 ? HybridView::Arm64 : HybridView::Arm64ec);
    return changed;
  }
  list.SourceMachine = to;
  if (!Decorates(from) || Decorates(to)) return changed;
  for (std::uint32_t i = 0; i < list.Fonctions.Count; ++i) {
    TFonctionLib& entry = list.Fonctions.Item(i);
    const AnsiString before = MicrosoftName(entry, from);
    // A list no file gave a machine (a .def file) names its exports, not
    // 32-bit symbols: what is told is a name that changes from what it
    // said, or a convention or length that goes.
    const AnsiString said = from == Machine::Unknown ? LookupName(entry) : before;
    const bool hadConvention = entry.IsPascal || entry.ArgLength != 0;
    ImportBinding& b = entry.Import;
    // The client now links against what the DLL exports; an entry that
    // names no export keeps its Name (or its C++ symbol).
    AnsiString symbol = b.ExportName;
    if (symbol.empty() || b.ByOrdinal) symbol = before.front() == '?' ? before : entry.Name;
    entry.Name = symbol;
    b.Symbol.clear();
    entry.IsPascal = false;
    entry.ArgLength = 0;
    // A machine with one convention leaves nothing to guess or to check.
    entry.Unsure = false;
    if (symbol != said || hadConvention) changed.push_back(entry.Name);
  }
  return changed;
}
