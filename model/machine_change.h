// Moving a list from one machine to another. Off 32-bit Intel a client
// links against the export's own name: there is no "_" and no "@N" to
// spell a convention with, so an entry's symbol is its Name (or, for a
// C++ name, the whole symbol).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "model/export_list.h"

// The entry for a client symbol of a library for a machine without
// decorations: the symbol whole as Name, no convention, no length.
TFonctionLib FromUndecoratedSymbol(std::string_view symbol);

// Why the list cannot become one for `to`; empty when it can. A list that
// no file gave a machine (a .def, a list made by hand) can become any; a
// 32-bit Intel list can become a 64-bit one, losing its decorations; a
// list read from a 64-bit library or DLL stays with its machine, which
// the DLL it imports from was built for.
std::string WhyNotMachine(const ExportList& list, Machine to);
// The same for a list whose file gave it the machine `from` (0: none).
std::string WhyNotMachine(Machine from, Machine to);

// Gives the list the machine `to` (WhyNotMachine must be empty). From
// 32-bit Intel to a machine without decorations, each entry's symbol
// becomes the name the loader looked up; the names whose symbol changed
// are returned, in list order.
std::vector<AnsiString> ChangeMachine(ExportList& list, Machine to);
