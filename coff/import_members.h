// The members of a COFF import library, each built as bytes from the
// records of coff_records.h: the three small objects of each DLL's import
// directory entry, and one member per import (a short import member, or a
// long-format import object when no name type reaches the export). The
// library writer (library_writer.cpp) decides what to build and hands the
// members to the archive writer.
#pragma once

#include <cstddef>
#include <array>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "coff/archive_writer.h"
#include "coff/coff_records.h"
#include "model/fonction_lib.h"
#include "model/machine.h"
#include "model/tableau.h"

namespace coff {

// A text as the C formatting functions see it: up to its first zero byte.
// A name with a zero byte inside would otherwise split into two names.
inline std::string_view AsCString(const std::string& text) { return std::string_view(text.c_str()); }

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

// The three small objects of a DLL's import directory entry. The null
// import descriptor is one per library; it names the first DLL in its
// debug block.
// machine: 32-bit Intel, x64 or ARM64.
Bytes ImportDescriptorObject(const DllNames& dll, std::int32_t stamp, Machine machine = Machine::I386);
Bytes NullImportDescriptorObject(const DllNames& dll, std::int32_t stamp, Machine machine = Machine::I386);
Bytes NullThunkObject(const DllNames& dll, std::int32_t stamp, Machine machine = Machine::I386);

// The same three in the lean shape of LLVM's librarian (no debug block,
// no "@comp.id"), which hybrid ARM64X libraries carry.
Bytes LeanImportDescriptorObject(const DllNames& dll, std::int32_t stamp, Machine machine);
Bytes LeanNullImportDescriptorObject(std::int32_t stamp, Machine machine);
Bytes LeanNullThunkObject(const DllNames& dll, std::int32_t stamp, Machine machine);
// An object making weak an alias of target, which the linker resolves to
// target's definition: how LLVM's librarians import an export that
// another import of the library already reaches.
Bytes WeakAliasObject(const std::string& weak, const std::string& target, Machine machine);

inline constexpr std::uint32_t kSectionIdataCharacteristics = 0xC0300040;  // read/write, align 4
inline constexpr std::uint32_t kSectionIdata8Characteristics = 0xC0400040;  // read/write, align 8
inline constexpr std::uint32_t kSectionIdata6Characteristics = 0xC0200040;  // read/write, align 2
inline constexpr std::uint32_t kSectionTextCharacteristics = 0x60300020;  // code, exec, read, align 4

// The import thunk: jmp dword ptr [__imp_S], padded to 8 bytes.
inline constexpr std::array<std::uint8_t, 8> kJumpThunk = {0xFF, 0x25, 0, 0, 0, 0, 0x90, 0x90};
inline constexpr std::uint32_t kJumpThunkTarget = 2;  // where the slot's address goes
// ARM64's: adrp x16, __imp_S; ldr x16, [x16, :lo12:__imp_S]; br x16.
inline constexpr std::array<std::uint8_t, 12> kArm64Thunk = {0x10, 0, 0, 0x90, 0x10, 0x02, 0x40, 0xF9,
                                                             0x00, 0x02, 0x1F, 0xD6};
inline constexpr std::uint32_t kArm64ThunkLoad = 4;  // the ldr, whose offset is relocated

// One import of the library.
struct ImportMember {
  std::string symbol;  // S: what the client links against
  // What the short import names, when not S: an ARM64EC function's body
  // name ("#S").
  std::string memberSymbol;
  const DllNames* dll = nullptr;
  Machine machine = Machine::I386;  // or x64, ARM64, ARM64EC
  ImportKind kind = ImportKind::Code;
  // Short form: the name type and the hint field (the ordinal for
  // NameType::Ordinal).
  NameType nameType = NameType::Undecorate;
  std::uint16_t hint = 0;
  // Long form: no name type reaches the export from S; the hint above
  // goes into its hint/name.
  bool longForm = false;
  // What the loader looks up by name (LookedUpName of the plan's choice):
  // what the long form and NameType::ExportAs write after the DLL's name,
  // and what GNU's objects name.
  std::string exportName;
  // GNU's form: imported through a delay-load library.
  bool delayed = false;
  // LLVM's layout: the symbol of another import reaching the same export,
  // of which this one is a weak alias.
  std::string aliasOf;
};

// The imports of a list in list order, private entries left out, each
// with its client symbol, its DLL and how the loader reaches its export;
// the DLLs in the order the list first names them. An entry without a DLL
// imports from defaultDll.
struct Plan {
  std::vector<DllNames> dlls;
  std::vector<ImportMember> imports;
  std::vector<std::size_t> importDll;  // each import's index in dlls
};
Plan PlanImports(TTableau<TFonctionLib>& list, Machine machine, const std::string& defaultDll);

Bytes ShortImportObject(const ImportMember& import, std::int32_t stamp);
Bytes LongImportObject(const ImportMember& import, std::int32_t stamp);

// Appending to a member's bytes.
inline void AppendBytes(Bytes& out, const void* bytes, std::size_t count) {
  if (count == 0) return;
  const std::size_t at = out.size();
  out.resize(at + count);
  std::memcpy(out.data() + at, bytes, count);
}
template <typename R>
inline void AppendRecord(Bytes& out, const R& record) {
  const std::size_t at = out.size();
  out.resize(at + R::kSize);
  records::Encode(record, out.data() + at);
}
inline void AppendText(Bytes& out, std::string_view text) { AppendBytes(out, text.data(), text.size()); }
// The text and its terminating zero byte.
inline void AppendName(Bytes& out, std::string_view text) {
  AppendText(out, text);
  out.push_back(0);
}
inline void AppendZeros(Bytes& out, std::size_t count) { out.resize(out.size() + count); }

// The data size of the member being built, as the 32-bit fields hold it.
inline std::uint32_t Size32(std::size_t size) { return static_cast<std::uint32_t>(size); }

}  // namespace coff
