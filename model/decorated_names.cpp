#include "model/decorated_names.h"

#include "model/machine.h"

AnsiString MicrosoftName(const TFonctionLib& entry) {
  if (!entry.Import.Symbol.empty()) return entry.Import.Symbol;
  AnsiString symbol = "_" + entry.Name;
  if (entry.IsPascal) symbol += "@" + IntToStr(entry.ArgLength);
  return symbol;
}

AnsiString BorlandName(const TFonctionLib& entry) {
  if (!entry.Import.Symbol.empty()) return entry.Import.Symbol;
  return entry.IsPascal ? entry.Name : "_" + entry.Name;
}

namespace {
bool IsPrefix(char c) { return c == '?' || c == '@' || c == '_'; }
}  // namespace

AnsiString WithoutPrefix(std::string_view symbol) {
  if (!symbol.empty() && IsPrefix(symbol.front())) symbol.remove_prefix(1);
  return AnsiString(symbol);
}

AnsiString UndecoratedName(std::string_view symbol) {
  if (!symbol.empty() && IsPrefix(symbol.front())) symbol.remove_prefix(1);
  return AnsiString(symbol.substr(0, symbol.find('@')));
}

AnsiString LookupName(const TFonctionLib& entry) {
  if (!entry.Import.ExportName.empty()) return entry.Import.ExportName;
  return UndecoratedName(MicrosoftName(entry));
}

AnsiString KillAtExportName(std::string_view symbol) {
  if (symbol.starts_with('?')) return AnsiString(symbol);
  if (symbol.find('@', 1) != std::string_view::npos) return UndecoratedName(symbol);
  if (symbol.starts_with('_')) return AnsiString(symbol.substr(1));
  return AnsiString(symbol);
}

AnsiString MicrosoftName(const TFonctionLib& entry, Machine machine) {
  if (Decorates(machine)) return MicrosoftName(entry);
  return entry.Import.Symbol.empty() ? entry.Name : entry.Import.Symbol;
}

AnsiString BorlandName(const TFonctionLib& entry, Machine machine) {
  if (Decorates(machine)) return BorlandName(entry);
  return MicrosoftName(entry, machine);
}

AnsiString LookupName(const TFonctionLib& entry, Machine machine) {
  if (Decorates(machine)) return LookupName(entry);
  if (!entry.Import.ExportName.empty()) return entry.Import.ExportName;
  return MicrosoftName(entry, machine);
}
