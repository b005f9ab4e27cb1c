// How each import of a COFF library binds, read from the member that the
// first linker member names for its "__imp_" symbol: a short import member
// (import type, name type, ordinal, DLL name) or an object of the long
// import format (its address slot's ordinal or hint/name, its thunk, and
// the DLL name held by the objects it refers to).
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "coff/archive_reader.h"
#include "model/fonction_lib.h"
#include "model/machine.h"

namespace coff::parse {

struct ImportRequest {
  std::uint64_t memberAt = 0;  // the member's header offset
  std::string_view symbol;     // the client symbol: the "__imp_" name less "__imp_"
  // When the member is understood, its Dll, ExportName, ByOrdinal,
  // Ordinal and Kind are set; its other fields are left alone.
  ImportBinding* binding = nullptr;
  // The member is an import of the symbol: a short import member, or an
  // object of the long import format (an address slot in ".idata$5" that
  // holds an ordinal or points at a hint/name in ".idata$6", and the
  // import directory entry that names its DLL: its own, its GNU library
  // head's, or that of the "__IMPORT_DESCRIPTOR_" object an older
  // Microsoft import object refers to). Any other object that defines
  // "__imp_" + symbol is none.
  bool isImport = false;
  // The member is a whole object of this machine that imports nothing
  // under the symbol. A member that cannot be read at all is neither: its
  // entry stays, without a binding.
  bool notImport = false;
  // The machine the member is for, when it is an import.
  Machine machine = Machine::Unknown;
  // A short import's hint field (its ordinal when imported by ordinal).
  std::uint16_t hint = 0;
  // The import is an object of GNU's long format: it links to the head
  // object of its DLL.
  bool gnuObject = false;
};

// A short import member that says what no linker could act on: an import
// type, name type or machine that none knows, or names that run past the
// member. The whole library is then refused: its other imports would make
// a library that silently lacks this one.
struct DamagedMember {
  std::uint64_t memberAt = 0;
  std::string_view symbol;  // the request's
  std::string what;         // "has unknown name type 5"
  bool cutShort = false;    // the file ends inside the member
};

// names and offsets: the first linker member's names and member offsets,
// one offset for each name, for finding the objects an import refers to.
// Work and memory stay linear in the file's size however many requests
// share a member. Answers the first damaged member met, if any; the
// requests are then only partly read.
std::optional<DamagedMember> ReadImportBindings(ByteView file, const std::vector<std::string_view>& names, ByteView offsets,
                        std::vector<ImportRequest>& requests);

}  // namespace coff::parse
