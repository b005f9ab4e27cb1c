// How each import of a COFF library binds, read from the member that the
// first linker member names for its "__imp_" symbol: a short import member
// (import type, name type, ordinal, DLL name) or an object of the long
// import format (its address slot's ordinal or hint/name, its thunk, and
// the DLL name held by the objects it refers to).
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

#include "coff/archive_reader.h"
#include "model/fonction_lib.h"

namespace coff::parse {

struct ImportRequest {
  std::uint64_t memberAt = 0;  // the member's header offset
  std::string_view symbol;     // the client symbol: the "__imp_" name less "__imp_"
  // When the member is understood, its Dll, ExportName, ByOrdinal,
  // Ordinal and Kind are set; its other fields are left alone.
  ImportBinding* binding = nullptr;
  // Set with the binding: the machine the member is for.
  std::uint16_t machine = 0;
};

// names and offsets: the first linker member's names and member offsets,
// one offset for each name, for finding the objects an import refers to.
// Work and memory stay linear in the file's size however many requests
// share a member.
void ReadImportBindings(ByteView file, const std::vector<std::string_view>& names, ByteView offsets,
                        std::vector<ImportRequest>& requests);

}  // namespace coff::parse
