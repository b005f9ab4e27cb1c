// Libraries other producers make from one .def file read back with every
// import bound as the linker binds it: a client linked against the library
// imports from the DLL each entry names what the entry says (a name, or an
// ordinal), and only data entries lack a thunk.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/link_check.h"
#include "tests/support/peers.h"
#include "tests/support/test_files.h"

namespace {

const char* const kDef =
    "LIBRARY x.dll\n"
    "EXPORTS\n"
    "  Plain\n"
    "  ByOrd @5 NONAME\n"
    "  NamedOrd @6\n"
    "  DataVar DATA\n"
    "  Alias = Target\n"
    "  _Std@8\n"
    "  Dec@4\n"
    "  @Fast@12\n"
    "  ?Cpp@@YAXH@Z\n";
constexpr std::size_t kExports = 9;

struct Producer {
  const char* what;
  std::string tool;
  const char* arguments;  // DEF and LIB stand for the files
  bool shortFormat;       // short import members, which llvm-readobj describes
};

// llvm-lib's options are written -def: since a path starting with a slash
// would read as an option.
const Producer kProducers[] = {
    {"llvm_dlltool", Peer("llvm-dlltool"), "-m i386 -d DEF -l LIB", true},
    {"llvm_dlltool_k", Peer("llvm-dlltool"), "-m i386 -k -d DEF -l LIB", true},
    {"llvm_lib", Peer("llvm-lib"), "-machine:x86 -def:DEF -out:LIB", true},
    {"gnu_dlltool", "i686-w64-mingw32-dlltool", "-d DEF -l LIB", false},
    {"gnu_dlltool_k", "i686-w64-mingw32-dlltool", "-k -d DEF -l LIB", false},
};

void PrintTo(const Producer& p, std::ostream* os) { *os << p.what; }

std::string Replace(std::string text, const std::string& from, const std::string& to) {
  return text.replace(text.find(from), from.size(), to);
}

std::string Shell(const std::string& command) {
  std::string output;
  EXPECT_EQ(RunCommand(command, &output), 0) << command << "\n" << output;
  return output;
}

std::string KindText(ImportKind kind) {
  return kind == ImportKind::Code ? "code" : kind == ImportKind::Data ? "data" : "const";
}

class CoffReaderPeersTest : public ::testing::TestWithParam<Producer> {
 protected:
  // The producer's library of kDef.
  std::string Make() {
    const Producer& p = GetParam();
    const std::string def = dir.File("x.def");
    const std::string lib = dir.File("x.lib");
    WriteFileText(def, kDef);
    std::string command = p.tool + " " + p.arguments;
    Shell(Replace(Replace(command, "DEF", "'" + def + "'"), "LIB", "'" + lib + "'"));
    // Some tools (LLVM 14's llvm-lib) ignore options they do not know and
    // succeed without writing anything.
    EXPECT_TRUE(FileExists(lib)) << command;
    return lib;
  }

