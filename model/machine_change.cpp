#include "model/machine_change.h"

#include "model/decorated_names.h"
#include "model/machine.h"

TFonctionLib FromUndecoratedSymbol(std::string_view symbol) {
  TFonctionLib entry;
  entry.Name = AnsiString(symbol);
  return entry;
}

std::string WhyNotMachine(const ExportList& list, std::uint16_t to) {
  return WhyNotMachine(list.SourceMachine, to);
}

std::string WhyNotMachine(std::uint16_t from, std::uint16_t to) {
  if (from == 0 || from == to) return {};
  if (from == MachineNumber(Machine::I386) && !Decorates(to)) return {};
  return "a list for " + MachineName(from) + " cannot become one for " + MachineName(to) +
         ": the DLL it imports from is built for " + MachineName(from);
}

std::vector<AnsiString> ChangeMachine(ExportList& list, std::uint16_t to) {
  std::vector<AnsiString> changed;
  const std::uint16_t from = list.SourceMachine;
  list.SourceMachine = to;
  if (!Decorates(from) || Decorates(to)) return changed;
  for (std::uint32_t i = 0; i < list.Fonctions.Count; ++i) {
    TFonctionLib& entry = list.Fonctions.Item(i);
    const AnsiString before = MicrosoftName(entry, from);
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
    if (symbol != before) changed.push_back(entry.Name);
  }
  return changed;
}
