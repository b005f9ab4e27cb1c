// How a COFF import library makes the loader find the export an entry is
// bound to, from the symbol its clients link against. The library writer
// builds its members from this choice, and the save's list of losses
// reads the same choice, so that what is named as lost before a save is
// what the writer then does.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "model/fonction_lib.h"
#include "model/machine.h"

enum class Reach : std::uint8_t {
  Ordinal,     // by the export's ordinal
  Symbol,      // by the symbol as it is
  NoPrefix,    // by the symbol less one leading '?', '@' or '_'
  Undecorate,  // by the symbol undecorated (also an entry made by hand)
  ExportAs,    // by a name written beside the symbol (ARM64EC)
  OwnObject,   // no rule reaches it: an object of its own names the export
};

struct ImportLookup {
  Reach How = Reach::Undecorate;
  // Ordinal: the ordinal; ExportAs and OwnObject: the name looked up.
  std::uint16_t Ordinal = 0;
  std::string ExportName;
};

// symbol: the client symbol the library gives the import (an ARM64EC code
// import's x64 name); machine: the library's own machine.
ImportLookup ChooseImportLookup(const TFonctionLib& entry, Machine machine, std::string_view symbol);

// The name the loader looks up by the lookup chosen for symbol: what its
// rule makes of the symbol, or the name written beside it; empty for an
// import by ordinal. Every writer names the export through this, and the
// proof of a write reads the file against it.
std::string LookedUpName(const ImportLookup& lookup, std::string_view symbol);
