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
// the entry's Name and client symbol (FromClientSymbol).
#pragma once

#include <string>

#include "model/fichier_lib.h"

// Replaces lib's list with one entry per symbol, in file order. CannotOpen
// only when the file cannot be opened (the list is then untouched).
Outcome ReadSymbolList(TFichierLib& lib, const std::string& fileName);
