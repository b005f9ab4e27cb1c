// The export list with what the file it was read from said of it as a
// whole. Every reader fills one and every writer writes one.
#pragma once

#include <cstdint>
#include <string>

#include "model/fonction_lib.h"
#include "model/form_losses.h"
#include "model/outcome.h"
#include "model/tableau.h"

struct ExportList {
  TTableau<TFonctionLib> Fonctions;
  // The machine of the DLL the list was read from (0x14C: 32-bit Intel,
  // 0x8664: x64), set by the DLL reader; 0 for a list read from anything
  // else.
  std::uint16_t SourceMachine = 0;
  // The list was read from a DLL whose code is packed (unpacked only when
  // it is loaded): conventions not told by a name were guessed for that
  // reason, and cannot be checked against the code.
  bool CodePacked = false;
};

// Why the list cannot be written in this form: it was read from a DLL for
// another processor, and the form's libraries are for 32-bit Intel code
// only ("a 64-bit image, and ..."). Empty when it can be written; a
// definition file always can.
std::string WrongMachine(const ExportList& list, ListForm form);

// Makes room for count entries before a reader fills them: Done, or
// CannotOpen (ENOMEM) when the storage cannot be had, the list unchanged.
Outcome MakeRoom(TTableau<TFonctionLib>& list, std::uint64_t count);
