// Hybrid ARM64X libraries through the command line: made from two .def
// files byte for byte as llvm-lib makes them, read back with each entry's
// view, written back whole, split into two .def files again, cut down to
// one view; and linked by an ARM64 and an ARM64EC client, each to the
// imports of its own view.
#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "tests/cli/cli_runner.h"
#include "tests/support/link_check.h"
#include "tests/support/peers.h"
#include "tests/support/test_files.h"

namespace {

struct HybridCase {
  const char* name;
  const char* ec;      // the ARM64EC view's .def
  const char* native;  // the ARM64 view's .def
  std::vector<std::string> views;  // `list`: each entry's name and view
};

// The first and the last column of each line `list` prints.
std::vector<std::string> NamesAndViews(const std::string& listed) {
  std::vector<std::string> out;
  std::istringstream lines(listed);
  for (std::string line; std::getline(lines, line);)
    out.push_back(line.substr(0, line.find('\t')) + " " + line.substr(line.rfind('\t') + 1));
  return out;
}

class Arm64xTest : public ::testing::TestWithParam<HybridCase> {
 protected:
  // llvm-lib stamps nothing; ours then stamps 0 too.
  void SetUp() override { ::setenv("SOURCE_DATE_EPOCH", "0", 1); }
  void TearDown() override { ::unsetenv("SOURCE_DATE_EPOCH"); }

  void Run(const std::vector<std::string>& arguments, std::string* out = nullptr) {
    const CliResult r = RunCli(arguments);
    ASSERT_EQ(r.status, 0) << Describe(arguments, r);
    if (out) *out = r.out;
  }

