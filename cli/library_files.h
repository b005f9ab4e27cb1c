// Reading and writing the files the commands name, choosing the reader or
// writer the way the window's Open and Save as do.
#pragma once

#include <string>

#include "cli/core_messages.h"
#include "model/fichier_lib.h"

namespace cli {

// True when the name ends in ".def", in any letter case.
bool HasDefExtension(const std::string& fileName);

// Fills lib's list from a definition file (asDef, or a ".def" name) or a
// library: COFF when it starts with the archive signature, OMF otherwise.
// False when the file could not be opened or read; the reason is on stderr.
bool ReadListFile(TFichierLib& lib, const std::string& fileName, bool asDef,
                  const CoreMessages& messages);

// Fills lib's list from a conventions source: a COFF import library, or a
// text file of decorated symbols. False as for ReadListFile.
bool ReadConventionsFile(TFichierLib& lib, const std::string& fileName,
                         const CoreMessages& messages);

// Writes lib's list as a definition file (".def" name) or as a COFF import
// library. False when it was not written; the old file is then untouched.
bool WriteListFile(TFichierLib& lib, const std::string& fileName);

}  // namespace cli
