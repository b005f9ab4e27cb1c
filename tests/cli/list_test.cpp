#include <gtest/gtest.h>

#include "tests/cli/cli_runner.h"
#include "tests/support/omf_builder.h"
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
                "Zeta\t_pascal\t8\t_Zeta@8\tZeta\n"
                "Alpha\t_stdcall\t0\t_Alpha\t_Alpha\n"
                "Mid\t_pascal\t0\t_Mid@0\tMid\n");
}

TEST_F(ListTest, CoffLibraryOfLlvmDlltool) {
  ASSERT_TRUE(HaveProgram("llvm-dlltool")) << "llvm-dlltool is missing: run scripts/install-deps";
  WriteFileText(dir.File("mylib.def"), "LIBRARY mylib.dll\nEXPORTS\nFoo@12\nBar\nBaz@0\n");
  std::string output;
  ASSERT_EQ(RunCommand("llvm-dlltool -m i386 -d " + dir.File("mylib.def") + " -l " +
                           dir.File("llvm.lib"),
                       &output),
            0)
      << output;
  ExpectListing({dir.File("llvm.lib")},
                "Foo\t_pascal\t12\t_Foo@12\tFoo\n"
                "Bar\t_stdcall\t0\t_Bar\t_Bar\n"
                "Baz\t_pascal\t0\t_Baz@0\tBaz\n");
}

TEST_F(ListTest, OmfLibrary) {
  omf::LibraryBuilder(16).AddImports({{"_Foo"}, {"Bar"}, {"__Under"}}).WriteTo(dir.File("b.lib"));
  ExpectListing({dir.File("b.lib")},
                "Foo\t_stdcall\t0\t_Foo\t_Foo\n"
                "Bar\t_pascal\t0\t_Bar@0\tBar\n"
                "_Under\t_stdcall\t0\t__Under\t__Under\n");
}

TEST_F(ListTest, DefinitionFileByNameInAnyCaseOrByOption) {
  const std::string text = "EXPORTS\r\n    Foo\r\n    Bar=Bar\r\n";
  const std::string listing = "Foo\t_pascal\t0\t_Foo@0\tFoo\nBar\t_pascal\t0\t_Bar@0\tBar\n";
  for (const char* name : {"x.def", "X.DEF", "x.Def"}) {
    WriteFileText(dir.File(name), text);
    ExpectListing({dir.File(name)}, listing);
  }
  WriteFileText(dir.File("exports.txt"), text);
  ExpectListing({"--def", dir.File("exports.txt")}, listing);
}

TEST_F(ListTest, NamesArePrintedAsTheirBytes) {
  WriteFileText(dir.File("x.def"), "EXPORTS\n  Caf\xE9\n");
  ExpectListing({dir.File("x.def")}, "Caf\xE9\t_pascal\t0\t_Caf\xE9@0\tCaf\xE9\n");
}

TEST_F(ListTest, EmptyListPrintsNothing) {
  WriteFileText(dir.File("x.def"), "EXPORTS\n");
  ExpectListing({dir.File("x.def")}, "");
}

TEST_F(ListTest, MissingFileIsReportedOnceWithExitOne) {
  for (const std::string& name : {dir.File("missing.lib"), dir.File("missing.def")}) {
    const CliResult result = RunCli({"list", name});
    EXPECT_EQ(result.status, 1) << Describe({"list", name}, result);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, "libmorph-cli: " + name + ": No such file or directory\n");
  }
}

TEST_F(ListTest, DamagedCoffLibraryIsAReadErrorWithExitOne) {
  // Five symbols announced, the names cut short after two.
  Bytes file = ToBytes("!<arch>\n" + std::string(60, ' '));
  file.insert(file.end(), {0, 0, 0, 5});
  file.insert(file.end(), 5 * 4, 0);
  for (char c : std::string("__imp__A\0_A\0", 12)) file.push_back(static_cast<std::uint8_t>(c));
  WriteFileBytes(dir.File("cut.lib"), file);
  const CliResult result = RunCli({"list", dir.File("cut.lib")});
  EXPECT_EQ(result.status, 1) << Describe({"list", dir.File("cut.lib")}, result);
  EXPECT_EQ(result.out, "");
  EXPECT_EQ(result.err, "libmorph-cli: " + dir.File("cut.lib") + ": " + ERangeError().what() + "\n");
}

}  // namespace
