// GNU long-format import libraries against the GNU toolchain: mingw-w64's
// GCC and ld link a client through ours and the client runs under Wine
// beside a test DLL; our reader reads ours as it reads GNU dlltool's; for
// ARM64, ld.lld links a client and llvm-readobj shows what it imports.
#include <gtest/gtest.h>

#include <algorithm>
#include <ostream>
#include <string>

#include "files/fichier_lib.h"
#include "tests/support/peers.h"
#include "tests/support/test_files.h"

namespace {

// A code import by name, a data import, a code import by ordinal of an
// export with no name (called through the thunk), and a stdcall function.
constexpr char kDllSource[] =
    "__declspec(dllexport) int add(int a, int b) { return a + b; }\n"
    "__declspec(dllexport) int counter = 41;\n"
    "int mul(int a, int b) { return a * b; }\n"
    "__declspec(dllexport) int __stdcall sub(int a, int b) { return a - b; }\n";
constexpr char kClientSource[] =
    "__declspec(dllimport) int add(int, int);\n"
    "__declspec(dllimport) extern int counter;\n"
    "int mul(int, int);\n"
    "__declspec(dllimport) int __stdcall sub(int, int);\n"
    "int main(void) {\n"
    "  return add(40, 2) == 42 && counter == 41 && mul(6, 7) == 42 && sub(50, 8) == 42 ? 42 : 1;\n"
    "}\n";

std::string DefText(bool decorated) {
  return std::string("LIBRARY gnutest.dll\nEXPORTS\nadd\ncounter DATA\nmul @7 NONAME\n") +
         (decorated ? "sub@8\n" : "sub\n");
}

// Wine's loader for the machine, or none.
std::string WineFor(Machine machine) {
  if (machine == Machine::I386) return HaveProgram("wine") && FileExists("/usr/lib/wine/wine") ? "wine" : "";
  if (HaveProgram("wine64")) return "wine64";
  return FileExists("/usr/lib/wine/wine64") ? "/usr/lib/wine/wine64" : "";
}

struct GnuRow {
  Machine machine;
  std::string triple;
  std::string dlltoolOptions;  // 32-bit Intel's .def names are read without "@n"
};

void PrintTo(const GnuRow& row, std::ostream* os) { *os << MachineName(row.machine); }

class GnuLibraryTest : public ::testing::TestWithParam<GnuRow> {};

TEST_P(GnuLibraryTest, GccAndLdLinkAClientThatRunsBesideTheDll) {
  const GnuRow& row = GetParam();
  const bool i386 = row.machine == Machine::I386;
  const std::string gcc = row.triple + "-gcc", dlltool = row.triple + "-dlltool";
  ASSERT_TRUE(Installed({gcc, dlltool}));
  TempDir dir;
  WriteFileText(dir.File("gnutest.c"), kDllSource);
  WriteFileText(dir.File("gnutest.def"), DefText(i386));
  WriteFileText(dir.File("client.c"), kClientSource);
  std::string log;
  ASSERT_EQ(RunCommand(gcc + " -shared -Wl,--kill-at -o " + dir.File("gnutest.dll") + " " +
                           dir.File("gnutest.c") + " " + dir.File("gnutest.def"), &log), 0) << log;

  // GNU dlltool's library of the .def, written again in our GNU form:
  // read back, it is the same list, and says its form.
  ASSERT_EQ(RunCommand(dlltool + " " + row.dlltoolOptions + " -d " + dir.File("gnutest.def") + " -l " +
                           dir.File("dlltool.a"), &log), 0) << log;
  TFichierLib theirs, ours;
  ASSERT_TRUE(theirs.ReadCoffLibrary(dir.File("dlltool.a")));
  ASSERT_TRUE(theirs.WriteGnuLibrary(dir.File("libgnutest.a")));
  // Deterministic: the same list gives the same bytes.
  ASSERT_TRUE(theirs.WriteGnuLibrary(dir.File("again.a")));
  EXPECT_EQ(ReadFileBytes(dir.File("libgnutest.a")), ReadFileBytes(dir.File("again.a")));
  // GNU's and LLVM's librarians read the members' long names alike.
  std::string gnuNames, llvmNames;
  ASSERT_EQ(RunCommand(row.triple + "-ar t " + dir.File("libgnutest.a"), &gnuNames), 0) << gnuNames;
  ASSERT_EQ(RunCommand(Peer("llvm-ar") + " t " + dir.File("libgnutest.a"), &llvmNames), 0) << llvmNames;
  EXPECT_EQ(llvmNames, gnuNames);
  ASSERT_TRUE(ours.ReadCoffLibrary(dir.File("libgnutest.a")));
  EXPECT_TRUE(ours.GnuForm);
  EXPECT_EQ(ours.SourceMachine, row.machine);
  auto byName = [](TFichierLib& lib) {
    std::vector<TFonctionLib> list = ListOf(lib);
    std::sort(list.begin(), list.end(), [](const auto& a, const auto& b) { return a.Name < b.Name; });
    return list;
  };
  EXPECT_EQ(byName(ours), byName(theirs));

  ASSERT_EQ(RunCommand(gcc + " -o " + dir.File("client.exe") + " " + dir.File("client.c") + " -L" + dir.Path() +
                           " -lgnutest", &log), 0) << log;
  const std::string wine = WineFor(row.machine);
  if (wine.empty()) GTEST_SKIP() << "no Wine loader for " << MachineName(row.machine) << ": the client was linked, not run";
  const std::string prefix = std::string(LIBMORPH_BINARY_DIR) + (i386 ? "/wine32" : "/wine64");
  const int status = RunCommand("cd '" + dir.Path() + "' && WINEPREFIX='" + prefix +
                                    "' WINEDEBUG=-all WINEDLLOVERRIDES='mscoree,mshtml=' timeout 300 " + wine +
                                    " client.exe", &log);
  if (status == 124) GTEST_SKIP() << "Wine did not start the client within 300 s";
  EXPECT_EQ(status, 42) << log;
}

INSTANTIATE_TEST_SUITE_P(Machines, GnuLibraryTest,
                         ::testing::Values(GnuRow{Machine::I386, "i686-w64-mingw32", "-k"},
                                           GnuRow{Machine::Amd64, "x86_64-w64-mingw32", ""}),
                         [](const auto& info) { return std::string(info.param.machine == Machine::I386 ? "i386" : "x64"); });

TEST(GnuLibraryArm64Test, LldLinksAClientAndImportsWhatItCalls) {
  ASSERT_TRUE(Installed({Peer("clang"), Peer("ld.lld"), Peer("llvm-readobj")}));
  TempDir dir;
  WriteFileText(dir.File("gnutest.def"), DefText(false));
  TFichierLib lib;
  ASSERT_TRUE(lib.ReadDefFile(dir.File("gnutest.def"), Machine::Arm64));
  ASSERT_TRUE(lib.WriteGnuLibrary(dir.File("libgnutest.a")));
  WriteFileText(dir.File("client.c"), std::string(kClientSource) + "int start(void) { return main(); }\n");
  std::string log;
  ASSERT_EQ(RunCommand(Peer("clang") + " --target=aarch64-w64-mingw32 -ffreestanding -c " + dir.File("client.c") +
                           " -o " + dir.File("client.o") + " && " + Peer("ld.lld") +
                           " -m arm64pe --entry=start -o " + dir.File("client.exe") + " " + dir.File("client.o") +
                           " " + dir.File("libgnutest.a"), &log), 0) << log;
  ASSERT_EQ(RunCommand(Peer("llvm-readobj") + " --coff-imports " + dir.File("client.exe"), &log), 0) << log;
  EXPECT_NE(log.find("Name: gnutest.dll"), std::string::npos) << log;
  for (const char* symbol : {"Symbol: add (0)", "Symbol: counter (0)", "Symbol:  (7)", "Symbol: sub (0)"})
    EXPECT_NE(log.find(symbol), std::string::npos) << symbol << "\n" << log;
}

}  // namespace
