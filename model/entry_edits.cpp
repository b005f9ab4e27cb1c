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

bool Rename(TFonctionLib& entry, const AnsiString& name, const TFonctionLib* read) {
  if (entry.Name == name) return false;
  entry.Name = name;
  ImportBinding& b = entry.Import;
  if (read && read->Name == name) {
    // What the user set since (DLL, kind) stays; the lookup is the file's.
    const ImportBinding kept = b;
    b = read->Import;
    b.Dll = kept.Dll;
    b.Kind = kept.Kind;
    b.Private = kept.Private;
    if (entry.IsPascal != read->IsPascal || entry.ArgLength != read->ArgLength)
      DropClientSymbol(entry);
    return true;
  }
  // The old client symbol and what the DLL did with the old export belong
  // to the old name.
  b.Symbol.clear();
  b.ForwardTo.clear();
  if (b.ByOrdinal) return true;
  // An entry that named no export imports by its plain name anyway.
  if (!b.ExportName.empty()) b.ExportName = name;
  b.Ordinal = 0;
  b.NoName = false;
  return true;
}

std::string_view::size_type ControlCharacterAt(std::string_view text) {
  for (std::string_view::size_type i = 0; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c < 0x20 || c == 0x7F) return i;
  }
  return std::string_view::npos;
}

const AnsiString* NameWithControlCharacter(const TFonctionLib& entry) {
  for (const AnsiString* name : {&entry.Name, &entry.Import.Symbol, &entry.Import.ExportName,
                                 &entry.Import.Dll, &entry.Import.ForwardTo})
    if (ControlCharacterAt(*name) != std::string_view::npos) return name;
  return nullptr;
}
