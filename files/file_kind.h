// What a file is, by its content rather than by its name or by the filter
// a user chose: a file named ".lib" may be a .def text, a DLL or nothing
// of ours at all.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "files/fichier_lib.h"

enum class FileKind {
  CoffArchive,    // "!<arch>\n": a COFF import or static library
  OmfLibrary,     // an OMF library header record (0xF0)
  OmfObject,      // a lone OMF object module (THEADR 0x80 / LHEADR 0x82)
  PeImage,        // "MZ" with a "PE\0\0" header where e_lfanew points
  DefinitionText, // text with an EXPORTS (or LIBRARY/NAME) statement
  Empty,          // no byte at all
  Text,           // text, but no module-definition statement
  Unknown,        // anything else
};

// What the bytes of a file are.
FileKind KindOf(std::span<const std::uint8_t> bytes);

// Reads the file. CannotOpen (with errno) when it cannot be read;
// otherwise Done and kind set.
Outcome DetectFileKind(const std::string& fileName, FileKind& kind);

// A short English phrase for what the file is, for "not an import library
// (...)": "an empty file", "a text file", ...
const char* DescribeFileKind(FileKind kind);

// Reads fileName into lib by its content, whatever its name: COFF archive,
// OMF library, PE image (its export table), definition text. The file is
// read once, and its kind told from those bytes. Anything else, and any
// failure, leaves the list, its machine and its flags untouched (and
// answers NotImportLibrary for a file of another kind). kind tells what
// the file was taken for.
//
// What else a file may be taken for, when the user said what to expect:
// a lone OMF object read as a library's modules, a text without statement
// read as one name per line. And the machine a definition text, which
// names none, is read for (TFichierLib::ReadDefFile).
struct ReadOptions {
  bool OmfObjectAsLibrary = false;
  bool TextAsDefinition = false;
  Machine DefMachine = Machine::Unknown;
};
Outcome ReadByContent(TFichierLib& lib, const std::string& fileName, FileKind& kind,
                      const ReadOptions& options = {});
