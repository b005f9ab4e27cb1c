// Definition files and lists of symbols: the door to this folder for the
// layers above.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "model/export_list.h"
#include "model/machine.h"
#include "model/outcome.h"

namespace def {

// How the 32-bit Intel librarians make a line's name its client symbol
// and the name the loader looks up (def/def_parser.h says each rule):
// with at signs killed from export names (llvm-dlltool -k, GNU dlltool
// -k: "Foo@8" is "_Foo@8" looking up "Foo"), without (llvm-dlltool:
// "_Foo@8" looking up "Foo@8"), or as llvm-lib ("Foo@8" is the symbol
// "Foo@8" and looks itself up). Off 32-bit Intel every name is its own
// symbol and export, whatever the rules.
enum class NameRules : std::uint8_t { KillAt, Mingw, Msvc };

struct Dialect {
  NameRules rules = NameRules::KillAt;
  // False: no '_' goes before any name (dlltool --no-leading-underscore).
  bool underscores = true;
};

// Replaces the list with the file's exports, its names read as the
// librarians of machine read them, and gives the list that machine. A file
// carries no machine: Unknown reads it as 32-bit Intel and leaves the
// list's machine open. CannotOpen when the file cannot be read; Refused,
// with "line N: " and the reason, for a file the librarians would not
// take. Either way the list is untouched.
Outcome ReadFile(const std::string& fileName, ExportList& list,
                 Machine machine = Machine::Unknown, Dialect dialect = {});
// The same for a file already read into memory.
Outcome ReadBytes(std::span<const std::uint8_t> bytes, ExportList& list,
                  Machine machine = Machine::Unknown, Dialect dialect = {});

// The text of the list as a definition file; Refused when no .def file
// can say it. fileName names the DLL of entries that name none. Saved by
// the library object (files/) once proven.
Outcome BuildFile(const std::string& fileName, ExportList& list, std::vector<std::uint8_t>& out);

// A text file of Microsoft-decorated symbols, one per line, such as a
// linker's export listing or a hand-written list:
//
//   ; exports of MYLIB.DLL
//   EXPORTS
//       _Foo@12
//       _Bar@0 @3
//       _Baz=_Baz@4
//
// Blank lines, lines starting with ";" and an "EXPORTS" line are skipped.
// Of every other line only the first word counts, and of that word
// anything from the first "=" on is dropped. Each symbol is undone with
// FromMicrosoftName, but a C++ name ("?f@@YAXXZ"), which is taken whole as
// the entry's Name and client symbol (FromClientSymbol). Replaces the list
// with one entry per symbol, in file order; CannotOpen only when the file
// cannot be opened (the list is then untouched).
Outcome ReadSymbolList(const std::string& fileName, ExportList& list);

}  // namespace def
