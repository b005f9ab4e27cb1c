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

// Replaces the list with the file's exports, its names read as the
// librarians of machine read them, and gives the list that machine. A file
// carries no machine: Unknown reads it as 32-bit Intel and leaves the
// list's machine open. CannotOpen (the list untouched) when the file
// cannot be read.
Outcome ReadFile(const std::string& fileName, ExportList& list,
                 Machine machine = Machine::Unknown);
// The same for a file already read into memory.
Outcome ReadBytes(std::span<const std::uint8_t> bytes, ExportList& list,
                  Machine machine = Machine::Unknown);

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
