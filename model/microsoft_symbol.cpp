#include "model/microsoft_symbol.h"

#include <charconv>

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

namespace {

// MicrosoftName(entry) == symbol for an entry FromMicrosoftName made of the
// symbol, without building the name: a leading underscore, and after the
// first at sign, if any, exactly the length in decimal.
bool GivesBack(const TFonctionLib& entry, std::string_view symbol) {
  if (!symbol.starts_with('_')) return false;
  const auto at = symbol.find('@');
  if (at == std::string_view::npos) return true;
  char digits[16];
  const char* end = std::to_chars(digits, digits + sizeof digits, entry.ArgLength).ptr;
  return symbol.substr(at + 1) == std::string_view(digits, static_cast<std::size_t>(end - digits));
}

}  // namespace

TFonctionLib FromClientSymbol(std::string_view symbol) {
  TFonctionLib entry;
  // C++ and fastcall names carry at signs of their own: cutting them at the
  // first one would leave "?f" or an empty name. A fastcall "@f@8" still
  // tells its plain name and its length.
  if (!symbol.empty() && (symbol.front() == '?' || symbol.front() == '@')) {
    entry.Name = AnsiString(symbol);
    entry.Import.Symbol = AnsiString(symbol);
    const std::size_t at = symbol.rfind('@');
    std::int32_t length = 0;
    if (symbol.front() == '@' && at > 1 && symbol.find('@', 1) == at &&
        TryStrToInt(symbol.substr(at + 1), length) && length >= 0 &&
        symbol.substr(at + 1).find_first_not_of("0123456789") == std::string_view::npos) {
      entry.Name = AnsiString(symbol.substr(1, at - 1));
      entry.ArgLength = length;
      entry.IsPascal = true;
    }
    return entry;
  }
  entry = FromMicrosoftName(symbol);
  if (!GivesBack(entry, symbol)) entry.Import.Symbol = AnsiString(symbol);
  return entry;
}
