#include "model/decorated_names.h"

AnsiString MicrosoftName(const TFonctionLib& entry) {
  AnsiString symbol = "_" + entry.Name;
  if (entry.IsPascal) symbol += "@" + IntToStr(entry.ArgLength);
  return symbol;
}

AnsiString BorlandName(const TFonctionLib& entry) {
  return entry.IsPascal ? entry.Name : "_" + entry.Name;
}
