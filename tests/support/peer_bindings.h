// What each import of a COFF import library binds to, as the peers see it,
// and the corpus's NAME.bindings.tsv lists to compare it with.
//
// ReadLibraryBindings runs LLVM 22's llvm-readobj on the library: for each
// short import member it prints the DLL, the import type, the name type,
// the export name the linker derives from them and the symbols; the
// ordinal, which it does not print, comes from the member's hint field. Long-format import objects (one COFF object per import, as
// GNU tools and our writer's renamed imports make them) are read from
// their bytes: the "__imp_" slot in .idata$5 holds the ordinal or is
// relocated to the hint/name.
#pragma once

#include <ostream>
#include <set>
#include <string>
#include <vector>

struct PeerBinding {
  std::string symbol;  // the "__imp_" symbol less "__imp_", e.g. "_Foo@8"
  std::string lookup;  // the export name the loader looks up, or "@N" for ordinal N
  std::string kind;    // "code", "data" or "const"
  // The DLL as the import names it; empty in a .tsv list, and for a GNU
  // object when the library names no single DLL.
  std::string dll;
};

bool operator==(const PeerBinding& a, const PeerBinding& b);
bool operator<(const PeerBinding& a, const PeerBinding& b);
void PrintTo(const PeerBinding& binding, std::ostream* os);

struct PeerBindings {
  bool ok = false;
  std::string error;  // when not ok: a missing tool, a tool's failure, an unreadable file
  std::vector<PeerBinding> bindings;  // in member order
};

PeerBindings ReadLibraryBindings(const std::string& library);

// The lines of a NAME.bindings.tsv (symbol, lookup, kind; tab-separated),
// in file order, dll left empty. Throws std::runtime_error on a file that
// cannot be read or a line without three columns.
std::vector<PeerBinding> LoadBindingsTsv(const std::string& path);

// The bindings without their DLLs, sorted: for comparing sets of lines.
std::vector<PeerBinding> WithoutDlls(std::vector<PeerBinding> bindings);

// The DLL's export names and "@N" for each of its ordinals, as
// llvm-readobj --coff-exports lists them; empty when it cannot.
std::set<std::string> DllExports(const std::string& dll);
