#include "model/microsoft_symbol.h"

#include "model/decorated_names.h"

TFonctionLib FromMicrosoftName(std::string_view symbol) {
  if (!symbol.empty() && symbol.front() == '_') symbol.remove_prefix(1);
  TFonctionLib entry;
  const auto at = symbol.find('@');
  if (at == std::string_view::npos) {
    entry.Name = AnsiString(symbol);
    entry.ArgLength = 0;
    entry.IsPascal = false;
  } else {
    entry.Name = AnsiString(symbol.substr(0, at));
    entry.ArgLength = StrToIntDef(symbol.substr(at + 1), 0);
    entry.IsPascal = true;
  }
  return entry;
}

TFonctionLib FromClientSymbol(std::string_view symbol) {
  TFonctionLib entry;
  if (!symbol.empty() && symbol.front() == '?') {
    entry.Name = AnsiString(symbol);
    entry.Import.Symbol = entry.Name;
    return entry;
  }
  entry = FromMicrosoftName(symbol);
  if (MicrosoftName(entry) != symbol) entry.Import.Symbol = AnsiString(symbol);
  return entry;
}
