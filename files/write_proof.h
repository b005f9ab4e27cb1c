// The proof of a write. A writer that builds a library whose imports do
// not bind makes a program that links and then fails at load time, far
// from here; so before any write replaces a file, the bytes about to go
// in its place are read back by this program's own reader for the form,
// and each import they give is compared with what the list asked for:
// the client symbol (and so its "__imp_" pointer), what the loader looks
// up (name or ordinal), the DLL, code or data, delay-loaded or not, the
// machine and the hybrid view. What the form loses and the user was told
// of before the save (LossesOf) is taken as lost; any other difference
// is an internal error that names the entry, and nothing is written.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "model/export_list.h"
#include "model/outcome.h"

// Refused, naming the entry, when a name of the list holds a control
// character (model/entry_edits.h): no form may hold one.
Outcome CheckNamesForWrite(const ExportList& list);

// Done when bytes, read back in form, import what list asks for, less
// what LossesOf names; Unproven, naming the first entry that differs,
// otherwise. fileName is the file the bytes are for: it names the DLL of
// entries that name none.
Outcome ProveWrite(ExportList& list, ListForm form, const std::string& fileName,
                   std::span<const std::uint8_t> bytes);