  TempDir dir;
};

TEST_P(CoffReaderPeersTest, EveryImportBindsAsTheLinkerBindsIt) {
  ASSERT_TRUE(Installed({GetParam().tool}));
  const std::string lib = Make();
  ASSERT_FALSE(HasFailure());
  TFichierLib read;
  ASSERT_TRUE(read.ReadCoffLibrary(lib));
  const std::vector<TFonctionLib> list = ListOf(read);
  ASSERT_EQ(list.size(), kExports);

  std::vector<std::string> symbols;
  std::vector<ImportedName> expected;
  std::map<std::string, std::string> kinds;
  for (const TFonctionLib& e : list) {
    const bool data = e.Import.Kind == ImportKind::Data;
    symbols.push_back((data ? "__imp_" : "") + MicrosoftName(e));
    expected.push_back(
        {e.Import.Dll, e.Import.ByOrdinal ? "@" + std::to_string(e.Import.Ordinal) : std::string(e.Import.ExportName)});
    kinds[MicrosoftName(e)] = KindText(e.Import.Kind);
    if (data) {  // no thunk to call
      TempDir work;
      const LinkResult call = LinkClientAgainst(lib, {MicrosoftName(e)}, work.Path());
      EXPECT_NE(call.error.find("undefined symbol: " + MicrosoftName(e)), std::string::npos)
          << MicrosoftName(e) << ": " << call.error;
    }
  }
  const LinkResult linked = LinkClientAgainst(lib, symbols, dir.Path());
  ASSERT_TRUE(linked.ok) << linked.error;
  std::vector<ImportedName> imports = linked.imports;
  std::sort(imports.begin(), imports.end());
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(imports, expected);

  // The import type of each short member, as llvm-readobj describes it.
  if (!GetParam().shortFormat) return;
  std::map<std::string, std::string> described;
  std::istringstream in(Shell(Peer("llvm-readobj") + " --coff-imports '" + lib + "'"));
  std::string type;
  for (std::string line; std::getline(in, line);) {
    if (line.starts_with("Type: ")) type = line.substr(6);
    if (line.starts_with("Symbol: __imp_") && !type.empty()) described[line.substr(14)] = type;
    if (line.empty()) type.clear();
  }
  EXPECT_EQ(kinds, described);
}

INSTANTIATE_TEST_SUITE_P(Producers, CoffReaderPeersTest, ::testing::ValuesIn(kProducers),
                         [](const auto& info) { return std::string(info.param.what); });

// Without the tail object that holds the DLL name, the long-format imports
// still bind by name or ordinal, from a DLL left for the output to name.
TEST(CoffReaderToolsTest, ALongFormatLibraryWithoutItsDllNameKeepsTheRest) {
  ASSERT_TRUE(Installed({"i686-w64-mingw32-dlltool", Peer("llvm-ar")}));
  TempDir dir;
  WriteFileText(dir.File("x.def"), kDef);
  const std::string lib = dir.File("x.a");
  // Its members are named after the library's path as given: x_a_t.o is the tail.
  Shell("cd '" + dir.Path() +
        "' && i686-w64-mingw32-dlltool -d x.def -l x.a && " + Peer("llvm-ar") + " d x.a x_a_t.o");
  TFichierLib read;
  ASSERT_TRUE(read.ReadCoffLibrary(lib));
  ASSERT_EQ(read.Fonctions.Count, kExports);
  for (const TFonctionLib& e : ListOf(read)) {
    EXPECT_EQ(e.Import.Dll, "") << e.Name;
    EXPECT_TRUE(e.Import.Exported()) << e.Name;
  }
}

TEST(CoffReaderToolsTest, ALibraryOfObjectsIsAStaticLibrary) {
  ASSERT_TRUE(Installed({Peer("clang"), Peer("llvm-ar")}));
  TempDir dir;
  WriteFileText(dir.File("a.c"), "int f(int x) { return x + 1; }\nint counter;\n");
  WriteFileText(dir.File("b.c"), "void __stdcall g(int x) { (void)x; }\n");
  for (const char* name : {"a", "b"})
    Shell(Peer("clang") + " --target=i686-pc-windows-msvc -c -o '" + dir.File(std::string(name) + ".obj") +
          "' '" + dir.File(std::string(name) + ".c") + "'");
  const std::string lib = dir.File("static.lib");
  Shell(Peer("llvm-ar") + " rcs '" + lib + "' '" + dir.File("a.obj") + "' '" + dir.File("b.obj") + "'");
  TFichierLib read;
  const Outcome outcome = read.ReadCoffLibrary(lib);
  EXPECT_EQ(outcome.Kind, OutcomeKind::StaticLibrary) << Describe(outcome);
  EXPECT_EQ(outcome.Count, 2u);
  EXPECT_EQ(read.Fonctions.Count, 0u);
}

}  // namespace