  TempDir dir;
};

TEST_P(Arm64xTest, MadeAsLlvmLibMakesItReadWithViewsAndWrittenBackWhole) {
  const HybridCase& c = GetParam();
  ASSERT_TRUE(Installed({Peer("llvm-lib")}));
  const std::string ec = dir.File("ec.def"), native = dir.File("native.def"), peer = dir.File("peer.lib");
  WriteFileText(ec, c.ec);
  WriteFileText(native, c.native);
  std::string log;
  ASSERT_EQ(RunCommand(Peer("llvm-lib") + " -machine:arm64x -def:" + ec + " -defArm64Native:" + native +
                           " -out:" + peer, &log), 0) << log;
  const Bytes expected = ReadFileBytes(peer);

  Run({"convert", ec, dir.File("ours.lib"), "--machine", "arm64x", "--native-def", native});
  EXPECT_EQ(ReadFileBytes(dir.File("ours.lib")), expected);
  // llvm-lib's library, read and written again.
  Run({"convert", peer, dir.File("back.lib")});
  EXPECT_EQ(ReadFileBytes(dir.File("back.lib")), expected);
  std::string listed;
  Run({"list", peer}, &listed);
  EXPECT_EQ(NamesAndViews(listed), c.views);
  // Its views as two .def files, which make the same library again.
  Run({"convert", peer, dir.File("e.def"), "--native-def", dir.File("n.def")});
  Run({"convert", dir.File("e.def"), dir.File("again.lib"), "--native-def", dir.File("n.def")});
  EXPECT_EQ(ReadFileBytes(dir.File("again.lib")), expected);
  // One view kept: the list of that machine has no view column.
  for (const char* machine : {"arm64", "arm64ec"}) {
    Run({"convert", peer, dir.File("one.lib"), "--machine", machine});
    Run({"list", dir.File("one.lib")}, &listed);
    std::size_t expectedCount = 0;
    for (const std::string& v : c.views)
      expectedCount += v.ends_with(" both") || v.ends_with(std::string(" ") + machine);
    EXPECT_EQ(NamesAndViews(listed).size(), expectedCount) << machine;
    EXPECT_EQ(listed.find("\tboth"), std::string::npos);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Lists, Arm64xTest,
    ::testing::Values(
        // Code, data, a C++ name, NONAME and a hint in one view or both.
        HybridCase{"Mixed",
                   "LIBRARY hyb.dll\nEXPORTS\n  EcOnly\n  Shared\n  EcVar DATA\n  ?Cpp@@YAHH@Z\n"
                   "  Hidden @7 NONAME\n  Hinted @5\n",
                   "LIBRARY hyb.dll\nEXPORTS\n  NativeOnly\n  Shared\n  NativeVar DATA\n  Hidden @7 NONAME\n",
                   {"EcOnly arm64ec", "NativeOnly arm64", "Shared both", "EcVar arm64ec", "?Cpp@@YAHH@Z arm64ec",
                    "NativeVar arm64", "Hidden both", "Hinted arm64ec"}},
        // The views name two functions in crossed orders: each keeps its own.
        // The DLL's name is too long for a member header's field.
        HybridCase{"Crossed", "LIBRARY api-ms-win-x-l1-1-0.dll\nEXPORTS\n  A\n  B\n",
                   "LIBRARY api-ms-win-x-l1-1-0.dll\nEXPORTS\n  B\n  A\n",
                   {"A arm64ec", "B both", "A arm64"}}),
    [](const auto& info) { return std::string(info.param.name); });

// What an ARM64X DLL's two load configurations hold for lld-link to link
// it without a CRT: the ARM64EC one points to hybrid metadata whose tables
// the linker fills; the ARM64 one is where the linker says where its
// dynamic relocations are.
constexpr char kHybridLoadConfigs[] =
    ".section .00cfg,\"dr\"\n.globl _load_config_used\n.p2align 3\n_load_config_used:\n"
    ".word 0x140\n.fill 0xc4, 1, 0\n.xword __chpe_metadata\n.fill 0x70, 1, 0\n"
    ".data\n.globl __chpe_metadata\n.p2align 3\n__chpe_metadata:\n"
    ".word 1\n.rva __hybrid_code_map\n.word __hybrid_code_map_count\n.rva __x64_code_ranges_to_entry_points\n"
    ".rva __arm64x_redirection_metadata\n.word 0, 0, 0, 0, 0, 0, 0\n"
    ".word __x64_code_ranges_to_entry_points_count\n.word __arm64x_redirection_metadata_count\n"
    ".word 0, 0\n.rva __arm64x_extra_rfe_table\n.word __arm64x_extra_rfe_table_size\n.word 0, 0\n";
constexpr char kNativeLoadConfig[] =
    ".section .rdata,\"dr\"\n.globl _load_config_used\n.p2align 3\n_load_config_used:\n"
    ".word 0x140\n.fill 0x13c, 1, 0\n";

// Links an ARM64 client and an ARM64EC client against lib, for the
// imports of hyb.dll below, and says what each imports.
void ExpectEachViewsClientLinks(TempDir& dir, const std::string& lib) {
  ASSERT_TRUE(Installed({Peer("clang"), Peer("llvm-mc"), Peer("lld-link"), Peer("llvm-readobj")}));
  WriteFileText(dir.File("a.c"), "void NativeOnly(void); void Shared(void);\n"
                                 "__declspec(dllimport) extern int NativeVar;\n"
                                 "int start(void) { NativeOnly(); Shared(); return NativeVar; }\n");
  WriteFileText(dir.File("e.s"), ".section .test, \"r\"\n.rva __imp_EcOnly\n.rva __imp_aux_EcOnly\n"
                                 ".rva \"#EcOnly\"\n.rva __imp_Shared\n.rva \"#Shared\"\n.rva __imp_EcVar\n");
  WriteFileText(dir.File("runtime.s"), kArm64ecRuntimeStubs);
  const std::string mc = Peer("llvm-mc") + " -filetype=obj -triple=arm64ec-windows ";
  std::string log;
  ASSERT_EQ(RunCommand(Peer("clang") + " --target=aarch64-pc-windows-msvc -c " + dir.File("a.c") + " -o " +
                           dir.File("a.obj") + " && " + Peer("lld-link") +
                           " -machine:arm64 -subsystem:console -nodefaultlib -entry:start -out:" +
                           dir.File("a.exe") + " " + dir.File("a.obj") + " " + lib + " && " + mc + dir.File("e.s") +
                           " -o " + dir.File("e.obj") + " && " + mc + dir.File("runtime.s") + " -o " +
                           dir.File("runtime.obj") + " && " + Peer("lld-link") +
                           " -machine:arm64ec -dll -noentry -nodefaultlib -out:" + dir.File("e.dll") + " " +
                           dir.File("e.obj") + " " + dir.File("runtime.obj") + " " + lib, &log), 0)
      << log;
  const LinkResult arm64 = ProgramImports(dir.File("a.exe"));
  const LinkResult arm64ec = ProgramImports(dir.File("e.dll"));
  ASSERT_TRUE(arm64.ok && arm64ec.ok) << arm64.error << arm64ec.error;
  EXPECT_EQ(arm64.imports, (std::vector<ImportedName>{{"hyb.dll", "NativeOnly"}, {"hyb.dll", "NativeVar"},
                                                      {"hyb.dll", "Shared"}}));
  EXPECT_EQ(arm64ec.imports, (std::vector<ImportedName>{{"hyb.dll", "EcOnly"}, {"hyb.dll", "EcVar"},
                                                        {"hyb.dll", "Shared"}}));
}

// lld-link links an ARM64 client and an ARM64EC client against one of our
// ARM64X libraries, each to its own view's imports only. The ARM64EC
// client reaches its imports as ARM64EC code does and, with no runtime to
// link here, defines the helpers the linker asks of it.
TEST_F(Arm64xTest, EachViewsClientLinksToItsOwnImports) {
  WriteFileText(dir.File("ec.def"), "LIBRARY hyb.dll\nEXPORTS\n  EcOnly\n  Shared\n  EcVar DATA\n");
  WriteFileText(dir.File("native.def"), "LIBRARY hyb.dll\nEXPORTS\n  NativeOnly\n  Shared\n  NativeVar DATA\n");
  const std::string lib = dir.File("hyb.lib");
  Run({"convert", dir.File("ec.def"), lib, "--native-def", dir.File("native.def")});
  ExpectEachViewsClientLinks(dir, lib);
}

// A hybrid DLL built by lld-link, hyb.dll in dir, whose views export
// different functions and one alike: EcOnly, Shared and EcVar (data) for
// ARM64EC clients, NativeOnly, Shared and NativeVar (data) for ARM64 ones.
std::string BuildHybridDll(TempDir& dir) {
  EXPECT_TRUE(Installed({Peer("clang"), Peer("llvm-mc"), Peer("lld-link")}));
  WriteFileText(dir.File("ec.c"), "__declspec(dllexport) int EcOnly(void) { return 1; }\n"
                                  "__declspec(dllexport) int Shared(void) { return 2; }\n"
                                  "__declspec(dllexport) int EcVar = 3;\n");
  WriteFileText(dir.File("native.c"), "__declspec(dllexport) int NativeOnly(void) { return 4; }\n"
                                      "__declspec(dllexport) int Shared(void) { return 5; }\n"
                                      "__declspec(dllexport) int NativeVar = 6;\n");
  WriteFileText(dir.File("lc-ec.s"), std::string(kHybridLoadConfigs) + kArm64ecRuntimeStubs);
  WriteFileText(dir.File("lc-native.s"), kNativeLoadConfig);
  const std::string cc = Peer("clang") + " -c --target=", mc = Peer("llvm-mc") + " -filetype=obj -triple=";
  const std::string dll = dir.File("hyb.dll");
  std::string log;
  EXPECT_EQ(RunCommand(cc + "arm64ec-pc-windows-msvc " + dir.File("ec.c") + " -o " + dir.File("ec.obj") + " && " +
                           cc + "aarch64-pc-windows-msvc " + dir.File("native.c") + " -o " + dir.File("native.obj") +
                           " && " + mc + "arm64ec-windows " + dir.File("lc-ec.s") + " -o " + dir.File("lc-ec.obj") +
                           " && " + mc + "aarch64-windows " + dir.File("lc-native.s") + " -o " +
                           dir.File("lc-native.obj") + " && " + Peer("lld-link") +
                           " -machine:arm64x -dll -noentry -nodefaultlib -out:" + dll + " " + dir.File("ec.obj") +
                           " " + dir.File("native.obj") + " " + dir.File("lc-ec.obj") + " " +
                           dir.File("lc-native.obj"), &log), 0)
      << log;
  return dll;
}

// A hybrid DLL is read as both views: its library is the one llvm-lib
// makes from the two views' .def files, its clients link, and --machine
// keeps one view.
TEST_F(Arm64xTest, AHybridDllGivesBothViews) {
  ASSERT_TRUE(Installed({Peer("llvm-lib")}));
  const std::string dll = BuildHybridDll(dir);
  ASSERT_FALSE(HasFailure());
  std::string log;
  std::string listed;
  Run({"list", dll}, &listed);
  EXPECT_EQ(NamesAndViews(listed), (std::vector<std::string>{"EcOnly arm64ec", "EcVar arm64ec", "NativeOnly arm64",
                                                              "NativeVar arm64", "Shared both"}));
  // The views as the DLL exports them, ordinals (the library's hints) too.
  WriteFileText(dir.File("ec.def"), "LIBRARY hyb.dll\nEXPORTS\n  EcOnly @1\n  EcVar @2 DATA\n  Shared @3\n");
  WriteFileText(dir.File("native.def"),
                "LIBRARY hyb.dll\nEXPORTS\n  NativeOnly @1\n  NativeVar @2 DATA\n  Shared @3\n");
  ASSERT_EQ(RunCommand(Peer("llvm-lib") + " -machine:arm64x -def:" + dir.File("ec.def") + " -defArm64Native:" +
                           dir.File("native.def") + " -out:" + dir.File("peer.lib"), &log), 0)
      << log;
  const std::string lib = dir.File("hyb.lib");
  Run({"convert", dll, lib});
  EXPECT_EQ(ReadFileBytes(lib), ReadFileBytes(dir.File("peer.lib")));
  ExpectEachViewsClientLinks(dir, lib);

  for (const auto& [machine, names] :
       {std::pair<const char*, std::vector<std::string>>{"arm64", {"NativeOnly", "NativeVar", "Shared"}},
        {"arm64ec", {"EcOnly", "EcVar", "Shared"}}}) {
    Run({"convert", dll, dir.File("one.lib"), "--machine", machine});
    Run({"list", dir.File("one.lib")}, &listed);
    std::vector<std::string> got;
    for (const std::string& line : NamesAndViews(listed)) got.push_back(line.substr(0, line.find(' ')));
    EXPECT_EQ(got, names) << machine;
  }
}

// Each view of a hybrid list is checked against the same view of the
// DLL: an import that only the other view exports does not bind.
TEST_F(Arm64xTest, CheckTakesEachViewOnItsOwn) {
  const std::string dll = BuildHybridDll(dir);
  ASSERT_FALSE(HasFailure());
  const std::string good = dir.File("good.lib"), crossed = dir.File("crossed.lib");
  Run({"convert", dll, good});
  Run({"check", good, dll});
  // NativeOnly asked by ARM64EC clients, EcOnly by ARM64 ones.
  WriteFileText(dir.File("ec.def"), "LIBRARY hyb.dll\nEXPORTS\n  NativeOnly\n  Shared\n  EcVar DATA\n");
  WriteFileText(dir.File("native.def"), "LIBRARY hyb.dll\nEXPORTS\n  EcOnly\n  Shared\n  NativeVar DATA\n");
  Run({"convert", dir.File("ec.def"), crossed, "--native-def", dir.File("native.def")});
  const std::vector<std::string> arguments{"check", crossed, dll, "--format", "tsv"};
  const CliResult r = RunCli(arguments);
  EXPECT_EQ(r.status, 1) << Describe(arguments, r);
  std::vector<std::string> notExported;
  std::istringstream lines(r.out);
  for (std::string line; std::getline(lines, line);)
    if (line.starts_with("not-exported\t")) notExported.push_back(line.substr(line.rfind('(')));
  EXPECT_EQ(notExported, (std::vector<std::string>{"(ARM64EC view)", "(ARM64 view)"})) << r.out;
}

}  // namespace
