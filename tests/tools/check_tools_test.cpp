// Libraries made wrong on purpose by a peer (llvm-dlltool from a .def),
// checked against DLLs that clang and mingw-w64 GCC built: each must give
// exactly the findings planted in it, and nothing else.
#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "check/library_check.h"
#include "files/file_kind.h"
#include "tests/support/peers.h"
#include "tests/support/test_files.h"

namespace {

// Exported by the .def alone, with fixed ordinals, so that a library can
// be shifted from them.
constexpr char kSource[] = R"(int __stdcall s1(int a, int b) { return a + b; }
int __stdcall s2(int a) { return a * 3; }
int __cdecl c1(int a, int b) { return a * b; }
int var1 = 5;
)";

constexpr char kDllDef[] = "LIBRARY t.dll\nEXPORTS\ns1 @1\ns2 @2\nc1 @3\nvar1 @4 DATA\n";

using Found = std::set<std::pair<std::string, std::string>>;  // keyword, symbol

struct Planted {
  const char* name;
  const char* def;  // the library's .def, for llvm-dlltool -k
  Found failures;   // every finding that fails the check
};

const std::vector<Planted> kPlanted = {
    {"clean", "LIBRARY t.dll\nEXPORTS\ns1@8\ns2@4\nc1\nvar1 DATA\n", {}},
    {"one_wrong_length", "LIBRARY t.dll\nEXPORTS\ns1@8\ns2@8\nc1\nvar1 DATA\n",
     {{"stack-mismatch", "_s2@8"}}},
    {"cdecl_for_stdcall", "LIBRARY t.dll\nEXPORTS\ns1\ns2@4\nc1@8\nvar1 DATA\n",
     {{"stack-mismatch", "_s1"}, {"stack-mismatch", "_c1@8"}}},
    {"data_as_code", "LIBRARY t.dll\nEXPORTS\ns1@8\ns2@4\nc1 DATA\nvar1\n",
     {{"code-or-data", "_var1"}, {"code-or-data", "_c1"}}},
    {"other_dll", "LIBRARY other.dll\nEXPORTS\ns1@8\ns2@4\n", {{"wrong-dll", "_s1@8"}, {"wrong-dll", "_s2@4"}}},
    {"case_of_dll_name", "LIBRARY T.DLL\nEXPORTS\ns1@8\ns2@4\nc1\nvar1 DATA\n", {}},
    // The decoration kept in what the loader looks up: "_s1", not "s1".
    {"decorated_lookup", "LIBRARY t.dll\nEXPORTS\n_s1@8\ns2@4\nc1\nvar1 DATA\n", {{"not-exported", "__s1@8"}}},
};

::testing::AssertionResult ToolsInstalled(bool mingw) {
  return mingw ? Installed({"i686-w64-mingw32-gcc", Peer("llvm-dlltool")})
               : Installed({Peer("clang"), Peer("lld-link"), Peer("llvm-dlltool")});
}

void BuildDll(const TempDir& dir, bool mingw) {
  WriteFileText(dir.File("t.c"), kSource);
  WriteFileText(dir.File("t.def"), kDllDef);
  const std::string command =
      mingw ? "i686-w64-mingw32-gcc -O2 -shared " + dir.File("t.c") + " " + dir.File("t.def") + " -o " +
                  dir.File("t.dll") + " -Wl,--kill-at"
            : Peer("clang") + " --target=i686-pc-windows-msvc -O2 -c " + dir.File("t.c") + " -o " +
                  dir.File("t.obj") + " && " + Peer("lld-link") + " -dll -noentry -nodefaultlib -out:" +
                  dir.File("t.dll") + " " + dir.File("t.obj") + " -def:" + dir.File("t.def");
  std::string output;
  ASSERT_EQ(RunCommand(command, &output), 0) << output;
}

std::string MakeLibrary(const TempDir& dir, const std::string& name, const std::string& def) {
  const std::string defFile = dir.File(name + ".def"), lib = dir.File(name + ".lib");
  WriteFileText(defFile, def);
  std::string output;
  EXPECT_EQ(RunCommand(Peer("llvm-dlltool") + " -m i386 -k -d " + defFile + " -l " + lib, &output), 0) << output;
  return lib;
}

check::Report CheckFile(const std::string& lib, const std::vector<std::string>& dllFiles) {
  TFichierLib list;
  FileKind kind;
  EXPECT_TRUE(ReadByContent(list, lib, kind));
  std::vector<check::Dll> dlls(dllFiles.size());
  for (std::size_t i = 0; i < dlls.size(); ++i) EXPECT_TRUE(dlls[i].Open(dllFiles[i])) << dllFiles[i];
  return check::Check(list.Fonctions, dlls);
}

Found Failures(const check::Report& report) {
  Found found;
  for (const check::Finding& f : report.Findings)
    if (!check::IsInformative(f.What)) found.emplace(check::ProblemKeyword(f.What), f.Symbol);
  return found;
}

class CheckToolsTest : public ::testing::TestWithParam<bool> {};

