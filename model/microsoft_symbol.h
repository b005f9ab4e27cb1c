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

// The entry a client symbol stands for, its exact symbol kept where the
// two conventions' forms cannot give it back: a C++ name ("?f@@YAXXZ") is
// the Name and the Symbol whole, never cut at an at sign; any other is
// undone by FromMicrosoftName and keeps the symbol in Import.Symbol when
// MicrosoftName would not rebuild it ("@f@8", "Foo@8", "_a@b@8", not
// "_Foo@8" nor "_Foo").
TFonctionLib FromClientSymbol(std::string_view symbol);
