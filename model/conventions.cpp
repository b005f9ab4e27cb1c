#include "model/conventions.h"

void ConventionTable::Set(const TFonctionLib& entry) {
  auto [found, inserted] = index_.try_emplace(entry.Name, entries_.size());
  if (inserted)
    entries_.push_back(entry);
  else
    entries_[found->second] = entry;
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
    used[static_cast<std::size_t>(known - first)] = true;
  }
  for (std::size_t k = 0; k < used.size(); ++k)
    if (!used[k]) report.UnusedNames.push_back(table.Entries()[k].Name);
  return report;
}
