// Writes an archive: the signature, the first linker member (every symbol
// with the file offset of the member that defines it, in the order given),
// the second linker member (the member table, then the symbols sorted by
// their bytes with 1-based member indices; not in GNU's form), the
// long-names member when a name needs it, the EC symbol table when there is one, and the members. The import library writer hands it whole
// members, as LLVM's import-library writer hands its members to its
// archive writer.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "model/outcome.h"

namespace coff {

using Bytes = std::vector<std::uint8_t>;

struct ArchiveMember {
  std::string name;  // what the header's name field holds, e.g. "mylib.dll/"
  Bytes data;
};

// A symbol of the indexes and the member that defines it, by its slot in
// the member table.
struct ArchiveSymbol {
  std::string name;
  std::uint32_t slot = 0;
};

struct Archive {
  std::int32_t stamp = 0;  // every header's date
  std::vector<ArchiveMember> members;  // in file order
  // The member table of the indexes: the member at each slot.
  std::vector<std::uint32_t> table;
  std::vector<ArchiveSymbol> symbols;  // in the first linker member's order
  // An ARM64EC library's EC symbol table: its members' symbols, indexed
  // apart from the native ones, after the long-names member.
  std::vector<ArchiveSymbol> ecSymbols;
  // Names longer than the 16 bytes of the header's field go to the
  // long-names member ("/" and their offset there), as today's librarians
  // write them, rather than being cut as the classic writer cuts them.
  bool longNames = false;
  // GNU ar's form, which ld.bfd and GNU's tools expect of a GNU import
  // library: one index (the first linker member's layout) and long names
  // ending in "/\n". Microsoft's otherwise: both linker members, long
  // names ending in a zero.
  bool gnu = false;
  // Headers with owner 0, group 0 and the members' mode 644, as LLVM's
  // archive writer fills them; blank owner and group and mode 0 otherwise.
  bool ownerFields = false;
};

// The indices of names in the order of their bytes, as linkers compare
// them; equal names keep their order.
std::vector<std::uint32_t> ByteOrder(const std::vector<std::string_view>& names);

// The whole archive's bytes in out; Refused or CannotWrite, out then
// unspecified, when no archive can hold it. Member data is released as
// it is laid out.
Outcome BuildArchive(Archive& archive, Bytes& out);

}  // namespace coff
