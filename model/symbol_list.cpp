#include "model/symbol_list.h"

#include "model/microsoft_symbol.h"

namespace {

constexpr char kCommentStart = ';';
constexpr char kExportsKeyword[] = "EXPORTS";

// The symbol a line gives, or an empty text for a line that gives none.
AnsiString SymbolOfLine(const AnsiString& raw) {
  const AnsiString line = Trim(raw);
  if (line.empty() || line.front() == kCommentStart || line == kExportsKeyword) return {};
  std::size_t end = 0;
  while (end < line.size() && static_cast<unsigned char>(line[end]) > 32 && line[end] != '=')
    ++end;
  return line.substr(0, end);
}

}  // namespace

Outcome ReadSymbolList(TFichierLib& lib, const std::string& fileName) {
  HANDLE file = lib.OpenLibraryFile(fileName, true);
  if (file == INVALID_HANDLE_VALUE) return Outcome::CannotOpen(static_cast<int>(GetLastError()));
  lib.Fonctions.Clear();
  std::uint32_t index = 0;
  AnsiString line;
  while (ReadLine(file, line)) {
    const AnsiString symbol = SymbolOfLine(line);
    if (symbol.empty()) continue;
    // A C++ name is its own entry; cut at its first at sign it would be
    // no name of anything.
    lib.Fonctions.Item(index++) =
        symbol.front() == '?' ? FromClientSymbol(symbol) : FromMicrosoftName(symbol);
  }
  CloseHandle(file);
  return Outcome::Done();
}
