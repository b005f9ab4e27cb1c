// OMF import libraries: the door to this folder for the layers above.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "model/export_list.h"
#include "model/outcome.h"

namespace omf {

// Replaces the list with every import definition of every module, in file
// order. CannotOpen (the list untouched) when the file cannot be read;
// NotImportLibrary with no detail (the list untouched) when it is no OMF
// library, for the caller to say what it is.
Outcome ReadLibrary(const std::string& fileName, ExportList& list);
// The same for a library already read into memory.
Outcome ReadLibrary(std::span<const std::uint8_t> bytes, ExportList& list);

// The bytes of the list as an OMF import library, one module per import;
// fileName names the DLL of entries that name none. Saved by the library
// object (files/) once proven.
Outcome BuildLibrary(const std::string& fileName, ExportList& list, std::vector<std::uint8_t>& out);

}  // namespace omf
