// x64 and ARM64 import libraries against the peers: llvm-dlltool's read
// back as they bind, ours bind the same, and lld-link links a client of
// that machine against ours to the imports llvm-readobj shows. ARM64EC and
// ARM64X libraries against llvm-lib's, byte for byte where it matters, and
// an ARM64EC client linked against both.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "check/library_check.h"
#include "files/fichier_lib.h"
#include "model/machine_change.h"
#include "tests/support/link_check.h"
#include "tests/support/peer_bindings.h"
#include "tests/support/peers.h"
#include "tests/support/test_files.h"

namespace {

struct Target {
  const char* name;         // for the test's name and lld-link /machine:
  const char* dlltool;      // llvm-dlltool -m
  const char* clangTarget;  // clang --target=
  Machine machine;
};

class CoffMachinesTest : public ::testing::TestWithParam<Target> {};

// Compiles the client source with clang for the target, links it against
// the library with lld-link and checks that llvm-readobj --coff-imports
// shows each of the texts.
void ExpectClientImports(const Target& t, const TempDir& dir, const std::string& source,
                         const std::string& library, const std::vector<std::string>& shown) {
  WriteFileText(dir.File("c.c"), source);
  std::string log;
  ASSERT_EQ(RunCommand(Peer("clang") + " --target=" + t.clangTarget + " -c " + dir.File("c.c") + " -o " +
                           dir.File("c.obj") + " && " + Peer("lld-link") + " -machine:" + t.name +
                           " -subsystem:console -nodefaultlib -entry:start -out:" + dir.File("c.exe") + " " +
                           dir.File("c.obj") + " " + library + " && " + Peer("llvm-readobj") + " --coff-imports " +
                           dir.File("c.exe"), &log), 0) << log;
  for (const std::string& text : shown) EXPECT_NE(log.find(text), std::string::npos) << text << "\n" << log;
}

// Names, a name with an at sign and one with a leading underscore (no
// decorations here: both are the symbols), by ordinal, NONAME and DATA.
constexpr char kDef[] =
    "LIBRARY t.dll\nEXPORTS\n  Foo\n  Bar@8\n  _under\n  Ord @5 NONAME\n  Var DATA\n  Num @7\n";

TEST_P(CoffMachinesTest, PeerLibraryReadsBackAndOursBindsAndLinksTheSame) {
  const Target& t = GetParam();
  ASSERT_TRUE(Installed({Peer("llvm-dlltool"), Peer("llvm-readobj"), Peer("clang"), Peer("lld-link")}));
  TempDir dir;
  WriteFileText(dir.File("t.def"), kDef);
  std::string log;
  ASSERT_EQ(RunCommand(Peer("llvm-dlltool") + " -m " + t.dlltool + " -d " + dir.File("t.def") + " -l " +
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

  ExpectClientImports(t, dir,
                      "void Foo(void); void _under(void); void Ord(void); void Num(void);\n"
                      "__declspec(dllimport) extern int Var;\n"
                      "int start(void) { Foo(); _under(); Ord(); Num(); return Var; }\n",
                      dir.File("ours.lib"), {"Name: t.dll", "Symbol: Foo (", "Symbol: _under (", "Symbol: Var (",
                      "Symbol:  (5)", "Symbol: Num ("});
}

// A DLL of the machine, with names, an ordinal, NONAME, DATA and a
// forwarder: its library binds every export, and a client links to them.
TEST_P(CoffMachinesTest, DllGivesALibraryOfItsMachineThatBindsEveryExport) {
  const Target& t = GetParam();
  ASSERT_TRUE(Installed({Peer("llvm-readobj"), Peer("clang"), Peer("lld-link")}));
  TempDir dir;
  WriteFileText(dir.File("d.c"), "int Foo(int a) { return a; }\nint Hidden(void) { return 1; }\n"
                                 "int Seven(void) { return 7; }\nint Var = 3;\n");
  WriteFileText(dir.File("d.def"), "LIBRARY d.dll\nEXPORTS\n  Foo\n  Hidden @9 NONAME\n  Seven @7\n"
                                   "  Var DATA\n  Fwd = kernel32.Sleep\n");
  std::string log;
  ASSERT_EQ(RunCommand(Peer("clang") + " --target=" + t.clangTarget + " -c " + dir.File("d.c") + " -o " +
                           dir.File("d.obj") + " && " + Peer("lld-link") + " -machine:" + t.name +
                           " -dll -noentry -nodefaultlib -def:" + dir.File("d.def") + " -out:" +
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
  // Checked against its DLL, it binds whole, named as its clients name it.
  std::vector<check::Dll> dlls(1);
  ASSERT_TRUE(dlls[0].Open(dir.File("d.dll")));
  check::Options options;
  options.ListMachine = lib.SourceMachine;
  const check::Report report = check::Check(lib.Fonctions, dlls, options);
  EXPECT_EQ(report.Bound, report.Imports);
  EXPECT_TRUE(report.Passed(false));
  for (const check::Finding& f : report.Findings)
    if (f.What == check::Problem::Forwarded) EXPECT_EQ(std::string(f.Symbol), "Fwd");

  ExpectClientImports(t, dir,
                      "int Foo(int); int Seven(void); int Fwd(void); int d_Ordinal9(void);\n"
                      "__declspec(dllimport) extern int Var;\n"
                      "int start(void) { return Foo(1) + Seven() + Fwd() + d_Ordinal9() + Var; }\n",
                      dir.File("d.lib"), {"Name: d.dll", "Symbol: Foo (", "Symbol: Seven (", "Symbol: Fwd (",
                      "Symbol: Var (", "Symbol:  (9)"});
}

// A 32-bit Intel list becomes an x64 one by the names its DLL exports;
// one read for x64 cannot become a 32-bit Intel one.
TEST(CoffMachineChangeTest, DecorationsGiveWayToExportNames) {
  TFichierLib lib;
  SetList(lib, {BoundTo("_Foo@8", "Foo"), BoundTo("?f@@YAXXZ", "?f@@YAXXZ"), Entry("Hand", 4, true)});
  lib.SourceMachine = Machine::I386;
  EXPECT_EQ(WhyNotMachine(lib, Machine::Amd64), "");
  EXPECT_EQ(ChangeMachine(lib, Machine::Amd64), (std::vector<AnsiString>{"Foo", "Hand"}));
  std::vector<std::string> symbols;
  for (const TFonctionLib& e : ListOf(lib)) symbols.push_back(MicrosoftName(e, lib.SourceMachine));
  EXPECT_EQ(symbols, (std::vector<std::string>{"Foo", "?f@@YAXXZ", "Hand"}));
  EXPECT_NE(WhyNotMachine(lib, Machine::I386), "");
  EXPECT_NE(WhyNotMachine(lib, Machine::Arm64), "");
  EXPECT_EQ(WhyNotMachine(lib, Machine::Arm64ec), "");  // ARM64EC code calls x64 DLLs

  // A .def file's names are its exports: only a convention that goes is told.
  TFichierLib def;
  SetList(def, {Entry("Plain", 0, false), BoundTo("_Foo@8", "Foo")});
  def.SourceMachine = Machine::Unknown;
  EXPECT_EQ(ChangeMachine(def, Machine::Amd64), (std::vector<AnsiString>{"Foo"}));
}

INSTANTIATE_TEST_SUITE_P(Machines, CoffMachinesTest,
                         ::testing::Values(Target{"x64", "i386:x86-64", "x86_64-pc-windows-msvc", Machine::Amd64},
                                           Target{"arm64", "arm64", "aarch64-pc-windows-msvc", Machine::Arm64}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace

// ---- ARM64EC, against llvm-lib -------------------------------------------

namespace {

// Names, an ordinal, NONAME, DATA, a C++ name, and (in the peer's library
// only: a .def line cannot say it to our reader) a code and a data import
// whose export name differs from the symbol.
constexpr char kEcDef[] =
    "LIBRARY ec.dll\nEXPORTS\n  Plain\n  ByOrd @5\n  Hidden @7 NONAME\n  Var DATA\n"
    "  ?Cpp@@YAHH@Z\n";
constexpr char kEcRenames[] = "  Alias == Real\n  VarAlias == RealVar DATA\n";

// What llvm-nm prints of the archive's two symbol tables, both sorted by
// the archive; the members' own symbols after them are left out.
std::string SymbolTables(const std::string& library) {
  std::string out;
  if (RunCommand(Peer("llvm-nm") + " --print-armap " + library, &out) != 0) return "llvm-nm failed: " + out;
  const std::size_t ec = out.find("Archive EC map");
  const std::size_t end = ec == std::string::npos ? ec : out.find("\n\n", ec);
  return out.substr(0, end);
}

// Each import member as llvm-readobj describes it (type, name type,
// export name, symbols), in sorted order: the order of members differs.
std::multiset<std::string> ImportMembers(const std::string& library) {
  std::string out;
  RunCommand(Peer("llvm-readobj") + " " + library, &out);
  std::multiset<std::string> members;
  for (std::size_t at = out.find("\nFile: "); at != std::string::npos;) {
    const std::size_t next = out.find("\nFile: ", at + 1);
    const std::string block = out.substr(at, next == std::string::npos ? next : next - at);
    if (block.find("COFF-import-file") != std::string::npos) members.insert(block.substr(block.find("Format")));
    at = next;
  }
  return members;
}

}  // namespace

TEST(CoffArm64ecTest, ReadAndWrittenAsLlvmLibWritesThem) {
  ASSERT_TRUE(Installed({Peer("llvm-lib"), Peer("llvm-nm"), Peer("llvm-readobj")}));
  TempDir dir;
  WriteFileText(dir.File("t.def"), kEcDef);
  WriteFileText(dir.File("r.def"), std::string(kEcDef) + kEcRenames);
  std::string log;
  for (const char* def : {"t", "r"})
    ASSERT_EQ(RunCommand(Peer("llvm-lib") + " -machine:arm64ec -def:" + dir.File(def + std::string(".def")) +
                             " -out:" + dir.File(def + std::string("-peer.lib")), &log), 0) << log;

  // The peer's library, read and written again.
  TFichierLib lib;
  ASSERT_TRUE(lib.ReadCoffLibrary(dir.File("r-peer.lib")));
  EXPECT_EQ(lib.SourceMachine, Machine::Arm64ec);
  std::vector<std::string> lines;
  for (const TFonctionLib& e : ListOf(lib))
    lines.push_back(std::string(e.Name) + " " + (e.Import.ByOrdinal ? "@" + std::to_string(e.Import.Ordinal)
                                                                      : std::string(e.Import.ExportName)) +
                    (e.Import.Kind == ImportKind::Data ? " data" : ""));
  std::sort(lines.begin(), lines.end());
  EXPECT_EQ(lines, (std::vector<std::string>{"?Cpp@@YAHH@Z ?Cpp@@YAHH@Z", "Alias Real", "ByOrd ByOrd",
                                             "Hidden @7", "Plain Plain", "Var Var data",
                                             "VarAlias RealVar data"}));
  ASSERT_TRUE(lib.WriteCoffLibrary(dir.File("r-ours.lib")));
  EXPECT_EQ(SymbolTables(dir.File("r-ours.lib")), SymbolTables(dir.File("r-peer.lib")));
  EXPECT_EQ(ImportMembers(dir.File("r-ours.lib")), ImportMembers(dir.File("r-peer.lib")));
  TFichierLib back;
  ASSERT_TRUE(back.ReadCoffLibrary(dir.File("r-ours.lib")));
  EXPECT_EQ(back.SourceMachine, Machine::Arm64ec);
  EXPECT_EQ(ListOf(back), ListOf(lib));

  // The same .def file, read by us and given the machine.
  TFichierLib fromDef;
  ASSERT_TRUE(fromDef.ReadDefFile(dir.File("t.def")));
  ASSERT_EQ(WhyNotMachine(fromDef, Machine::Arm64ec), "");
  ChangeMachine(fromDef, Machine::Arm64ec);
  ASSERT_TRUE(fromDef.WriteCoffLibrary(dir.File("t-ours.lib")));
  EXPECT_EQ(SymbolTables(dir.File("t-ours.lib")), SymbolTables(dir.File("t-peer.lib")));
  EXPECT_EQ(ImportMembers(dir.File("t-ours.lib")), ImportMembers(dir.File("t-peer.lib")));
}

// A hybrid library reads as one list of its ARM64 and ARM64EC imports,
// each marked with its view, a function both import alike once; either
// machine keeps its view alone.
TEST(CoffArm64ecTest, HybridLibraryReadsWithItsViewsAndBecomesEitherView) {
  ASSERT_TRUE(Installed({Peer("llvm-lib")}));
  TempDir dir;
  WriteFileText(dir.File("n.def"), "LIBRARY x.dll\nEXPORTS\n  Both\n  NativeOnly\n");
  WriteFileText(dir.File("e.def"), "LIBRARY x.dll\nEXPORTS\n  Both\n  EcOnly\n");
  std::string log;
  ASSERT_EQ(RunCommand(Peer("llvm-lib") + " -machine:arm64x -def:" + dir.File("e.def") + " -defArm64Native:" +
                           dir.File("n.def") + " -out:" + dir.File("x.lib"), &log), 0) << log;
  const std::vector<std::pair<Machine, std::vector<std::string>>> cases = {
      {Machine::Arm64x, {"Both 0", "EcOnly 2", "NativeOnly 1"}},
      {Machine::Arm64, {"Both 0", "NativeOnly 0"}},
      {Machine::Arm64ec, {"Both 0", "EcOnly 0"}}};
  for (const auto& [machine, expected] : cases) {
    TFichierLib lib;
    ASSERT_TRUE(lib.ReadCoffLibrary(dir.File("x.lib")));
    EXPECT_EQ(lib.SourceMachine, Machine::Arm64x);
    ASSERT_EQ(WhyNotMachine(lib, machine), "");
    ChangeMachine(lib, machine);
    EXPECT_EQ(lib.SourceMachine, machine);
    std::vector<std::string> names;
    for (const TFonctionLib& e : ListOf(lib))
      names.push_back(std::string(e.Name) + " " + std::to_string(static_cast<int>(e.Import.View)));
    EXPECT_EQ(names, expected) << MachineName(machine);
  }
}

// lld-link links an ARM64EC client against our ARM64EC library to the
// same imports as against llvm-lib's own. The client reaches the imports
// as ARM64EC code does (the __imp_aux_ slot, the "#" entry thunk) and,
// with no ARM64EC runtime to link here, defines the helpers the linker
// asks of it.
TEST(CoffArm64ecTest, LldLinksAnArm64ecClientAgainstOurs) {
  ASSERT_TRUE(Installed({Peer("llvm-lib"), Peer("llvm-mc"), Peer("lld-link"), Peer("llvm-readobj")}));
  TempDir dir;
  WriteFileText(dir.File("t.def"), kEcDef);
  WriteFileText(dir.File("c.s"), ".section .test, \"r\"\n.rva __imp_Plain\n.rva __imp_aux_Plain\n.rva \"#Plain\"\n"
                                 ".rva __imp_ByOrd\n.rva __imp_Hidden\n.rva __imp_Var\n"
                                 ".rva \"?Cpp@@$$hYAHH@Z\"\n");
  WriteFileText(dir.File("runtime.s"), kArm64ecRuntimeStubs);
  std::string log;
  const std::string mc = Peer("llvm-mc") + " -filetype=obj -triple=arm64ec-windows ";
  ASSERT_EQ(RunCommand(Peer("llvm-lib") + " -machine:arm64ec -def:" + dir.File("t.def") + " -out:" +
                           dir.File("peer.lib") + " && " + mc + dir.File("c.s") + " -o " + dir.File("c.obj") +
                           " && " + mc + dir.File("runtime.s") + " -o " + dir.File("runtime.obj"), &log), 0)
      << log;
  const auto link = [&](const std::string& library) {
    std::string out;
    if (RunCommand(Peer("lld-link") + " -machine:arm64ec -dll -noentry -nodefaultlib -out:" + dir.File("c.dll") +
                       " " + dir.File("c.obj") + " " + dir.File("runtime.obj") + " " + library, &out) != 0)
      return LinkResult{false, "lld-link could not link against " + library + ":\n" + out, {}};
    return ProgramImports(dir.File("c.dll"));
  };
  const LinkResult peer = link(dir.File("peer.lib"));
  ASSERT_TRUE(peer.ok) << peer.error;
  ASSERT_EQ(peer.imports, (std::vector<ImportedName>{{"ec.dll", "?Cpp@@YAHH@Z"}, {"ec.dll", "ByOrd"},
                                                     {"ec.dll", "@7"}, {"ec.dll", "Plain"}, {"ec.dll", "Var"}}));

  TFichierLib lib;
  ASSERT_TRUE(lib.ReadDefFile(dir.File("t.def")));
  ChangeMachine(lib, Machine::Arm64ec);
  ASSERT_TRUE(lib.WriteCoffLibrary(dir.File("ours.lib")));
  const LinkResult ours = link(dir.File("ours.lib"));
  ASSERT_TRUE(ours.ok) << ours.error;
  EXPECT_EQ(ours.imports, peer.imports);
}
