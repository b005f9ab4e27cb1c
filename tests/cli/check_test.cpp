// libmorph-cli check as a script runs it: its lines, its table, its exit
// status.
#include <gtest/gtest.h>

#include <string>

#include "tests/cli/cli_runner.h"
#include "tests/support/test_files.h"

namespace {

class CheckCliTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* tool : {"clang", "lld-link", "llvm-dlltool"})
      if (!HaveProgram(tool)) GTEST_SKIP() << tool << " is not installed (scripts/install-deps provides it)";
    WriteFileText(dir_.File("t.c"), "int __stdcall s1(int a, int b) { return a + b; }\n"
                                    "int __stdcall s2(int a) { return a * 3; }\n");
    WriteFileText(dir_.File("t.def"), "LIBRARY t.dll\nEXPORTS\ns1\ns2\n");
    std::string output;
    ASSERT_EQ(RunCommand("cd " + dir_.Path() + " && clang --target=i686-pc-windows-msvc -O2 -c t.c && " +
                             "lld-link /dll /noentry /nodefaultlib /out:t.dll t.o /def:t.def",
                         &output),
              0)
        << output;
  }
  std::string Library(const std::string& name, const std::string& def) {
    WriteFileText(dir_.File(name + ".def"), def);
    std::string output;
    EXPECT_EQ(RunCommand("llvm-dlltool -m i386 -k -d " + dir_.File(name + ".def") + " -l " + dir_.File(name + ".lib"),
                         &output),
              0)
        << output;
    return dir_.File(name + ".lib");
  }
  TempDir dir_;
};

TEST_F(CheckCliTest, FindingLinesSummaryAndStatus) {
  const std::string wrong = Library("wrong", "LIBRARY t.dll\nEXPORTS\ns1@8\ns2@8\n");
  const std::vector<std::string> args = {"check", wrong, dir_.File("t.dll")};
  const CliResult r = RunCli(args);
  EXPECT_EQ(r.status, 1) << Describe(args, r);
  EXPECT_EQ(r.out, "libmorph-cli: " + wrong +
                       ": _s2@8: stack mismatch: the symbol says the function pops 8 bytes, its code pops 4 bytes "
                       "(ret 4)\nlibmorph-cli: " + wrong +
                       ": 2 imports, 2 bind; 0 do not bind, 0 bind to another function, 0 wrong DLL, 0 code or "
                       "data, 1 stack mismatch; 0 forwarded; conventions checked for 2\n");

  const CliResult tsv = RunCli({"check", "--format", "tsv", wrong, dir_.File("t.dll")});
  EXPECT_EQ(tsv.status, 1);
  EXPECT_EQ(tsv.out.substr(0, tsv.out.find('\n')), "finding\tsymbol\tdll\tlookup\tmessage");
  EXPECT_NE(tsv.out.find("\nstack-mismatch\t_s2@8\tt.dll\ts2\t"), std::string::npos) << tsv.out;
}

TEST_F(CheckCliTest, InformativeFindingsFailOnlyUnderStrict) {
  const std::string partial = Library("partial", "LIBRARY T.DLL\nEXPORTS\ns1@8\n");
  const CliResult plain = RunCli({"check", partial, dir_.File("t.dll")});
  EXPECT_EQ(plain.status, 0) << plain.out << plain.err;
  EXPECT_NE(plain.out.find("1 export of t.dll not imported: s2"), std::string::npos) << plain.out;
  EXPECT_EQ(RunCli({"check", "--strict", partial, dir_.File("t.dll")}).status, 1);
}

TEST_F(CheckCliTest, BadUsageAndUnreadableDll) {
  const std::string lib = Library("ok", "LIBRARY t.dll\nEXPORTS\ns1@8\ns2@4\n");
  EXPECT_EQ(RunCli({"check", lib}).status, 2);
  EXPECT_EQ(RunCli({"check", "--format", "xml", lib, dir_.File("t.dll")}).status, 2);
  const CliResult missing = RunCli({"check", lib, dir_.File("none.dll")});
  EXPECT_EQ(missing.status, 1);
  EXPECT_EQ(missing.err.rfind("libmorph-cli: " + dir_.File("none.dll") + ": ", 0), 0u) << missing.err;
  EXPECT_EQ(missing.out, "");
}

}  // namespace
