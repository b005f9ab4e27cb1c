// Lines are written for the librarians that kill at signs from export
// names (llvm-dlltool -m i386 -k and GNU dlltool -k, see
// def/def_parser.h): with that option "Foo@8" imports the client symbol
// "_Foo@8" by the name "Foo", the way a DLL made from a .def file exports
// its stdcall functions, and the way the COFF writer binds an entry made
// by hand. An entry that looks up another name says it after "==".
#include <string>

#include "def/def.h"
#include "def/def_parser.h"
#include "model/decorated_names.h"
#include "model/dll_names.h"
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
constexpr char kExportNameMark[] = " == ";

AnsiString Quoted(const AnsiString& text) { return "\"" + text + "\""; }

// The line of an entry, without its indent and line end; Refused with the
// reason when no line gives its client symbol. The line says the symbol
// ("Foo" a C function, "Foo@8" or "Foo@0" one that pops its arguments),
// and "== export" when the loader looks up another name than the one both
// librarians derive from it; an export name no word can hold is left to
// what they derive, and LossesOf has named it before the save.
// For a list of another machine than 32-bit Intel, whose symbols carry no
// underscore, each line names its symbol as it is.
Outcome EntryLine(const TFonctionLib& entry, Machine machine, AnsiString& line) {
  const ImportBinding& import = entry.Import;
  const bool plainSymbols = !Decorates(machine);
  const AnsiString symbol = MicrosoftName(entry, machine);
  const std::optional<AnsiString> name = def::NameOfSymbol(symbol, !plainSymbols);
  if (!name)
    return Outcome::Refused("entry " + Quoted(entry.Name) + ": no .def name gives the client symbol " +
                            Quoted(symbol));
  AnsiString attributes;
  if (import.ByOrdinal || import.NoName)
    attributes = kOrdinalMark + IntToStr(import.Ordinal) + kNoName;
  else if (import.Ordinal != 0)
    attributes = kOrdinalMark + IntToStr(import.Ordinal);
  if (import.Kind == ImportKind::Data) attributes += kData;
  if (import.Kind == ImportKind::Const) attributes += kConstant;
  if (import.Private) attributes += kPrivate;
  // Last on the line: GNU dlltool takes "==" nowhere else. llvm-dlltool
  // and llvm-lib make of it what they make of EXPORTAS, which GNU dlltool
  // would read as two more exports.
  if (!import.ByOrdinal && !import.NoName) {
    const AnsiString exportName = LookupName(entry, machine);
    const std::optional<AnsiString> gnu = plainSymbols ? std::nullopt : def::GnuKillAtName(*name);
    const bool derived = plainSymbols ? exportName == symbol
                                      : exportName == def::ExportNameOfSymbol(symbol) &&
                                            (!gnu || exportName == *gnu);
    if (!derived)
      if (const std::optional<AnsiString> said = def::Word(exportName, false))
        attributes += kExportNameMark + *said;
  }
  const std::optional<AnsiString> word = def::Word(*name, false);
  std::optional<AnsiString> forward;
  if (!import.ForwardTo.empty()) forward = def::Word(import.ForwardTo, false);
  if (!word || (!import.ForwardTo.empty() && !forward))
    return Outcome::Refused("entry " + Quoted(entry.Name) + ": its name cannot be written in a .def file");
  line = *word;
  if (forward) line += "=" + *forward;
  line += attributes;
  return Outcome::Done();
}

// The whole file, or Refused with the reason.
Outcome BuildText(TTableau<TFonctionLib>& list, const AnsiString& outputDll, Machine machine,
                  std::string& text) {
  // An entry that names no DLL imports from the one named after the
  // output, as in the libraries we write; one LIBRARY line for entries of
  // two DLLs would move some of them without a word.
  AnsiString dll = outputDll;
  for (std::uint32_t i = 0; i < list.Count; ++i) {
    const AnsiString& named = list.Item(i).Import.Dll;
    const AnsiString& from = named.empty() ? outputDll : named;
    if (i == 0) dll = from;
    else if (DllNameKey(from) != DllNameKey(dll))
      return Outcome::Refused("the entries import from several DLLs (" + Quoted(dll.empty() ? "none named" : dll) +
                              ", " + Quoted(from.empty() ? "none named" : from) +
                              (named.empty() ? " for those that name none" : "") + "); a .def file names only one");
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
    if (Outcome written = EntryLine(entry, machine, line); !written) return written;
    text += kIndent;
    text += line;
    text += kLineEnd;
  }
  return Outcome::Done();
}

}  // namespace

namespace def {

Outcome BuildFile(const std::string& fileName, ExportList& list, std::vector<std::uint8_t>& out) {
  // The list's DLL, or the one named after the output file ("x/fmod.def":
  // "fmod.dll"), as the library writers name it for a list that names none.
  const AnsiString outputDll = !list.Dll.empty() || !DllBaseNameOf(fileName).empty() ? DllFor(list, fileName)
                                                                                     : AnsiString();
  std::string text;
  if (Outcome built = BuildText(list.Fonctions, outputDll, list.SourceMachine, text); !built) return built;
  out.assign(text.begin(), text.end());
  return Outcome::Done();
}

}  // namespace def
