// The library object: the readers' input buffer, then the export list.
// Every reader and writer is one of its operations and takes the file name.
//
// This header is the core's front door: a front end or a test includes it
// (with the repository root on the include path) and links the core
// library.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "model/decorated_names.h"
#include "model/fonction_lib.h"
#include "model/outcome.h"
#include "model/tableau.h"
#include "platform/file_api.h"
#include "platform/message_box.h"
#include "platform/runtime.h"
#include "platform/windows_types.h"

// The 8 bytes that open a COFF archive.
inline constexpr char kArchiveSignature[] = "!<arch>\n";
inline constexpr std::size_t kArchiveSignatureSize = 8;

class TFichierLib {
 public:
  // The export list.
  TTableau<TFonctionLib> Fonctions;
  // The machine of the DLL or library the list was read from (0x14C:
  // 32-bit Intel, 0x8664: x64), set by ReadDllFile and, for another
  // machine than 32-bit Intel, by ReadCoffLibrary; 0 otherwise.
  std::uint16_t SourceMachine = 0;
  // The object modules of the last COFF library read that define an
  // "__imp_" symbol but are no imports, by file name: they were left out
  // of the list.
  std::vector<std::string> LeftOutObjects;
  // Why a library for 32-bit Intel code cannot be made of this list (it
  // was read from a DLL or library for another processor, whose clients
  // could not link it); empty when it can.
  std::string WrongMachine() const;

  // Input files (model/library_file.cpp).
  // Opens for reading (existing file, read access) or for writing (created
  // or emptied, read and write access), without sharing. On failure answers
  // INVALID_HANDLE_VALUE, with the system's reason in GetLastError().
  HANDLE OpenLibraryFile(const std::string& fileName, bool forReading);
  // True when the file starts with "!<arch>\n".
  bool IsCoffArchive(const std::string& fileName);

  // Readers: CannotOpen when the file cannot be opened (the list is then
  // untouched); otherwise the list is replaced by what the file holds.
  Outcome ReadCoffLibrary(const std::string& fileName);  // coff/coff_reader.cpp
  Outcome ReadOmfLibrary(const std::string& fileName);   // omf/omf_reader.cpp
  Outcome ReadDefFile(const std::string& fileName);      // def/def_reader.cpp
  // A DLL's export table, each export's convention found from its name or
  // its code (pe/).
  Outcome ReadDllFile(const std::string& fileName);

  // Writers: Done when the file was written whole. On failure the old file
  // stays as it was and the outcome says why.
  Outcome WriteCoffLibrary(const std::string& fileName);  // coff/library_writer.cpp
  Outcome WriteDefFile(const std::string& fileName);      // def/def_writer.cpp
  // An OMF import library, as Borland's tools link it (omf/).
  Outcome WriteBorlandLibrary(const std::string& fileName);
};

// Reads up to and including the next zero byte; answers the bytes before
// it (all read bytes when the file ends first).
AnsiString ReadZString(HANDLE file);

// Reads one line without its line feed and without any carriage return.
// False at the end of the file when no character was pending.
bool ReadLine(HANDLE file, AnsiString& line);

// Reverses the four bytes of a 32-bit number.
void SwapBytes32(const void* source, void* destination);
