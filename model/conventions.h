// Applying conventions known from elsewhere to an export list.
//
// An OMF import library names each function but carries no argument size,
// so a list read from one needs every entry's convention and length from
// another source: an older Microsoft library of the same DLL, a list of
// decorated symbols, or settings given one by one. A ConventionTable
// gathers them by plain name; ApplyConventions copies them onto the
// entries of that name and reports what matched nothing on either side.
#pragma once

#include <cstddef>
#include <unordered_map>
#include <vector>

#include "model/fonction_lib.h"
#include "model/tableau.h"

class ConventionTable {
 public:
  // Records the convention, length and import of entry.Name. A name set
  // again takes the later values and keeps the place where it was first
  // set; set again without an import (by name only), it keeps what the
  // earlier setting said of the import, less the client symbol.
  void Set(const TFonctionLib& entry);
  // Sets every entry of list, in list order.
  void SetAll(TTableau<TFonctionLib>& list);

  // The entry recorded for name, or null.
  const TFonctionLib* Find(const AnsiString& name) const;

  // The recorded entries, in the order their names were first set.
  const std::vector<TFonctionLib>& Entries() const { return entries_; }
  bool Empty() const { return entries_.empty(); }

 private:
  std::vector<TFonctionLib> entries_;
  std::unordered_map<AnsiString, std::size_t> index_;
};

struct ConventionReport {
  // Names of the list's entries that the table does not hold, one per
  // entry, in list order (an entry that appears twice is named twice).
  std::vector<AnsiString> UnmatchedEntries;
  // Names the table holds that no entry bears, in table order.
  std::vector<AnsiString> UnusedNames;
};

// Every entry whose Name the table holds takes its IsPascal, ArgLength and
// Unsure, and its import when the table's entry has one (the entry's own
// DLL kept when that one names none; only the client symbol when that is
// all the table's entry says, as a list of symbols says it); from a table entry without an import
// it takes only the convention, and drops the client symbol it carried
// (but a C++ name's). The other entries keep theirs. Names are compared
// byte for byte.
ConventionReport ApplyConventions(TTableau<TFonctionLib>& list, const ConventionTable& table);
