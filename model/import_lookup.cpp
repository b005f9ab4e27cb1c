#include "model/import_lookup.h"

#include "model/decorated_names.h"

namespace {

// A text as the C formatting functions and the loader see it: up to its
// first zero byte.
std::string AsCString(const std::string& text) { return std::string(text.c_str()); }

}  // namespace

ImportLookup ChooseImportLookup(const TFonctionLib& entry, Machine machine, std::string_view symbol) {
  const ImportBinding& b = entry.Import;
  ImportLookup lookup;
  if (b.ByOrdinal || (b.NoName && b.Ordinal != 0)) {
    lookup.How = Reach::Ordinal;
    lookup.Ordinal = b.Ordinal;
    return lookup;
  }
  // Off 32-bit Intel a hand-made entry is looked up by its symbol.
  std::string exportName = AsCString(Decorates(machine) ? b.ExportName : LookupName(entry, machine));
  if (machine == Machine::Arm64ec) {
    // ARM64EC imports name their export outright (a code import's member
    // names the function's body, never the export): a short import then
    // reaches any export, and no object of its own is needed.
    const bool code = b.Kind == ImportKind::Code;
    if (code && b.ExportName.empty()) exportName = std::string(symbol);
    lookup.How = exportName == symbol && !code ? Reach::Symbol : Reach::ExportAs;
    lookup.ExportName = exportName;
    return lookup;
  }
  if (exportName.empty()) return lookup;  // a hand-made entry: undecorated, as always
  if (exportName == symbol) lookup.How = Reach::Symbol;
  else if (exportName == WithoutPrefix(symbol)) lookup.How = Reach::NoPrefix;
  else if (exportName == UndecoratedName(symbol)) lookup.How = Reach::Undecorate;
  else {
    lookup.How = Reach::OwnObject;
    lookup.ExportName = exportName;
  }
  return lookup;
}

std::string LookedUpName(const ImportLookup& lookup, std::string_view symbol) {
  switch (lookup.How) {
    case Reach::Ordinal: return {};
    case Reach::Symbol: return std::string(symbol);
    case Reach::NoPrefix: return WithoutPrefix(symbol);
    case Reach::Undecorate: return UndecoratedName(symbol);
    case Reach::ExportAs:
    case Reach::OwnObject: break;
  }
  return lookup.ExportName;
}
