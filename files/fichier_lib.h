// The library object: the export list, and every reader and writer as one
// of its operations, each taking the file name. It is the core's front
// door: a front end or a test includes this header (with the repository
// root on the include path) and links the core. Each operation forwards to
// the folder of its format.
#pragma once

#include <cstdint>
#include <string>

#include "model/decorated_names.h"
#include "model/export_list.h"
#include "model/fonction_lib.h"
#include "model/machine.h"
#include "model/outcome.h"
#include "model/tableau.h"
#include "platform/file_api.h"
#include "platform/records.h"
#include "platform/runtime.h"
#include "platform/windows_types.h"

class TFichierLib : public ExportList {
 public:
  // Why a library of this form cannot be made of this list (it was read
  // from a DLL for another processor); empty when it can.
  std::string WrongMachine(ListForm form = ListForm::Coff) const;

  // Input files.
  // Opens for reading (existing file, read access) or for writing (created
  // or emptied, read and write access), without sharing. On failure answers
  // INVALID_HANDLE_VALUE, with the system's reason in GetLastError().
  HANDLE OpenLibraryFile(const std::string& fileName, bool forReading);
  // True when the file starts with "!<arch>\n".
  bool IsCoffArchive(const std::string& fileName);

  // Readers: CannotOpen when the file cannot be opened (the list is then
  // untouched); otherwise the list is replaced by what the file holds.
  Outcome ReadCoffLibrary(const std::string& fileName);
  Outcome ReadOmfLibrary(const std::string& fileName);
  // A definition file names no machine: its names are read as the 32-bit
  // Intel librarians read them, and the list's machine is left open. Or
  // as the librarians of machine read them, and the list takes it.
  Outcome ReadDefFile(const std::string& fileName);
  Outcome ReadDefFile(const std::string& fileName, Machine machine);
  // A DLL's export table, each export's convention found from its name or
  // its code.
  Outcome ReadDllFile(const std::string& fileName);

  // Writers: Done when the file was written whole. On failure the old file
  // stays as it was and the outcome says why.
  Outcome WriteCoffLibrary(const std::string& fileName);
  // The same laid out member for member as LLVM's librarians lay it out.
  Outcome WriteCoffLibraryAsPeers(const std::string& fileName);
  // An ARM64X list's definition file holds its ARM64EC view; nativeFile,
  // when named, gets its ARM64 view.
  Outcome WriteDefFile(const std::string& fileName);
  Outcome WriteDefFiles(const std::string& fileName, const std::string& nativeFile);
  // A COFF library in GNU's long format, as GNU ld links it.
  Outcome WriteGnuLibrary(const std::string& fileName);
  // An OMF import library, as Borland's tools link it.
  Outcome WriteBorlandLibrary(const std::string& fileName);
};
