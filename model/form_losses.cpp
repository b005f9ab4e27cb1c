#include "model/form_losses.h"

#include <string_view>

#include "model/decorated_names.h"
#include "model/import_lookup.h"

namespace {

// The length an OMF reader finds again: the entry name spells it only as
// "_" Name "@" digits, with no leading zero.
bool SpellsLength(std::string_view exportName, const TFonctionLib& entry) {
  const AnsiString spelled = "_" + entry.Name + "@" + IntToStr(entry.ArgLength);
  return exportName == spelled;
}

bool OmfLosesLength(const TFonctionLib& e) {
  // A _stdcall symbol carries no length, and a C++ or fastcall symbol is
  // kept whole.
  if (!e.IsPascal || !e.Import.Symbol.empty() || e.ArgLength == 0) return false;
  if (e.Import.ByOrdinal) return true;
  return !SpellsLength(LookupName(e), e);
}

// A .def line says the client symbol, and the librarians derive the name
// the loader looks up from it (killing at signs on 32-bit Intel, the
// symbol itself elsewhere), unless "== export" says another; a name that
// no word can hold is left to what llvm-dlltool derives.
bool DefLosesExportName(const TFonctionLib& e, Machine machine) {
  if (e.Import.ByOrdinal || e.Import.NoName) return false;
  const AnsiString exportName = LookupName(e, machine);
  const AnsiString derived =
      Decorates(machine) ? KillAtExportName(MicrosoftName(e)) : MicrosoftName(e, machine);
  return !DefWordCanHold(exportName) && exportName != derived;
}

// An import that no short import's name type reaches from its symbol is
// written as an object of its own, which knows code and data but not
// constant data. The choice is the library writer's own.
bool CoffLosesConst(const TFonctionLib& e, Machine machine) {
  if (e.Import.Kind != ImportKind::Const) return false;
  const Machine written = Decorates(machine) ? Machine::I386 : machine;
  const AnsiString symbol = MicrosoftName(e, written);
  return ChooseImportLookup(e, written, symbol.c_str()).How == Reach::OwnObject;
}

}  // namespace

std::vector<FormLoss> LossesOf(TTableau<TFonctionLib>& list, ListForm form, Machine machine) {
  std::vector<FormLoss> losses;
  auto note = [&](LossKind kind, const TFonctionLib& e) {
    if (losses.empty() || losses.back().Kind != kind) {
      // Kinds are gathered one pass each, so a kind seen before is the last.
      losses.push_back({kind, {}});
    }
    losses.back().Names.push_back(e.Name);
  };
  auto pass = [&](LossKind kind, auto&& loses) {
    for (std::uint32_t i = 0; i < list.Count; ++i) {
      const TFonctionLib& e = list.Item(i);
      // Left out of every library: nothing of it is lost there.
      if (form != ListForm::Def && e.Import.Private) continue;
      if (loses(e)) note(kind, e);
    }
  };
  const auto delayed = [](const TFonctionLib& e) { return e.Import.Delayed; };
  switch (form) {
    case ListForm::Omf:
      pass(LossKind::ArgumentLength, OmfLosesLength);
      pass(LossKind::DataImport, [](const TFonctionLib& e) { return e.Import.Kind != ImportKind::Code; });
      pass(LossKind::DelayLoad, delayed);
      break;
    case ListForm::Def:
      pass(LossKind::ExportName, [machine](const TFonctionLib& e) { return DefLosesExportName(e, machine); });
      pass(LossKind::DelayLoad, delayed);
      break;
    case ListForm::Coff:
      pass(LossKind::ConstImport, [machine](const TFonctionLib& e) { return CoffLosesConst(e, machine); });
      // Microsoft's linkers delay-load a DLL from an ordinary library
      // (/DELAYLOAD); the library itself cannot say it.
      pass(LossKind::DelayLoad, delayed);
      break;
    case ListForm::Gnu:
      // GNU's objects have no constant kind: every one becomes data.
      pass(LossKind::ConstImport, [](const TFonctionLib& e) { return e.Import.Kind == ImportKind::Const; });
      break;
  }
  return losses;
}

bool DefWordCanHold(std::string_view text) {
  if (text.find_first_of("\r\n") != std::string_view::npos) return false;
  if (text.find('"') == std::string_view::npos) return true;
  if (text.front() == '"') return false;
  for (char c : text)
    if (static_cast<unsigned char>(c) <= ' ' || c == '=' || c == ',' || c == ';') return false;
  return true;
}

bool LengthDisagrees(const TFonctionLib& e, std::int32_t& spelled) {
  if (!e.IsPascal || !e.Import.Symbol.empty() || e.Import.ByOrdinal) return false;
  std::string_view exported = e.Import.ExportName;
  if (exported.starts_with('_')) exported.remove_prefix(1);
  if (!exported.starts_with(e.Name) || exported.size() < e.Name.size() + 2 ||
      exported[e.Name.size()] != '@')
    return false;
  const std::string_view digits = exported.substr(e.Name.size() + 1);
  if (digits.find_first_not_of("0123456789") != std::string_view::npos || !TryStrToInt(digits, spelled))
    return false;
  return spelled != e.ArgLength;
}

std::vector<AnsiString> LengthDisagreements(TTableau<TFonctionLib>& list) {
  std::vector<AnsiString> names;
  std::int32_t spelled = 0;
  for (std::uint32_t i = 0; i < list.Count; ++i)
    if (LengthDisagrees(list.Item(i), spelled)) names.push_back(list.Item(i).Name);
  return names;
}
