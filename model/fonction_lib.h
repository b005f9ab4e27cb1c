// One exported function of the DLL.
#pragma once

#include <cstdint>

#include "platform/runtime.h"

struct TFonctionLib {
  AnsiString Name;             // plain name, no decoration
  std::int32_t ArgLength = 0;  // byte length of the arguments
  bool IsPascal = false;       // true: "_pascal", false: "_stdcall"
};