TEST_P(CheckToolsTest, EachLibraryGivesExactlyThePlantedFindings) {
  const bool mingw = GetParam();
  ASSERT_TRUE(ToolsInstalled(mingw));
  TempDir dir;
  BuildDll(dir, mingw);
  for (const Planted& p : kPlanted) {
    SCOPED_TRACE(p.name);
    const check::Report report = CheckFile(MakeLibrary(dir, p.name, p.def), {dir.File("t.dll")});
    EXPECT_EQ(Failures(report), p.failures);
    EXPECT_EQ(report.Passed(false), p.failures.empty());
  }
}

TEST_P(CheckToolsTest, MismatchSaysBothByteCounts) {
  const bool mingw = GetParam();
  ASSERT_TRUE(ToolsInstalled(mingw));
  TempDir dir;
  BuildDll(dir, mingw);
  const check::Report report =
      CheckFile(MakeLibrary(dir, "wrong", "LIBRARY t.dll\nEXPORTS\ns2@8\n"), {dir.File("t.dll")});
  ASSERT_EQ(report.Count(check::Problem::StackMismatch), 1u);
  const check::Finding& f = report.Findings.front();
  EXPECT_EQ(f.ClientBytes, 8u);
  EXPECT_EQ(f.CodeBytes, 4u);
  // The three exports it leaves alone are told, for information only.
  EXPECT_EQ(report.Count(check::Problem::NotImported), 1u);
  EXPECT_EQ(report.Findings.back().Count, 3u);
  EXPECT_FALSE(report.Passed(true));
}

INSTANTIATE_TEST_SUITE_P(Compilers, CheckToolsTest, ::testing::Values(false, true),
                         [](const auto& info) { return std::string(info.param ? "mingw" : "clang"); });

// A library for another version of the DLL: every ordinal one further.
TEST(CheckOrdinalsTest, ShiftedOrdinalsBindToTheNeighbours) {
  ASSERT_TRUE(ToolsInstalled(false));
  TempDir dir;
  BuildDll(dir, false);
  const check::Report report = CheckFile(
      MakeLibrary(dir, "shifted",
                  "LIBRARY t.dll\nEXPORTS\ns1@8 @2 NONAME\ns2@4 @3 NONAME\nc1 @4 NONAME\nvar1 @5 NONAME DATA\n"),
      {dir.File("t.dll")});
  EXPECT_EQ(Failures(report), (Found{{"other-function", "_s1@8"},
                                     {"other-function", "_s2@4"},
                                     {"other-function", "_c1"},
                                     {"not-exported", "_var1"}}));
  for (const check::Finding& f : report.Findings)
    if (f.What == check::Problem::OtherFunction && f.Symbol == "_s1@8") {
      EXPECT_EQ(f.Other, "s2");
      EXPECT_EQ(f.OwnOrdinal, 1);
    }
}

// Patches the section table: the code section becomes the packer's empty
// "UPX0" (no byte in the file), as the packer leaves an image.
void PackByHand(const std::string& dll) {
  Bytes bytes = ReadFileBytes(dll);
  const std::uint32_t pe = bytes[0x3C] | (bytes[0x3D] << 8);
  const std::uint16_t sections = bytes[pe + 6] | (bytes[pe + 7] << 8);
  const std::uint16_t optional = bytes[pe + 20] | (bytes[pe + 21] << 8);
  for (std::uint32_t i = 0; i < sections; ++i) {
    std::uint8_t* s = &bytes[pe + 24 + optional + 40 * i];
    if (std::memcmp(s, ".text", 5) != 0) continue;
    std::memcpy(s, "UPX0\0\0\0\0", 8);
    std::memset(s + 16, 0, 8);  // SizeOfRawData, PointerToRawData
  }
  WriteFileBytes(dll, bytes);
}

TEST(CheckPackedTest, PackedCodeIsSaidAndItsConventionsAreNotJudged) {
  ASSERT_TRUE(ToolsInstalled(false));
  TempDir dir;
  BuildDll(dir, false);
  PackByHand(dir.File("t.dll"));
  const check::Report report =
      CheckFile(MakeLibrary(dir, "wrong", "LIBRARY t.dll\nEXPORTS\ns1@8\ns2@8\nc1\nvar1 DATA\n"), {dir.File("t.dll")});
  EXPECT_EQ(Failures(report), Found{});
  EXPECT_EQ(report.Count(check::Problem::PackedCode), 1u);
  EXPECT_TRUE(report.Passed(false));
  EXPECT_FALSE(report.Passed(true));

  // Opened as a list, its undecorated functions are guessed, and why.
  TFichierLib lib;
  ASSERT_TRUE(lib.ReadDllFile(dir.File("t.dll")));
  EXPECT_TRUE(lib.CodePacked);
  for (const TFonctionLib& e : ListOf(lib)) EXPECT_EQ(e.Unsure, e.Import.Kind == ImportKind::Code) << e.Name;
}

}  // namespace
