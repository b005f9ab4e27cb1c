// The statements of a module-definition (.def) file and what their names
// bind to, as the librarians read them.
//
// The file is a run of words; line ends matter only where said here:
//
//   ';' starts a comment that runs to the end of its line, anywhere.
//   LIBRARY or NAME [module] [...]: the module's file name; what follows
//     on the line (BASE=, WINDOWAPI, ...) changes nothing for a library.
//   EXPORTS: the exports follow, on its own line and the next ones.
//   DESCRIPTION, CODE, DATA, HEAPSIZE, STACKSIZE, STUB, EXETYPE, VERSION:
//     a statement of its own line that gives an import library nothing;
//     SECTIONS and IMPORTS take the lines after them up to the next
//     statement. Each opens its line (DATA opening a line after an export
//     is that export's).
//   an export: name [=internal] then any of @N [NONAME], "@ N", DATA,
//     CONSTANT, PRIVATE, "== E", and last "EXPORTAS E". "=", "==", "@"
//     and EXPORTAS take their word on their own line; the one-word
//     attributes may come on the lines after the name, as both dlltools
//     read them ("Foo" then a line "@7 NONAME": Foo by ordinal 7). A word
//     that is none of them starts the next export.
//
// Anything else (a word before EXPORTS, '=' or ',' out of place, an
// ordinal with no export before it or above 65535, NONAME without an
// ordinal, anything after EXPORTAS's word but another export, a quote
// never closed, a byte-order mark) is refused, as the librarians refuse
// such a file.
//
// On 32-bit Intel a name N stands for the client symbol "_" N, or for N
// itself when N is already decorated: it begins with '?' or '@', or holds
// "@@". The name the loader looks up, unless "== E" or EXPORTAS E says E:
//
//   KillAt: the symbol undecorated when it holds an at sign after its
//     first byte ("Foo@8": "_Foo@8" looking up "Foo"; "@f@8": "f"), a C++
//     symbol whole, otherwise the symbol less its leading underscore
//     ("plainC": "_plainC" looking up "plainC", a C function);
//   Mingw: the symbol less its leading underscore ("Foo@8" looks up
//     "Foo@8");
//   Msvc: a name that begins with '?' or holds an at sign is its own
//     symbol ("Foo@8"), and any other "_" N; a symbol "_..@.." looks
//     itself up, any other one itself less its leading underscore.
//
// GNU dlltool -k kills at signs its own way (see GnuKillAtName), so the
// writer says with "==" the export of a line both do not derive alike.
// The librarians of the other machines take every name as it is: "Foo@8"
// is the symbol and the export "Foo@8", and -k changes nothing.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "def/def.h"
#include "model/fonction_lib.h"
#include "model/outcome.h"

namespace def {

// The export statement's keyword, and what starts a comment.
inline constexpr char kExportsKeyword[] = "EXPORTS";
inline constexpr char kCommentStart = ';';

struct ExportLine {
  AnsiString name;      // the export's name, without quotes
  AnsiString internal;  // the name after '=', empty when none
  // The name after "==" or EXPORTAS: what the loader looks up; empty when
  // none.
  AnsiString exportName;
  bool hasOrdinal = false;
  std::uint16_t ordinal = 0;
  bool noName = false;
  ImportKind kind = ImportKind::Code;
  bool isPrivate = false;
};

struct Statements {
  // The first LIBRARY or NAME statement's file name, with ".dll" (LIBRARY)
  // or ".exe" (NAME) added when it has no extension; empty when none, or
  // for an empty quoted name.
  AnsiString module;
  std::vector<ExportLine> exports;
};

// The whole text's statements; Refused with "line N: " and the reason for
// a text the librarians refuse.
Outcome Parse(std::string_view text, Statements& statements);

// The client symbol the name on an export line stands for on 32-bit
// Intel.
AnsiString SymbolOfName(std::string_view name, Dialect dialect = {});
// The name that stands for symbol on an export line (KillAt rules, or the
// symbol itself where names are not decorated); none for a symbol no name
// gives, such as "Foo" or "_@x" on 32-bit Intel, or whose name would be
// read as an ordinal ("@12", "@"), quoted or not, as llvm-dlltool reads
// one after an export.
std::optional<AnsiString> NameOfSymbol(std::string_view symbol, bool decorated = true);
// What the loader looks up for a named import of symbol.
AnsiString ExportNameOfSymbol(std::string_view symbol, NameRules rules = NameRules::KillAt);
// What GNU dlltool -k looks up for a line's name: the name less a leading
// '@', cut at its last at sign when a digit follows ("?x@@3HA": "?x@",
// "a@b@8": "a@b", where llvm-dlltool looks up "?x@@3HA" and "a"). None
// when GNU dlltool makes another client symbol of the name than
// SymbolOfName ("a@@b": "_a@@b"), which no export name puts right.
std::optional<AnsiString> GnuKillAtName(std::string_view name);

// text as one word of a line: in double quotes when quote is set or when
// it could not stand bare for both librarians (blanks, a byte GNU dlltool
// takes for no part of a name, a digit first, a keyword, empty); none
// when it cannot be written at all (DefWordCanHold), or when it holds a
// quote and quote is set.
std::optional<AnsiString> Word(std::string_view text, bool quote);

}  // namespace def
