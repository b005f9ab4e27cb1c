#include "def/def.h"
#include "def/def_parser.h"
#include "model/ec_names.h"
#include "model/file_bytes.h"
#include "model/machine.h"
#include "model/machine_change.h"
#include "model/microsoft_symbol.h"
#include "platform/file_api.h"

namespace {

// The names of the file are read as the librarians of the machine read
// them: decorated on 32-bit Intel by the dialect's rules (def/def_parser.h),
// each its own symbol and export on every other machine, but an ARM64EC
// function named by its body ("#Foo", "?Foo@@$$hYAXXZ"): the DLL exports
// it under the name x64 code calls it by.
TFonctionLib ExportEntry(const def::ExportLine& line, bool decorated, bool ec, def::Dialect dialect) {
  const AnsiString symbol = decorated ? def::SymbolOfName(line.name, dialect) : line.name;
  TFonctionLib entry = decorated ? FromClientSymbol(symbol) : FromUndecoratedSymbol(symbol);
  ImportBinding& import = entry.Import;
  if (line.noName) {
    import.ByOrdinal = true;
    import.NoName = true;
  } else if (!line.exportName.empty()) {
    import.ExportName = line.exportName;
  } else {
    import.ExportName = decorated ? def::ExportNameOfSymbol(symbol, dialect.rules)
                        : ec && line.kind == ImportKind::Code ? EcCallName(symbol)
                                                              : symbol;
  }
  if (line.hasOrdinal) import.Ordinal = line.ordinal;
  import.Kind = line.kind;
  import.Private = line.isPrivate;
  // "Name=OTHER.Func": the DLL passes the import on; any other internal
  // name is the DLL's own business and no client sees it.
  if (line.internal.find('.') != AnsiString::npos) import.ForwardTo = line.internal;
  return entry;
}

}  // namespace

namespace def {

Outcome ReadFile(const std::string& fileName, ExportList& list, Machine machine, Dialect dialect) {
  FileBytes bytes;
  if (Outcome read = ReadFileBytes(fileName, bytes); !read) return read;
  return ReadBytes(bytes.View(), list, machine, dialect);
}

Outcome ReadBytes(std::span<const std::uint8_t> bytes, ExportList& list, Machine machine, Dialect dialect) {
  const bool decorated = Decorates(machine);
  Statements statements;
  if (Outcome parsed = Parse({reinterpret_cast<const char*>(bytes.data()), bytes.size()}, statements); !parsed)
    return parsed;
  TTableau<TFonctionLib>& Fonctions = list.Fonctions;
  if (Outcome room = MakeRoom(Fonctions, statements.exports.size()); !room) return room;
  Fonctions.Clear();
  for (std::uint32_t i = 0; i < statements.exports.size(); ++i) {
    TFonctionLib& entry = Fonctions.Item(i);
    entry = ExportEntry(statements.exports[i], decorated, machine == Machine::Arm64ec, dialect);
    entry.Import.Dll = statements.module;
  }
  list.SourceMachine = machine;
  list.Dll = statements.module;
  return Outcome::Done();
}

}  // namespace def
