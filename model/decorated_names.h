// The symbols under which each toolchain knows an entry.
//
//   IsPascal  Microsoft              Borland
//   true      "_" Name "@" ArgLength  Name
//   false     "_" Name                "_" Name
//
// An entry that carries its exact client symbol (a C++ name, a fastcall
// name, a name without a leading underscore) is known by that symbol to
// both toolchains.
#pragma once

#include <cstdint>
#include <string_view>

#include "model/fonction_lib.h"
#include "model/machine.h"

AnsiString MicrosoftName(const TFonctionLib& entry);
AnsiString BorlandName(const TFonctionLib& entry);

// The same for a list of the given machine (model/machine.h): off 32-bit
// Intel there are no decorations, and both toolchains know an entry by
// its exact symbol, or else by its Name.
AnsiString MicrosoftName(const TFonctionLib& entry, Machine machine);
AnsiString BorlandName(const TFonctionLib& entry, Machine machine);

// The name a loader looks up for a symbol imported with the "undecorate"
// rule: no leading '?', '@' or '_', nothing from the first '@' on.
AnsiString UndecoratedName(std::string_view symbol);
// The symbol less one leading '?', '@' or '_' (the "no prefix" rule).
AnsiString WithoutPrefix(std::string_view symbol);

// What the loader looks up for a named import of symbol made from a .def
// line by the librarians that kill at signs (llvm-dlltool -m i386 -k): a
// C++ symbol whole; the undecorated name when an at sign follows the
// first byte; otherwise the symbol less its leading underscore.
AnsiString KillAtExportName(std::string_view symbol);

// What the loader looks up for the entry: the export name it is bound to,
// or, for an entry without one, the undecorated Microsoft symbol (its
// Name for the two conventions' forms).
AnsiString LookupName(const TFonctionLib& entry);
// Off 32-bit Intel, an entry without an export name is looked up by its
// symbol as it is.
AnsiString LookupName(const TFonctionLib& entry, Machine machine);
