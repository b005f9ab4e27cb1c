#include <gtest/gtest.h>

#include <sstream>

#include "tests/cli/cli_runner.h"
#include "tests/support/omf_builder.h"
#include "tests/support/peers.h"
#include "tests/support/test_files.h"

namespace {

class ListTest : public ::testing::Test {
 protected:
  // Lists the file and expects success with exactly that output.
  void ExpectListing(const std::vector<std::string>& arguments, const std::string& expected) {
    std::vector<std::string> all = {"list"};
    all.insert(all.end(), arguments.begin(), arguments.end());
    const CliResult result = RunCli(all);
    EXPECT_EQ(result.status, 0) << Describe(all, result);
    EXPECT_EQ(result.out, expected) << Describe(all, result);
    EXPECT_EQ(result.err, "") << Describe(all, result);
  }

  TempDir dir;
};

TEST_F(ListTest, CoffLibraryWeWrote) {
  TFichierLib lib;
  SetList(lib, {Entry("Zeta", 8, true), Entry("Alpha", 12, false), Entry("Mid", 0, true)});
  ASSERT_TRUE(lib.WriteCoffLibrary(dir.File("mylib.lib")));
  ExpectListing({dir.File("mylib.lib")},
                "Zeta\t_pascal\t8\t_Zeta@8\tZeta\tZeta\tcode\tmylib.dll\n"
                "Alpha\t_stdcall\t0\t_Alpha\t_Alpha\tAlpha\tcode\tmylib.dll\n"
                "Mid\t_pascal\t0\t_Mid@0\tMid\tMid\tcode\tmylib.dll\n");
}

// Without -k the peer keeps the decoration after the name in what the
// loader looks up ("noprefix"), and the listing says so.
TEST_F(ListTest, CoffLibraryOfLlvmDlltool) {
  ASSERT_TRUE(Installed({Peer("llvm-dlltool")}));
  WriteFileText(dir.File("mylib.def"), "LIBRARY mylib.dll\nEXPORTS\nFoo@12\nBar\nBaz@0\n");
  std::string output;
  ASSERT_EQ(RunCommand(Peer("llvm-dlltool") + " -m i386 -d " + dir.File("mylib.def") + " -l " +
                           dir.File("llvm.lib"),
                       &output),
            0)
      << output;
  ExpectListing({dir.File("llvm.lib")},
                "Foo\t_pascal\t12\t_Foo@12\tFoo\tFoo@12\tcode\tmylib.dll\n"
                "Bar\t_stdcall\t0\t_Bar\t_Bar\tBar\tcode\tmylib.dll\n"
                "Baz\t_pascal\t0\t_Baz@0\tBaz\tBaz@0\tcode\tmylib.dll\n");
}

TEST_F(ListTest, OmfLibrary) {
  omf::LibraryBuilder(16)
      .AddImports({{"_Foo", "mylib.dll", "Foo"}, {"Bar", "mylib.dll"}, {"__Under", "mylib.dll"},
                   omf::Import::ByOrdinal("_Ord", 7, "other.dll")})
      .WriteTo(dir.File("b.lib"));
  ExpectListing({dir.File("b.lib")},
                "Foo\t_stdcall\t0\t_Foo\t_Foo\tFoo\tcode\tmylib.dll\n"
                "Bar\t_pascal\t0\t_Bar@0\tBar\tBar\tcode\tmylib.dll\n"
                "_Under\t_stdcall\t0\t__Under\t__Under\t__Under\tcode\tmylib.dll\n"
                "Ord\t_stdcall\t0\t_Ord\t_Ord\t@7\tcode\tother.dll\n");
}

// Name, then how it is imported, its kind and its DLL: the columns that
// say what the import binds to.
TEST_F(ListTest, BoundEntriesShowWhatTheLoaderLooksUp) {
  WriteFileText(dir.File("bound.def"),
                "LIBRARY other.dll\nEXPORTS\n  Hidden @7 NONAME\n  Counter DATA\n"
                "  Shown @3\n  Fixed CONSTANT\n");
  const CliResult result = RunCli({"list", dir.File("bound.def")});
  ASSERT_EQ(result.status, 0) << result.err;
  std::string columns;
  std::istringstream lines(result.out);
  for (std::string line; std::getline(lines, line);) {
    std::vector<std::string> cells;
    std::istringstream split(line);
    for (std::string cell; std::getline(split, cell, '\t');) cells.push_back(cell);
    cells.resize(8);
    columns += cells[0] + "|" + cells[5] + "|" + cells[6] + "|" + cells[7] + "\n";
  }
  EXPECT_EQ(columns,
            "Hidden|@7 NONAME|code|other.dll\n"
            "Counter|Counter|data|other.dll\n"
            "Shown|Shown|code|other.dll\n"
            "Fixed|Fixed|const|other.dll\n");
}

TEST_F(ListTest, DefinitionFileByContentWhateverItsNameOrByOption) {
  const std::string text = "EXPORTS\r\n    Foo\r\n    Bar=Bar\r\n";
  // C functions, looked up by their names; no DLL is named.
  const std::string listing =
      "Foo\t_stdcall\t0\t_Foo\t_Foo\tFoo\tcode\t\nBar\t_stdcall\t0\t_Bar\t_Bar\tBar\tcode\t\n";
  for (const char* name : {"x.def", "X.DEF", "x.lib"}) {
    WriteFileText(dir.File(name), text);
    ExpectListing({dir.File(name)}, listing);
  }
  // EXPORTS too far down for the content to tell: --def reads it anyway.
  std::string comments;
  while (comments.size() < 8192) comments += "; generated, do not edit\r\n";
  WriteFileText(dir.File("exports.txt"), comments + text);
  ExpectListing({"--def", dir.File("exports.txt")}, listing);
}

TEST_F(ListTest, NamesArePrintedAsTheirBytes) {
  WriteFileText(dir.File("x.def"), "EXPORTS\n  Caf\xE9\n");
  ExpectListing({dir.File("x.def")}, "Caf\xE9\t_stdcall\t0\t_Caf\xE9\t_Caf\xE9\tCaf\xE9\tcode\t\n");
}

TEST_F(ListTest, EmptyListPrintsNothing) {
  WriteFileText(dir.File("x.def"), "EXPORTS\n");
  ExpectListing({dir.File("x.def")}, "");
}

}  // namespace
