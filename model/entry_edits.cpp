#include "model/entry_edits.h"

bool SetConvention(TFonctionLib& entry, bool isPascal) {
  // A person who sets the convention has checked it, even when it stays:
  // it is no longer a guess.
  const bool wasUnsure = entry.Unsure;
  entry.Unsure = false;
  if (entry.IsPascal == isPascal) return wasUnsure;
  entry.IsPascal = isPascal;
  entry.Import.Symbol.clear();
  return true;
}

bool SetArgLength(TFonctionLib& entry, std::int32_t argLength) {
  if (entry.ArgLength == argLength) return false;
  entry.ArgLength = argLength;
  entry.Import.Symbol.clear();
  return true;
}

bool Rename(TFonctionLib& entry, const AnsiString& name) {
  if (entry.Name == name) return false;
  entry.Name = name;
  entry.Import = {};
  return true;
}
