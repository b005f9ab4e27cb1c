#include <vector>

#include "def/def.h"
#include "def/def_parser.h"
#include "model/file_bytes.h"
#include "model/microsoft_symbol.h"
#include "platform/file_api.h"

namespace {


// The symbol a line gives, or an empty text for a line that gives none.
AnsiString SymbolOfLine(const AnsiString& raw) {
  const AnsiString line = Trim(raw);
  if (line.empty() || line.front() == def::kCommentStart || line == def::kExportsKeyword) return {};
  std::size_t end = 0;
  while (end < line.size() && static_cast<unsigned char>(line[end]) > 32 && line[end] != '=')
    ++end;
  return line.substr(0, end);
}

}  // namespace

namespace def {

Outcome ReadSymbolList(const std::string& fileName, ExportList& list) {
  FileBytes bytes;
  if (Outcome read = ReadFileBytes(fileName, bytes); !read) return read;
  std::string_view text(reinterpret_cast<const char*>(bytes.data.get()), bytes.size);
  std::vector<AnsiString> symbols;
  for (AnsiString line; NextLine(text, line);)
    if (AnsiString symbol = SymbolOfLine(line); !symbol.empty()) symbols.push_back(std::move(symbol));
  if (Outcome room = MakeRoom(list.Fonctions, symbols.size()); !room) return room;
  list.Fonctions.Clear();
  for (std::uint32_t i = 0; i < symbols.size(); ++i) {
    const AnsiString& symbol = symbols[i];
    // A C++ name is its own entry; cut at its first at sign it would be
    // no name of anything.
    list.Fonctions.Item(i) = symbol.front() == '?' ? FromClientSymbol(symbol) : FromMicrosoftName(symbol);
  }
  return Outcome::Done();
}

}  // namespace def
