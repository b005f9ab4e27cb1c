// The lines of a module-definition (.def) file and what their names bind
// to, as the 32-bit Intel import librarians read them with at signs
// killed from the export names (llvm-dlltool -m i386 -k):
//
//   a name N stands for the client symbol "_" N, or for N itself when N is
//   already decorated: it begins with '?' or '@', or holds "@@";
//   a named import is looked up by its symbol's undecorated name when the
//   symbol holds an at sign after its first byte ("Foo@8": client symbol
//   "_Foo@8", export "Foo"; "@f@8": "@f@8", "f"), by a C++ symbol whole,
//   and otherwise by the symbol less its leading underscore.
//
// "== E" at the end of a line overrides that: the import looks up E
// ("FMUSIC_FreeSong@4 == _FMUSIC_FreeSong@4" binds "_FMUSIC_FreeSong@4" to
// the export of that very name). GNU dlltool -k kills at signs its own
// way (see GnuKillAtName), so a line whose export both do not derive alike
// says it with "==" too.
//
// The librarians of the other machines take every name as it is: "Foo@8"
// is the symbol and the export "Foo@8", and -k changes nothing.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "model/fonction_lib.h"

namespace def {

// The export statement's keyword; it opens the export list only when it
// stands alone on its line, in capitals.
inline constexpr char kExportsKeyword[] = "EXPORTS";
// Starts a comment that runs to the end of the line.
inline constexpr char kCommentStart = ';';

enum class LineKind : std::uint8_t {
  Nothing,   // blank, or a comment
  Module,    // LIBRARY or NAME with the module's file name
  Bare,      // a name and nothing of its import (perhaps "=internal")
  Export,    // a name with an ordinal, a keyword or quotes
  Unparsed,  // none of the forms
};

struct ExportLine {
  AnsiString name;      // the export's name, without quotes
  AnsiString internal;  // the name after '=', empty when none (an old list's "N=N": N)
  // The name after "==": what the loader looks up; empty when none.
  AnsiString exportName;
  bool hasOrdinal = false;
  std::uint16_t ordinal = 0;
  bool noName = false;
  ImportKind kind = ImportKind::Code;
  bool isPrivate = false;
};

struct ParsedLine {
  LineKind kind = LineKind::Nothing;
  // Module: the file name, with ".dll" (LIBRARY) or ".exe" (NAME) added
  // when it has no extension; empty for an empty quoted name.
  AnsiString module;
  ExportLine line;  // Bare and Export
};

// One line of the file without its line end. A line "N=N" (the same text
// on both sides, as every writer of old lists wrote) is always Bare N,
// whatever N holds; otherwise ';' starts a comment.
ParsedLine ParseLine(std::string_view line);

// A name alone on its line that reads as the librarians read it, not as
// an old list's plain name: a C++ or fastcall name ('?' or '@' first), or
// a stdcall name with its length ("Foo@8", as gendef and mingw-w64's own
// files write them).
bool SpellsItsSymbol(std::string_view name);

// The client symbol the name on an export line stands for.
AnsiString SymbolOfName(std::string_view name);
// The name that stands for symbol on an export line; none for a symbol no
// name gives, such as "Foo" or "_@x", or whose name a librarian would take
// for an ordinal ("@12").
std::optional<AnsiString> NameOfSymbol(std::string_view symbol);
// What the loader looks up for a named import of symbol.
AnsiString ExportNameOfSymbol(std::string_view symbol);
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
