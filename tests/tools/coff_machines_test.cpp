// x64 and ARM64 import libraries against the peers: llvm-dlltool's read
// back as they bind, ours bind the same, and lld-link links a client of
// that machine against ours to the imports llvm-readobj shows.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "files/fichier_lib.h"
#include "model/machine_change.h"
#include "tests/support/peer_bindings.h"
#include "tests/support/test_files.h"

namespace {

struct Target {
  const char* name;         // for the test's name and lld-link /machine:
  const char* dlltool;      // llvm-dlltool -m
  const char* clangTarget;  // clang --target=
  std::uint16_t machine;
};

class CoffMachinesTest : public ::testing::TestWithParam<Target> {};

// Names, a name with an at sign and one with a leading underscore (no
// decorations here: both are the symbols), by ordinal, NONAME and DATA.
constexpr char kDef[] =
    "LIBRARY t.dll\nEXPORTS\n  Foo\n  Bar@8\n  _under\n  Ord @5 NONAME\n  Var DATA\n  Num @7\n";

TEST_P(CoffMachinesTest, PeerLibraryReadsBackAndOursBindsAndLinksTheSame) {
  const Target& t = GetParam();
  for (const char* tool : {"llvm-dlltool", "llvm-readobj", "clang", "lld-link"})
    if (!HaveProgram(tool)) GTEST_SKIP() << tool << " is missing: run scripts/install-deps";
  TempDir dir;
  WriteFileText(dir.File("t.def"), kDef);
  std::string log;
  ASSERT_EQ(RunCommand(std::string("llvm-dlltool -m ") + t.dlltool + " -d " + dir.File("t.def") + " -l " +
                           dir.File("peer.lib"), &log), 0) << log;

  TFichierLib lib;
  ASSERT_TRUE(lib.ReadCoffLibrary(dir.File("peer.lib")));
  EXPECT_EQ(lib.SourceMachine, t.machine);
  std::vector<std::string> symbols;
  for (const TFonctionLib& e : ListOf(lib)) symbols.push_back(MicrosoftName(e, lib.SourceMachine));
  EXPECT_EQ(symbols, (std::vector<std::string>{"Foo", "Bar@8", "_under", "Ord", "Var", "Num"}));
  ASSERT_TRUE(lib.WriteCoffLibrary(dir.File("ours.lib")));

  const PeerBindings peer = ReadLibraryBindings(dir.File("peer.lib"));
  const PeerBindings ours = ReadLibraryBindings(dir.File("ours.lib"));
  ASSERT_TRUE(peer.ok && ours.ok) << peer.error << ours.error;
  EXPECT_EQ(WithoutDlls(ours.bindings), WithoutDlls(peer.bindings));
  TFichierLib back;
  ASSERT_TRUE(back.ReadCoffLibrary(dir.File("ours.lib")));
  EXPECT_EQ(back.SourceMachine, t.machine);
  EXPECT_EQ(ListOf(back).size(), symbols.size());

  WriteFileText(dir.File("c.c"),
                "void Foo(void); void _under(void); void Ord(void); void Num(void);\n"
                "__declspec(dllimport) extern int Var;\n"
                "int start(void) { Foo(); _under(); Ord(); Num(); return Var; }\n");
  ASSERT_EQ(RunCommand(std::string("clang --target=") + t.clangTarget + " -c " + dir.File("c.c") + " -o " +
                           dir.File("c.obj") + " && lld-link /machine:" + t.name +
                           " /subsystem:console /nodefaultlib /entry:start /out:" + dir.File("c.exe") + " " +
                           dir.File("c.obj") + " " + dir.File("ours.lib") + " && llvm-readobj --coff-imports " +
                           dir.File("c.exe"), &log), 0) << log;
  for (const char* shown : {"Name: t.dll", "Symbol: Foo (", "Symbol: _under (", "Symbol: Var (",
                            "Symbol:  (5)", "Symbol: Num ("})
    EXPECT_NE(log.find(shown), std::string::npos) << shown << "\n" << log;
}

// A DLL of the machine, with names, an ordinal, NONAME, DATA and a
// forwarder: its library binds every export, and a client links to them.
TEST_P(CoffMachinesTest, DllGivesALibraryOfItsMachineThatBindsEveryExport) {
  const Target& t = GetParam();
  for (const char* tool : {"llvm-readobj", "clang", "lld-link"})
    if (!HaveProgram(tool)) GTEST_SKIP() << tool << " is missing: run scripts/install-deps";
  TempDir dir;
  WriteFileText(dir.File("d.c"), "int Foo(int a) { return a; }\nint Hidden(void) { return 1; }\n"
                                 "int Seven(void) { return 7; }\nint Var = 3;\n");
  WriteFileText(dir.File("d.def"), "LIBRARY d.dll\nEXPORTS\n  Foo\n  Hidden @9 NONAME\n  Seven @7\n"
                                   "  Var DATA\n  Fwd = kernel32.Sleep\n");
  std::string log;
  ASSERT_EQ(RunCommand(std::string("clang --target=") + t.clangTarget + " -c " + dir.File("d.c") + " -o " +
                           dir.File("d.obj") + " && lld-link /machine:" + t.name +
                           " /dll /noentry /nodefaultlib /def:" + dir.File("d.def") + " /out:" +
                           dir.File("d.dll") + " " + dir.File("d.obj"), &log), 0) << log;
  TFichierLib lib;
  ASSERT_TRUE(lib.ReadDllFile(dir.File("d.dll")));
  EXPECT_EQ(lib.SourceMachine, t.machine);
  ASSERT_TRUE(lib.WriteCoffLibrary(dir.File("d.lib")));
  const PeerBindings ours = ReadLibraryBindings(dir.File("d.lib"));
  ASSERT_TRUE(ours.ok) << ours.error;
  std::vector<PeerBinding> expected = {{"Foo", "Foo", "code", ""}, {"Fwd", "Fwd", "code", ""},
                                       {"Seven", "Seven", "code", ""}, {"Var", "Var", "data", ""},
                                       {"d_Ordinal9", "@9", "code", ""}};
  EXPECT_EQ(WithoutDlls(ours.bindings), WithoutDlls(expected));

  WriteFileText(dir.File("c.c"),
                "int Foo(int); int Seven(void); int Fwd(void); int d_Ordinal9(void);\n"
                "__declspec(dllimport) extern int Var;\n"
                "int start(void) { return Foo(1) + Seven() + Fwd() + d_Ordinal9() + Var; }\n");
  ASSERT_EQ(RunCommand(std::string("clang --target=") + t.clangTarget + " -c " + dir.File("c.c") + " -o " +
                           dir.File("c.obj") + " && lld-link /machine:" + t.name +
                           " /subsystem:console /nodefaultlib /entry:start /out:" + dir.File("c.exe") + " " +
                           dir.File("c.obj") + " " + dir.File("d.lib") + " && llvm-readobj --coff-imports " +
                           dir.File("c.exe"), &log), 0) << log;
  for (const char* shown : {"Name: d.dll", "Symbol: Foo (", "Symbol: Seven (", "Symbol: Fwd (",
                            "Symbol: Var (", "Symbol:  (9)"})
    EXPECT_NE(log.find(shown), std::string::npos) << shown << "\n" << log;
}

// A 32-bit Intel list becomes an x64 one by the names its DLL exports;
// one read for x64 cannot become a 32-bit Intel one.
TEST(CoffMachineChangeTest, DecorationsGiveWayToExportNames) {
  TFichierLib lib;
  SetList(lib, {BoundTo("_Foo@8", "Foo"), BoundTo("?f@@YAXXZ", "?f@@YAXXZ"), Entry("Hand", 4, true)});
  lib.SourceMachine = 0x14C;
  EXPECT_EQ(WhyNotMachine(lib, 0x8664), "");
  EXPECT_EQ(ChangeMachine(lib, 0x8664), (std::vector<AnsiString>{"Foo", "Hand"}));
  std::vector<std::string> symbols;
  for (const TFonctionLib& e : ListOf(lib)) symbols.push_back(MicrosoftName(e, lib.SourceMachine));
  EXPECT_EQ(symbols, (std::vector<std::string>{"Foo", "?f@@YAXXZ", "Hand"}));
  EXPECT_NE(WhyNotMachine(lib, 0x14C), "");
  EXPECT_NE(WhyNotMachine(lib, 0xAA64), "");
}

INSTANTIATE_TEST_SUITE_P(Machines, CoffMachinesTest,
                         ::testing::Values(Target{"x64", "i386:x86-64", "x86_64-pc-windows-msvc", 0x8664},
                                           Target{"arm64", "arm64", "aarch64-pc-windows-msvc", 0xAA64}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
