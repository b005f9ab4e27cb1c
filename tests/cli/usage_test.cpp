#include <gtest/gtest.h>

#include "tests/cli/cli_runner.h"
#include "tests/support/test_files.h"

namespace {

TEST(UsageTest, HelpOnEveryCommandAndVersion) {
  for (const std::vector<std::string>& arguments :
       std::vector<std::vector<std::string>>{{"--help"}, {"list", "--help"}, {"convert", "--help"}}) {
    const CliResult result = RunCli(arguments);
    EXPECT_EQ(result.status, 0) << Describe(arguments, result);
    EXPECT_NE(result.out.find("Usage:"), std::string::npos) << Describe(arguments, result);
  }
  // Where the DLL named in a converted library comes from.
  EXPECT_NE(RunCli({"convert", "--help"}).out.find("the DLL's own file name, not OUTPUT's"),
            std::string::npos);
  const CliResult version = RunCli({"--version"});
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out, std::string("libmorph-cli ") + LIBMORPH_VERSION + "\n");
}

// Every wrong command line exits with 2 and the usage text, and writes
// nothing, even where the files it names exist.
TEST(UsageTest, BadUsageExitsWithTwoAndWritesNothing) {
  TempDir dir;
  const std::string in = dir.File("in.def");
  const std::string out = dir.File("out.lib");
  WriteFileText(in, "EXPORTS\n  Foo\n");
  const std::vector<std::vector<std::string>> cases = {
      {},
      {"frobnicate"},
      {"list"},
      {"list", in, in},
      {"list", "--bogus", in},
      {"convert", in},
      {"convert", in, out, "extra"},
      {"convert", in, out, "--conventions"},
      {"convert", in, out, "--pascal", "Foo"},
      {"convert", in, out, "--pascal", "=8"},
      {"convert", in, out, "--pascal", "Foo=x"},
      {"convert", in, out, "--pascal", "Foo=-4"},
      {"convert", in, out, "--pascal", "Foo=4", "--stdcall", "Foo"},
      {"convert", in, out, "--pascal", "Foo=4", "--pascal", "Foo=8"},
      {"convert", in, out, "--stdcall", ""},
      {"convert", in, out, "--to", "elf"},
  };
  for (const auto& arguments : cases) {
    const CliResult result = RunCli(arguments);
    EXPECT_EQ(result.status, 2) << Describe(arguments, result);
    EXPECT_NE(result.err.find("Usage:"), std::string::npos) << Describe(arguments, result);
    EXPECT_FALSE(FileExists(out)) << Describe(arguments, result);
  }
}

}  // namespace
