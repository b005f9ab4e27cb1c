#include "model/conventions.h"

void ConventionTable::Set(const TFonctionLib& entry) {
  auto [found, inserted] = index_.try_emplace(entry.Name, entries_.size());
  if (inserted) {
    entries_.push_back(entry);
    return;
  }
  TFonctionLib& known = entries_[found->second];
  // A setting by name only changes the convention, and so the client
  // symbol; what an earlier source said the DLL exports still holds.
  ImportBinding kept = known.Import;
  if (!kept.Symbol.starts_with('?')) kept.Symbol.clear();
  known = entry;
  if (entry.Import.Empty()) known.Import = kept;
}

void ConventionTable::SetAll(TTableau<TFonctionLib>& list) {
  for (std::uint32_t i = 0; i < list.Count; ++i) Set(list.Item(i));
}

const TFonctionLib* ConventionTable::Find(const AnsiString& name) const {
  auto found = index_.find(name);
  return found == index_.end() ? nullptr : &entries_[found->second];
}

ConventionReport ApplyConventions(TTableau<TFonctionLib>& list, const ConventionTable& table) {
  ConventionReport report;
  std::vector<bool> used(table.Entries().size(), false);
  const TFonctionLib* first = table.Entries().data();
  for (std::uint32_t i = 0; i < list.Count; ++i) {
    TFonctionLib& entry = list.Item(i);
    const TFonctionLib* known = table.Find(entry.Name);
    if (!known) {
      report.UnmatchedEntries.push_back(entry.Name);
      continue;
    }
    entry.IsPascal = known->IsPascal;
    entry.ArgLength = known->ArgLength;
    entry.Unsure = known->Unsure;
    ImportBinding beyondSymbol = known->Import;
    beyondSymbol.Symbol.clear();
    if (!known->Import.Empty() && beyondSymbol.Empty()) {
      // A list of symbols says the client symbol (a C++ name's) and
      // nothing of the import: what the DLL exports, and how, stays.
      entry.Import.Symbol = known->Import.Symbol;
    } else if (!known->Import.Empty()) {
      // The source's import as a whole; the entry's DLL when the source
      // does not name one.
      AnsiString dll = std::move(entry.Import.Dll);
      entry.Import = known->Import;
      if (entry.Import.Dll.empty()) entry.Import.Dll = std::move(dll);
    } else if (!entry.Import.Symbol.starts_with('?')) {
      // A new convention makes a new client symbol; a C++ name keeps its
      // own, which no convention changes.
      entry.Import.Symbol.clear();
    }
    used[static_cast<std::size_t>(known - first)] = true;
  }
  for (std::size_t k = 0; k < used.size(); ++k)
    if (!used[k]) report.UnusedNames.push_back(table.Entries()[k].Name);
  return report;
}
