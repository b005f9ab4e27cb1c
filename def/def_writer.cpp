// Lines that bind are written for the librarians that kill at signs from
// export names (llvm-dlltool -m i386 -k, see def/def_parser.h): with that
// option "Foo@8" imports the client symbol "_Foo@8" by the name "Foo", the
// way a DLL made from a .def file exports its stdcall functions, and the
// way the COFF writer binds an entry made by hand.
#include <string>

#include "def/def.h"
#include "def/def_parser.h"
#include "model/decorated_names.h"
#include "model/file_bytes.h"
#include "model/machine.h"

namespace {

constexpr char kHeaderLine[] = "EXPORTS\r\n";
constexpr char kLibraryStatement[] = "LIBRARY ";
constexpr char kIndent[] = "    ";
constexpr char kLineEnd[] = "\r\n";
constexpr char kOrdinalMark[] = " @";
constexpr char kNoName[] = " NONAME";
constexpr char kData[] = " DATA";
constexpr char kConstant[] = " CONSTANT";
constexpr char kPrivate[] = " PRIVATE";

// Nothing but the DLL, or nothing at all: the entry gets the line this
// writer always wrote, which names the export and nothing of its import.
bool SaysNothingOfTheImport(const ImportBinding& import) {
  ImportBinding rest = import;
  rest.Dll.clear();
  return rest.Empty();
}

AnsiString Quoted(const AnsiString& text) { return "\"" + text + "\""; }

// The line of an entry that binds, without its indent and line end;
// Refused with the reason when no line binds as the entry does.
// Off 32-bit Intel a .def name is the client symbol itself and the export
// it names.
Outcome BindingLine(const TFonctionLib& entry, std::uint16_t machine, AnsiString& line) {
  const ImportBinding& import = entry.Import;
  const bool decorated = Decorates(machine);
  const AnsiString symbol = MicrosoftName(entry, machine);
  const std::optional<AnsiString> name = decorated ? def::NameOfSymbol(symbol) : symbol;
  if (!name)
    return Outcome::Refused("entry " + Quoted(entry.Name) + ": no .def name gives the client symbol " +
                            Quoted(symbol));
  AnsiString attributes;
  if (import.ByOrdinal || import.NoName) {
    attributes = kOrdinalMark + IntToStr(import.Ordinal) + kNoName;
  } else {
    const AnsiString exportName = LookupName(entry, machine);
    if (exportName != (decorated ? def::ExportNameOfSymbol(symbol) : symbol))
      return Outcome::Refused("entry " + Quoted(entry.Name) + ": a .def file cannot import " +
                              Quoted(symbol) + " by the name " + Quoted(exportName));
    if (import.Ordinal != 0) attributes = kOrdinalMark + IntToStr(import.Ordinal);
  }
  if (import.Kind == ImportKind::Data) attributes += kData;
  if (import.Kind == ImportKind::Const) attributes += kConstant;
  if (import.Private) attributes += kPrivate;
  // A bare name would read back as a line that says nothing of the import:
  // quotes keep it apart.
  const std::optional<AnsiString> word = def::Word(*name, attributes.empty());
  std::optional<AnsiString> forward;
  if (!import.ForwardTo.empty()) forward = def::Word(import.ForwardTo, false);
  if (!word || (!import.ForwardTo.empty() && !forward))
    return Outcome::Refused("entry " + Quoted(entry.Name) + ": its name cannot be written in a .def file");
  line = *word;
  if (forward) line += "=" + *forward;
  line += attributes;
  // The same text on both sides of its first '=' (a quoted "=" alone) is
  // how old lists wrote a bare name, and would read back as one; naming
  // the export as its own internal name says the same to a librarian and
  // cannot be taken for it.
  if (def::ParseLine(line).kind == def::LineKind::Bare) line = *word + "=" + *word + attributes;
  return Outcome::Done();
}

// The whole file, or Refused with the reason.
Outcome BuildText(TTableau<TFonctionLib>& list, std::uint16_t machine, std::string& text) {
  AnsiString dll;
  for (std::uint32_t i = 0; i < list.Count; ++i) {
    const AnsiString& named = list.Item(i).Import.Dll;
    if (named.empty() || named == dll) continue;
    if (!dll.empty())
      return Outcome::Refused("the entries import from several DLLs (" + dll + ", " + named +
                              "); a .def file names only one");
    dll = named;
  }
  if (!dll.empty()) {
    const std::optional<AnsiString> word = def::Word(dll, true);
    if (!word) return Outcome::Refused("the DLL name " + Quoted(dll) + " cannot be written in a .def file");
    text += kLibraryStatement + *word + kLineEnd;
  }
  text += kHeaderLine;
  AnsiString line;
  for (std::uint32_t i = 0; i < list.Count; ++i) {
    const TFonctionLib& entry = list.Item(i);
    if (SaysNothingOfTheImport(entry.Import)) {
      line = entry.Name + "=" + entry.Name;
    } else if (Outcome bound = BindingLine(entry, machine, line); !bound) {
      return bound;
    }
    text += kIndent;
    text += line;
    text += kLineEnd;
  }
  return Outcome::Done();
}

}  // namespace

namespace def {

Outcome WriteFile(const std::string& fileName, ExportList& list) {
  std::string text;
  if (Outcome built = BuildText(list.Fonctions, list.SourceMachine, text); !built) return built;
  FileSaver file(fileName);
  if (Outcome opened = file.Opened(); !opened) return opened;
  // A line at a time, as the file was always written.
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(text.data());
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t end = text.find('\n', at) + 1;
    file.Write({bytes + at, end - at});
    at = end;
  }
  return file.Commit();
}

}  // namespace def
