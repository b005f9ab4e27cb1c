#include "model/entry_edits.h"

namespace {

// A new convention or length makes a new client symbol, but a C++ name's
// symbol holds no convention or length: it stays.
void DropClientSymbol(TFonctionLib& entry) {
  if (!entry.Import.Symbol.starts_with('?')) entry.Import.Symbol.clear();
}

}  // namespace

bool SetConvention(TFonctionLib& entry, bool isPascal) {
  // A person who sets the convention has checked it, even when it stays:
  // it is no longer a guess.
  const bool wasUnsure = entry.Unsure;
  entry.Unsure = false;
  if (entry.IsPascal == isPascal) return wasUnsure;
  entry.IsPascal = isPascal;
  DropClientSymbol(entry);
  return true;
}

bool SetArgLength(TFonctionLib& entry, std::int32_t argLength) {
  if (entry.ArgLength == argLength) return false;
  entry.ArgLength = argLength;
  DropClientSymbol(entry);
  return true;
}

bool Rename(TFonctionLib& entry, const AnsiString& name) {
  if (entry.Name == name) return false;
  entry.Name = name;
  entry.Import = {};
  return true;
}
