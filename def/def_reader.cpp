#include <vector>

#include "def/def.h"
#include "def/def_parser.h"
#include "model/file_bytes.h"
#include "model/machine.h"
#include "model/machine_change.h"
#include "model/microsoft_symbol.h"
#include "platform/file_api.h"

namespace {

// The name an old list's line gives: the text before the first "=",
// trimmed; without "=", its first word (up to the first byte of value 32
// or less).
AnsiString EntryName(const AnsiString& line) {
  auto equals = line.find('=');
  if (equals != AnsiString::npos) return Trim(std::string_view(line).substr(0, equals));
  std::size_t end = 0;
  while (end < line.size() && static_cast<unsigned char>(line[end]) > 32) ++end;
  return line.substr(0, end);
}

// The names of the file are read as the librarians of the machine read
// them: decorated on 32-bit Intel (def/def_parser.h), each its own symbol
// and export on every other machine.
TFonctionLib ExportEntry(const def::ExportLine& line, bool decorated) {
  const AnsiString symbol = decorated ? def::SymbolOfName(line.name) : line.name;
  TFonctionLib entry = decorated ? FromClientSymbol(symbol) : FromUndecoratedSymbol(symbol);
  ImportBinding& import = entry.Import;
  if (line.noName) {
    import.ByOrdinal = true;
    import.NoName = true;
  } else if (!line.exportName.empty()) {
    import.ExportName = line.exportName;
  } else {
    import.ExportName = decorated ? def::ExportNameOfSymbol(symbol) : symbol;
  }
  if (line.hasOrdinal) import.Ordinal = line.ordinal;
  import.Kind = line.kind;
  import.Private = line.isPrivate;
  // "Name=OTHER.Func": the DLL passes the import on; any other internal
  // name is the DLL's own business and no client sees it.
  if (line.internal.find('.') != AnsiString::npos) import.ForwardTo = line.internal;
  return entry;
}

// An entry of a line that names the export and nothing of its import:
// Name, 0, _pascal, as such lists were always read. But a name alone that
// spells its symbol (a C++ or fastcall name, or "Foo@8") binds by its own
// decoration, which no convention rebuilds: it is read as the librarians
// read it. A line with '=' ("N=N", "N=x") is always an old list's. Off
// 32-bit Intel there is no convention to give: the name is the symbol.
TFonctionLib BareEntry(const AnsiString& name, bool alone, bool decorated) {
  if (name.starts_with('?') || name.starts_with('@') || (alone && def::SpellsItsSymbol(name))) {
    def::ExportLine line;
    line.name = name;
    return ExportEntry(line, decorated);
  }
  if (!decorated) return FromUndecoratedSymbol(name);
  TFonctionLib entry;
  entry.Name = name;
  entry.ArgLength = 0;
  entry.IsPascal = true;
  return entry;
}

// A file in the module-definition syntax of today's librarians: it names
// its module, or one of its export lines says more than a name. Only in
// such a file are ';' comments and quotes taken as such; any other file is
// read line by line as the old lists were, so that every file an earlier
// writer made reads as it always did.
bool IsModernFile(const std::vector<AnsiString>& lines) {
  bool inSection = false;
  for (const AnsiString& line : lines) {
    if (line == def::kExportsKeyword) {
      inSection = true;
      continue;
    }
    const def::LineKind kind = def::ParseLine(line).kind;
    if (kind == def::LineKind::Module || (inSection && kind == def::LineKind::Export)) return true;
  }
  return false;
}

}  // namespace

namespace def {

Outcome ReadFile(const std::string& fileName, ExportList& list, Machine machine) {
  FileBytes bytes;
  if (Outcome read = ReadFileBytes(fileName, bytes); !read) return read;
  return ReadBytes(bytes.View(), list, machine);
}

Outcome ReadBytes(std::span<const std::uint8_t> bytes, ExportList& list, Machine machine) {
  const bool decorated = Decorates(machine);
  TTableau<TFonctionLib>& Fonctions = list.Fonctions;
  std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  std::vector<AnsiString> lines;
  for (AnsiString raw; NextLine(text, raw);) lines.push_back(Trim(raw));
  // Every line that is not the keyword makes at most one entry.
  if (Outcome room = MakeRoom(Fonctions, lines.size()); !room) return room;

  const bool modern = IsModernFile(lines);
  Fonctions.Clear();
  std::uint32_t index = 0;
  bool inSection = false;
  AnsiString dll;
  for (const AnsiString& line : lines) {
    if (line == def::kExportsKeyword) {
      inSection = true;
      continue;
    }
    if (!modern) {
      if (inSection && !line.empty())
        Fonctions.Item(index++) =
            BareEntry(EntryName(line), line.find('=') == AnsiString::npos, decorated);
      continue;
    }
    const def::ParsedLine parsed = def::ParseLine(line);
    // The first module statement names the DLL, as the librarians take it.
    if (parsed.kind == def::LineKind::Module && dll.empty()) dll = parsed.module;
    if (!inSection) continue;
    switch (parsed.kind) {
      case def::LineKind::Nothing:
      case def::LineKind::Module:
        break;
      case def::LineKind::Bare:
        Fonctions.Item(index++) =
            BareEntry(parsed.line.name, parsed.line.internal.empty(), decorated);
        break;
      case def::LineKind::Unparsed:
        Fonctions.Item(index++) = BareEntry(EntryName(line), false, decorated);
        break;
      case def::LineKind::Export:
        Fonctions.Item(index++) = ExportEntry(parsed.line, decorated);
        break;
    }
  }
  if (!dll.empty())
    for (std::uint32_t i = 0; i < Fonctions.Count; ++i) Fonctions.Item(i).Import.Dll = dll;
  list.SourceMachine = machine;
  return Outcome::Done();
}

}  // namespace def
