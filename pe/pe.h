// DLLs: the door to this folder for the layers above.
#pragma once

#include <string>

#include "model/export_list.h"
#include "model/file_bytes.h"
#include "model/outcome.h"

namespace pe {

// Replaces the list with the DLL's exports, each export's convention found
// from its decorated name, else from its code, else from what the DLL's
// other functions share (and then marked as guessed); the list's
// SourceMachine is the image's machine. CannotOpen (the list untouched)
// when the file cannot be read.
Outcome ReadDll(const std::string& fileName, ExportList& list);
// The same for an image already read into memory; fileName names the DLL
// its imports come from.
Outcome ReadDll(FileBytes bytes, const std::string& fileName, ExportList& list);

}  // namespace pe
