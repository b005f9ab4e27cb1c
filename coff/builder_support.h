// The member builders of the COFF import library writer. Each builds one
// archive member's data as bytes, from the records of coff_layout.h; the
// writer (library_writer.cpp) lays the members out and writes the file.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "coff/coff_layout.h"
#include "model/fonction_lib.h"

namespace coff {

using MemberBytes = std::vector<std::uint8_t>;

// A text as the C formatting functions see it: up to its first zero byte.
// A name with a zero byte inside would otherwise split into two names.
inline std::string_view AsCString(const std::string& text) {
  return std::string_view(text.c_str());
}

inline void AppendBytes(MemberBytes& out, const void* bytes, std::size_t count) {
  if (count == 0) return;
  const std::size_t at = out.size();
  out.resize(at + count);
  std::memcpy(out.data() + at, bytes, count);
}

template <std::size_t N>
inline void AppendRecord(MemberBytes& out, const std::array<std::uint8_t, N>& bytes) {
  AppendBytes(out, bytes.data(), N);
}

inline void AppendText(MemberBytes& out, std::string_view text) {
  AppendBytes(out, text.data(), text.size());
}

// The text and its terminating zero byte.
inline void AppendName(MemberBytes& out, std::string_view text) {
  AppendText(out, text);
  out.push_back(0);
}

inline void AppendZeros(MemberBytes& out, std::size_t count) { out.resize(out.size() + count); }

// The data size of the member being built, as the 32-bit fields hold it.
inline std::uint32_t Size32(std::size_t size) { return static_cast<std::uint32_t>(size); }

// A DLL the library imports from: its file name as imports name it
// ("mylib.dll") and the base its fixed symbols are named after ("mylib").
struct DllNames {
  std::string file;
  std::string base;
};
// "fmod.dll" gives base "fmod"; a name without a dot is its own base.
DllNames DllNamesOf(std::string_view file);

// "__IMPORT_DESCRIPTOR_" B, 0x7F B "_NULL_THUNK_DATA", "__imp_" S.
std::string ImportDescriptorSymbol(const DllNames& dll);
std::string NullThunkSymbol(const DllNames& dll);
std::string ImportSymbol(std::string_view symbol);

// The three small objects of a DLL's import directory entry
// (import_objects.cpp). The null import descriptor is one per library; it
// names the first DLL in its debug block.
MemberBytes ImportDescriptorObject(const DllNames& dll, std::int32_t stamp);
MemberBytes NullImportDescriptorObject(const DllNames& dll, std::int32_t stamp);
MemberBytes NullThunkObject(const DllNames& dll, std::int32_t stamp);

// One import of the library.
struct ImportMember {
  std::string symbol;  // S: what the client links against
  const DllNames* dll = nullptr;
  ImportKind kind = ImportKind::Code;
  // Short form: the name type and the hint field (the ordinal for
  // NameType::Ordinal).
  NameType nameType = NameType::Undecorate;
  std::uint16_t hint = 0;
  // Long form: the export the loader looks up, when no name type reaches
  // it from S; the hint above goes into its hint/name.
  bool longForm = false;
  std::string exportName;
};

// The short import member (short_import.cpp) and the long-format import
// object (import_objects.cpp).
MemberBytes ShortImportObject(const ImportMember& import, std::int32_t stamp);
MemberBytes LongImportObject(const ImportMember& import, std::int32_t stamp);

// The archive's two symbol indexes (linker_members.cpp). Each symbol names
// its member by its place in the member table: the fixed objects in file
// order, then each import in list order.
struct IndexedSymbol {
  std::string name;
  std::uint32_t member = 0;
};
// Their sizes depend on the names alone, so the writer can place every
// member before it builds them.
std::size_t FirstLinkerSize(const std::vector<IndexedSymbol>& symbols);
std::size_t SecondLinkerSize(const std::vector<IndexedSymbol>& symbols, std::size_t members);
// Symbols in the given order, each with its member's file offset.
MemberBytes FirstLinkerMember(const std::vector<IndexedSymbol>& symbols,
                              const std::vector<std::uint32_t>& memberOffsets);
// The member table, then the symbols sorted by their bytes with 1-based
// member indices.
MemberBytes SecondLinkerMember(const std::vector<IndexedSymbol>& symbols,
                               const std::vector<std::uint32_t>& memberOffsets);

}  // namespace coff
