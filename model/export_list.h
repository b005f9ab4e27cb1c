// The export list with what the file it was read from said of it as a
// whole. Every reader fills one and every writer writes one.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "model/fonction_lib.h"
#include "model/machine.h"
#include "model/form_losses.h"
#include "model/outcome.h"
#include "model/tableau.h"

struct ExportList {
  TTableau<TFonctionLib> Fonctions;
  // The machine the list's imports are for (model/machine.h), as the file
  // it was read from said: a COFF library's members, a DLL's header. 0
  // for a list no file gave a machine (a .def, an OMF library, a list
  // made by hand), which is taken as 32-bit Intel.
  Machine SourceMachine = Machine::Unknown;
  // The object modules of the last COFF library read that define an
  // "__imp_" symbol but are no imports, by file name: they were left out
  // of the list.
  std::vector<std::string> LeftOutObjects;
  // The list was read from a DLL whose code is packed (unpacked only when
  // it is loaded): conventions not told by a name were guessed for that
  // reason, and cannot be checked against the code.
  bool CodePacked = false;
  // The list was read from a COFF library in GNU's long format (a head
  // object per DLL, an object per import), which a save back asks before
  // writing in Microsoft's short form.
  bool GnuForm = false;
  // The DLL the list imports from as a whole: as its file named it (a
  // .def's LIBRARY, the one DLL of a library read) or as a command line
  // gave it (-D, /name:). Entries that name no DLL import from it, and a
  // list without imports is still written for it. Empty: the DLL named
  // after the output file.
  std::string Dll;
};

// The one DLL every entry names (as Windows compares file names); empty
// when the list has no entry, an entry names none, or they name several.
std::string SoleDll(const ExportList& list);

// The DLL of the list's entries that name none, written to outputFile:
// the list's own, or the one named after the file.
std::string DllFor(const ExportList& list, const std::string& outputFile);

// Exchanges two lists whole, with what their files said of them.
void Swap(ExportList& a, ExportList& b) noexcept;

// Why the list cannot be written in this form: the form's libraries are
// not made for its machine (OMF: 32-bit Intel only; COFF: 32-bit Intel,
// x64, ARM64, ARM64EC and the hybrid ARM64X). Empty when it can be written; a definition file always
// can.
std::string WrongMachine(const ExportList& list, ListForm form);

// Marks every code import as delay-loaded (its DLL loaded at its first
// call, through a GNU delay-load library). Answers the data and constant
// imports, which no call can wait for: they stay ordinary imports.
std::vector<AnsiString> DelayLoad(ExportList& list);

// Makes room for count entries before a reader fills them: Done, or
// CannotOpen (ENOMEM) when the storage cannot be had, the list unchanged.
Outcome MakeRoom(TTableau<TFonctionLib>& list, std::uint64_t count);
