// The export list with what the file it was read from said of it as a
// whole. Every reader fills one and every writer writes one.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "model/fonction_lib.h"
#include "model/form_losses.h"
#include "model/outcome.h"
#include "model/tableau.h"

struct ExportList {
  TTableau<TFonctionLib> Fonctions;
  // The machine of the DLL or library the list was read from (0x14C:
  // 32-bit Intel, 0x8664: x64), set by the DLL reader and, for another
  // machine than 32-bit Intel, by the COFF reader; 0 otherwise.
  std::uint16_t SourceMachine = 0;
  // The object modules of the last COFF library read that define an
  // "__imp_" symbol but are no imports, by file name: they were left out
  // of the list.
  std::vector<std::string> LeftOutObjects;
  // The list was read from a DLL whose code is packed (unpacked only when
  // it is loaded): conventions not told by a name were guessed for that
  // reason, and cannot be checked against the code.
  bool CodePacked = false;
};

// Why the list cannot be written in this form: it was read from a DLL for
// another processor, and the form's libraries are for 32-bit Intel code
// only ("the list is for another processor (x64), and ..."). Empty when it
// can be written; a definition file always can.
std::string WrongMachine(const ExportList& list, ListForm form);

// Makes room for count entries before a reader fills them: Done, or
// CannotOpen (ENOMEM) when the storage cannot be had, the list unchanged.
Outcome MakeRoom(TTableau<TFonctionLib>& list, std::uint64_t count);
