// Reading and writing the files the commands name. Inputs are told by
// their content, whatever their names; outputs take the form asked for.
#pragma once

#include <string>

#include "files/fichier_lib.h"

namespace cli {

// The forms convert writes.
enum class OutputForm { Coff, Omf, Def, Gnu };

// True when the name ends in ".def", in any letter case.
bool HasDefExtension(const std::string& fileName);

// Prints "libmorph-cli: FILE: reason" on stderr.
void ReportFileError(const std::string& fileName, const std::string& reason);

// Fills lib's list from fileName: a definition file when asDef, otherwise
// whatever its content is (COFF or OMF import library, DLL, definition
// text). False when the file could not be read whole or holds no import;
// the reason is on stderr. A definition file's names are read for
// defMachine (Unknown: as 32-bit Intel, the list's machine left open).
bool ReadListFile(TFichierLib& lib, const std::string& fileName, bool asDef,
                  Machine defMachine = Machine::Unknown);

// Fills lib's list from a conventions source: a COFF import library, or a
// text file of decorated symbols. False as for ReadListFile.
bool ReadConventionsFile(TFichierLib& lib, const std::string& fileName);

// Writes lib's list in the given form. False when it was not written (the
// reason is on stderr); the old file is then untouched.
bool WriteListFile(TFichierLib& lib, const std::string& fileName, OutputForm form);
// A COFF library laid out member for member as LLVM's librarians lay it
// out, for builds that compare their bytes.
bool WriteCoffAsPeers(TFichierLib& lib, const std::string& fileName);
// An ARM64X list's views as two .def files: ARM64EC to fileName, ARM64 to
// nativeFile.
bool WriteHybridDefFiles(TFichierLib& lib, const std::string& fileName, const std::string& nativeFile);

}  // namespace cli
