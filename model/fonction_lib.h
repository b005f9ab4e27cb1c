// One exported function of the DLL.
#pragma once

#include <cstdint>

#include "platform/runtime.h"

// What a client's import of the function holds: the address of code, or
// of data (only the "__imp_" pointer exists, no thunk), or constant data.
enum class ImportKind : std::uint8_t { Code, Data, Const };

// Which clients of a hybrid (ARM64X) DLL import the function: its ARM64
// view, its ARM64EC view, or both. Entries of any other list are Both.
enum class HybridView : std::uint8_t { Both, Arm64, Arm64ec };

// How the function is imported, when the file it came from said so. An
// entry made by hand carries none of it and is imported as it always was:
// from the DLL named after the output file, by its plain name.
struct ImportBinding {
  // The DLL's file name as the import names it ("fmod.dll"); empty: the
  // output file's name decides.
  AnsiString Dll;
  // What the loader looks up by name; empty when imported by ordinal or
  // when the source did not tell.
  AnsiString ExportName;
  // Imported by Ordinal. NoName: the export has no name at all, so only
  // the ordinal can reach it.
  bool ByOrdinal = false;
  bool NoName = false;
  // The ordinal when ByOrdinal; otherwise the export's ordinal when the
  // source named one (a .def "@N"), 0 when unknown.
  std::uint16_t Ordinal = 0;
  ImportKind Kind = ImportKind::Code;
  // The exact symbol a client links against, when it is neither "_" Name
  // "@" ArgLength nor "_" Name: C++ names, fastcall "@f@8", names with no
  // leading underscore. Empty otherwise.
  AnsiString Symbol;
  // Exported but left out of import libraries (.def PRIVATE).
  bool Private = false;
  // A forwarder: the DLL passes the import on to "OTHER.Func".
  AnsiString ForwardTo;
  // In an ARM64X list: the view whose clients import it.
  HybridView View = HybridView::Both;
  // Imported through a delay-load library: the DLL is loaded, and the
  // import bound, at the first call rather than when the program starts.
  bool Delayed = false;

  // The source told what the loader should look up.
  bool Exported() const { return ByOrdinal || !ExportName.empty(); }
  // Nothing beyond a hand-made entry.
  bool Empty() const {
    return Dll.empty() && ExportName.empty() && !ByOrdinal && !NoName && Ordinal == 0 &&
           Kind == ImportKind::Code && Symbol.empty() && !Private && ForwardTo.empty() &&
           View == HybridView::Both && !Delayed;
  }
};

struct TFonctionLib {
  AnsiString Name;             // plain name, no decoration
  std::int32_t ArgLength = 0;  // byte length of the arguments
  bool IsPascal = false;       // true: "_pascal", false: "_stdcall"
  ImportBinding Import;        // how it is imported, when known
  // The convention was guessed (from the DLL's other functions), not read
  // from a name or from the function's code: the user should check it.
  bool Unsure = false;
};
