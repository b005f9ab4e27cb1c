// Links a small 32-bit Windows client against an import library with the
// real tools, and tells which names the program imports from which DLL.
//
// The client, assembled by LLVM 22's clang (--target=i686-pc-windows-msvc
// -c, or x86_64-pc-windows-msvc), calls every symbol it is given both through the import library's thunk
// ("_Foo@8") and through its import address slot ("__imp__Foo@8"); a symbol
// given with its "__imp_" prefix (a data import) is used through the slot
// only. lld-link (/subsystem:console /nodefaultlib) makes the program, and
// llvm-readobj --coff-imports lists its imports.
#pragma once

#include <ostream>
#include <string>
#include <vector>

struct ImportedName {
  std::string dll;   // as the import directory names it, e.g. "mylib.dll"
  std::string name;  // the name imported, e.g. "Foo" for "_Foo@8"; "@N" by ordinal N
};

bool operator==(const ImportedName& a, const ImportedName& b);
bool operator<(const ImportedName& a, const ImportedName& b);  // by DLL, then name
void PrintTo(const ImportedName& import, std::ostream* os);

struct LinkResult {
  bool ok = false;
  // When not ok: which step failed (a missing tool included) and what it
  // printed.
  std::string error;
  // Every import of the program, in the order llvm-readobj lists them.
  std::vector<ImportedName> imports;
};

// Works in workDir (an existing folder, e.g. a TempDir's path), where it
// leaves client.s, client.obj and client.exe. An x64 client (x64) is given
// x64 clients' symbols and reaches the slots relative to its instructions.
LinkResult LinkClientAgainst(const std::string& library, const std::vector<std::string>& symbols,
                             const std::string& workDir, bool x64 = false);

// The imports of a linked program or DLL, as llvm-readobj --coff-imports
// lists them; ok false (and error said) when it cannot read the file.
LinkResult ProgramImports(const std::string& program);
