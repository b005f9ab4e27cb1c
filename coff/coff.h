// COFF import libraries: the door to this folder for the layers above.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "model/export_list.h"
#include "model/outcome.h"

namespace coff {

// Replaces the list with every import the library names, each with how it
// binds. CannotOpen (the list untouched) when the file cannot be read.
Outcome ReadLibrary(const std::string& fileName, ExportList& list);
// The same for a library already read into memory.
Outcome ReadLibrary(std::span<const std::uint8_t> bytes, ExportList& list);

// How the members of a COFF library are laid out. Own: the imports in the
// byte order of their symbols, each hinted by its place in that order, so
// the loader's first guess in a DLL whose names are sorted alike hits.
// Peer: in list order, each hinted by its .def ordinal, owner fields 0, as
// llvm-lib and llvm-dlltool write them, for builds that compare bytes.
enum class CoffLayout { Own, Peer };

// The bytes of the list as a COFF import library for its machine: 32-bit
// Intel (also for a list without one), x64, ARM64, ARM64EC or ARM64X.
// fileName names the DLL of entries that name none. Nothing is saved
// here: the library object (files/) proves the bytes, then saves them.
Outcome BuildLibrary(const std::string& fileName, ExportList& list, CoffLayout layout,
                     std::vector<std::uint8_t>& out);

// The bytes of the list as an import library in GNU's long format, as
// GNU ld and lld link it: 32-bit Intel (also for a list without a
// machine), x64 or ARM64. Deterministic: no time stamp.
Outcome BuildGnuLibrary(const std::string& fileName, ExportList& list, std::vector<std::uint8_t>& out);

// True when the file starts with the archive signature.
// The DLLs a COFF library's members name, in member order: a short
// import's; an import descriptor's, in the ".idata$6" of the object that
// defines "__IMPORT_DESCRIPTOR_..." (Microsoft's and LLVM's); a GNU tail's,
// at its "..._iname" in ".idata$7". So a library of descriptors alone,
// which imports no function, still names its DLL.
std::vector<std::string> NamedDlls(std::span<const std::uint8_t> file);

bool StartsAsArchive(const std::string& fileName);

}  // namespace coff
