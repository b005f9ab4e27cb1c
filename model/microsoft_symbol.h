// Turning a Microsoft-decorated symbol back into a list entry: the inverse
// of MicrosoftName, by the same rules the COFF reader reads a library by.
//
//   one leading underscore is removed;
//   "Name@Length": Name, Length, _pascal (Length 0 when it is no integer);
//   no at sign:    the whole rest, 0, _stdcall.
//
// So _Foo@12 gives Foo, 12, _pascal; _Foo gives Foo, 0, _stdcall; Foo@8
// gives Foo, 8, _pascal; _a@b@8 gives a, 0, _pascal (the split is at the
// first at sign).
#pragma once

#include <string_view>

#include "model/fonction_lib.h"

TFonctionLib FromMicrosoftName(std::string_view symbol);

// The entry for the symbol a client links against, as an import library
// names it. A C++ name ("?f@@YAXXZ") is kept whole, as Name and Symbol,
// never cut at its at signs; a fastcall name "@f@8" is f, 8, _pascal with
// its whole symbol. Any other symbol
// is read as above, and the entry keeps the exact symbol in Import.Symbol
// whenever MicrosoftName would not give it back ("Foo@8", "_a@b@8"; not
// "_Foo@8" nor "_Foo").
TFonctionLib FromClientSymbol(std::string_view symbol);
