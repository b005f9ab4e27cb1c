// libmorph-cli check as a script runs it: its lines, its table, its exit
// status.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include <nlohmann/json.hpp>

#include "tests/cli/cli_runner.h"
#include "tests/support/pe_builder.h"
#include "tests/support/peers.h"
#include "tests/support/test_files.h"

namespace {

class CheckCliTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(Installed({Peer("clang"), Peer("lld-link"), Peer("llvm-dlltool")}));
    WriteFileText(dir_.File("t.c"), "int __stdcall s1(int a, int b) { return a + b; }\n"
                                    "int __stdcall s2(int a) { return a * 3; }\n");
    WriteFileText(dir_.File("t.def"), "LIBRARY t.dll\nEXPORTS\ns1\ns2\n");
    std::string output;
    ASSERT_EQ(RunCommand("cd " + dir_.Path() + " && " + Peer("clang") + " --target=i686-pc-windows-msvc -O2 -c t.c && " +
                             Peer("lld-link") + " -dll -noentry -nodefaultlib -out:t.dll t.o -def:t.def",
                         &output),
              0)
        << output;
  }
  std::string Library(const std::string& name, const std::string& def) {
    WriteFileText(dir_.File(name + ".def"), def);
    std::string output;
    EXPECT_EQ(RunCommand(Peer("llvm-dlltool") + " -m i386 -k -d " + dir_.File(name + ".def") + " -l " + dir_.File(name + ".lib"),
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

// A library made for another DLL: one finding per import. The text sums
// them up in one line; tsv and json keep each, json as valid UTF-8 even
// for a name in a legacy code page.
TEST(CheckCliFormatsTest, ManyFindingsOfAKindAndTheirJson) {
  TempDir dir;
  std::vector<PeExport> exports;
  std::string def = "LIBRARY other.dll\nEXPORTS\ncaf\xE9\n";
  for (int i = 1; i <= 24; ++i) {
    exports.push_back({"s" + std::to_string(i), {0xC3}});
    def += "s" + std::to_string(i) + "\n";
  }
  WriteFileBytes(dir.File("x.dll"), BuildPe(exports));
  WriteFileText(dir.File("other.def"), def);
  const std::string lib = dir.File("other.def"), dll = dir.File("x.dll");

  const std::vector<std::string> args = {"check", "--def", lib, dll};
  const CliResult text = RunCli(args);
  EXPECT_EQ(text.status, 1) << Describe(args, text);
  const std::string prefix = "libmorph-cli: " + lib + ": ";
  EXPECT_EQ(text.out.substr(0, text.out.find('\n') + 1),
            prefix + "other.dll: 25 imports name this DLL, which none of the DLLs given is (wrong DLL): _caf\xE9, "
                     "_s1, _s2, _s3, _s4, _s5, _s6, _s7, _s8, _s9, … (--format tsv or json lists each)\n");
  EXPECT_EQ(std::count(text.out.begin(), text.out.end(), '\n'), 3) << text.out;  // not imported, summary

  const CliResult tsv = RunCli({"check", "--def", "--format", "tsv", lib, dll});
  EXPECT_EQ(std::count(tsv.out.begin(), tsv.out.end(), '\n'), 1 + 25 + 1) << tsv.out;

  const CliResult json = RunCli({"check", "--def", "--format", "json", lib, dll});
  EXPECT_EQ(json.status, 1);
  nlohmann::json doc;
  ASSERT_NO_THROW(doc = nlohmann::json::parse(json.out)) << json.out;
  EXPECT_EQ(doc["library"], lib);
  EXPECT_EQ(doc["dlls"], nlohmann::json::array({dll}));
  EXPECT_EQ(doc["summary"]["passed"], false);
  EXPECT_EQ(doc["summary"]["imports"], 25);
  EXPECT_EQ(doc["summary"]["bound"], 0);
  EXPECT_EQ(doc["summary"]["counts"]["wrong-dll"], 25);
  EXPECT_EQ(doc["summary"]["counts"]["not-imported"], 1);
  const nlohmann::json& findings = doc["findings"];
  ASSERT_EQ(findings.size(), 26u);
  EXPECT_EQ(findings[0]["finding"], "wrong-dll");
  EXPECT_EQ(findings[0]["failing"], true);
  EXPECT_EQ(findings[0]["symbol"], "_caf\xEF\xBF\xBD");  // U+FFFD for the byte 0xE9
  EXPECT_EQ(findings[1]["symbol"], "_s1");
  EXPECT_EQ(findings[1]["dll"], "other.dll");
  EXPECT_EQ(findings[1]["lookup"], "s1");
  const nlohmann::json& unused = findings.back();
  EXPECT_EQ(unused["finding"], "not-imported");
  EXPECT_EQ(unused["failing"], false);
  EXPECT_TRUE(unused["symbol"].is_null() && unused["lookup"].is_null());
  EXPECT_EQ(unused["count"], 24);
  EXPECT_EQ(unused["names"].size(), 10u);
}

}  // namespace
