// The symbols under which each toolchain knows an entry.
//
//   IsPascal  Microsoft              Borland
//   true      "_" Name "@" ArgLength  Name
//   false     "_" Name                "_" Name
#pragma once

#include "model/fonction_lib.h"

AnsiString MicrosoftName(const TFonctionLib& entry);
AnsiString BorlandName(const TFonctionLib& entry);
