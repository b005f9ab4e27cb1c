// The dlltool and lib command lines as the builds that call them spell
// them: each library byte for byte what llvm-dlltool-22 or llvm-lib-22
// writes for the same command; the refusals; the program started under
// those names.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "tests/cli/cli_runner.h"
#include "tests/support/peers.h"
#include "tests/support/test_files.h"

namespace {

// Every kind of line whose import each reading makes its own way: bare,
// decorated, underscored, ordinals, NONAME, DATA, CONSTANT, PRIVATE,
// renamed, fastcall, C++, and "==" reachable by a name type, by none, and
// already reached by another line.
constexpr char kDef[] = R"(LIBRARY name.dll
EXPORTS
Plain
Std@8
_Under@12
Ord @5
NoName @8 NONAME
Dat DATA
Cst @10 CONSTANT
Priv @11 PRIVATE
Ren=Internal @12
@Fast@8
?cpp@@YAXXZ @14
Exp@4 == Exp
Other == Elsewhere
Twin == Plain
DatTwin DATA == Dat
)";
constexpr char kNativeDef[] = "LIBRARY name.dll\nEXPORTS\nPlain\nNative DATA\n";
// ARM64EC C++ names whose body name ends past template arguments that
// hold "@@@" and a back-reference, and names that give no body name but
// need none: by ordinal, or looked up by a name beside them; functions
// named by their bodies, which the DLL exports by their x64 names.
constexpr char kEcDef[] = R"(LIBRARY name.dll
EXPORTS
Plain
#body
?h@@$$hYAXXZ
??0?$basic_ios@DU?$char_traits@D@std@@@std@@IEAA@XZ
??$f@P6AXPAH0@Z@@YAXXZ
?func @3 NONAME
?g == x
)";

// No import remains: the library is still its DLL's descriptors.
constexpr char kComDef[] = "LIBRARY com.dll\nEXPORTS\nDllGetClassObject PRIVATE\nDllCanUnloadNow PRIVATE\n";
constexpr char kEmptyDef[] = "LIBRARY \"none.dll\"\nEXPORTS\n";

struct Caller {
  const char* name;
  std::string ours;  // after "libmorph-cli"; X.def, N.def, X.a, D.a stand for files
  std::string peer;  // the peer's command writing P.a
};

void PrintTo(const Caller& c, std::ostream* os) { *os << c.name; }

std::vector<std::string> Words(const std::string& line, const TempDir& dir) {
  std::vector<std::string> words;
  std::size_t at = 0;
  while (at < line.size()) {
    const std::size_t end = line.find(' ', at);
    std::string word = line.substr(at, end == std::string::npos ? std::string::npos : end - at);
    for (const char* file : {"X.def", "N.def", "E.def", "C.def", "Z.def", "X.lib", "X.a", "D.a", "P.a", "rsp"})
      if (const std::size_t f = word.find(file); f != std::string::npos && (f == 0 || word[f - 1] != '/'))
        word.replace(f, std::string(file).size(), dir.File(file));
    words.push_back(word);
    at = end == std::string::npos ? line.size() : end + 1;
  }
  return words;
}

std::string Joined(const std::vector<std::string>& words) {
  std::string line;
  for (const std::string& w : words) line += (line.empty() ? "" : " ") + ("'" + w + "'");
  return line;
}

class DropinTest : public ::testing::TestWithParam<Caller> {
 protected:
  // Ours stamps 0 by itself, as the peers do.
  void SetUp() override {
    ::unsetenv("SOURCE_DATE_EPOCH");
    WriteFileText(dir.File("X.def"), kDef);
    WriteFileText(dir.File("N.def"), kNativeDef);
    WriteFileText(dir.File("E.def"), kEcDef);
    WriteFileText(dir.File("C.def"), kComDef);
    WriteFileText(dir.File("Z.def"), kEmptyDef);
    WriteFileText(dir.File("rsp"), "-k '-l' \"" + dir.File("X.a") + "\"\t-d\n" + dir.File("X.def") + " -m\\i386");
  }
  TempDir dir;
};

TEST_P(DropinTest, WritesThePeersBytes) {
  const Caller& c = GetParam();
  ASSERT_TRUE(Installed({Peer("llvm-dlltool"), Peer("llvm-lib")}));
  std::string log;
  ASSERT_EQ(RunCommand(Joined(Words(c.peer, dir)), &log), 0) << log;
  const std::vector<std::string> ours = Words(c.ours, dir);
  const CliResult r = RunCli(ours);
  ASSERT_EQ(r.status, 0) << Describe(ours, r);
  const std::string written = c.ours.starts_with("lib ") ? "X.lib" : "X.a";
  EXPECT_EQ(ReadFileBytes(dir.File(written)), ReadFileBytes(dir.File("P.a")));
  // A delay library asked for beside it is GNU's, its functions delayed.
  if (c.ours.find("--output-delaylib") != std::string::npos) {
    const CliResult listed = RunCli({"list", dir.File("D.a")});
    EXPECT_NE(listed.out.find("\tdelayed\t"), std::string::npos) << listed.out << listed.err;
  }
}

const std::string kDlltool = Peer("llvm-dlltool"), kLib = Peer("llvm-lib");

INSTANTIATE_TEST_SUITE_P(
    Callers, DropinTest,
    ::testing::Values(
        Caller{"mingw_crt_x64",
               "dlltool -m i386:x86-64 --as-flags=--64 -k --output-lib X.a --output-delaylib D.a --input-def X.def",
               kDlltool + " -m i386:x86-64 -k -l P.a -d X.def"},
        Caller{"mingw_crt_x86", "dlltool -m i386 --as-flags=--32 -k --output-lib X.a --input-def X.def",
               kDlltool + " -m i386 -k -l P.a -d X.def"},
        Caller{"mingw_crt_arm64", "dlltool -m arm64 -k --output-lib X.a --output-delaylib D.a --input-def X.def",
               kDlltool + " -m arm64 -k -l P.a -d X.def"},
        Caller{"rustc_x64", "dlltool -d X.def -D a-long-dll-name.dll -l X.a -m i386:x86-64 -f --64 --no-leading-underscore "
                            "--temp-prefix p",
               kDlltool + " -d X.def -D a-long-dll-name.dll -l P.a -m i386:x86-64 -f --64 --no-leading-underscore -t p"},
        Caller{"rustc_x86", "dlltool -d X.def -D name.dll -l X.a -m i386 -f --32 --no-leading-underscore "
                            "--temp-prefix p",
               kDlltool + " -d X.def -D name.dll -l P.a -m i386 --no-leading-underscore"},
        Caller{"winebuild_arm64x", "dlltool -k -l X.a -d X.def -N N.def -m arm64ec",
               kDlltool + " -k -l P.a -d X.def -N N.def -m arm64ec"},
        Caller{"reactos", "dlltool --def X.def --kill-at --output-lib X.a -m i386",
               kDlltool + " -d X.def -k -l P.a -m i386"},
        Caller{"joined_no_kill_at_arm64ec", "dlltool -marm64ec -lX.a -dX.def", kDlltool + " -m arm64ec -l P.a -d X.def"},
        Caller{"arm64ec_cpp_names", "dlltool -m arm64ec -d E.def -l X.a", kDlltool + " -m arm64ec -d E.def -l P.a"},
        Caller{"joined_no_kill_at_x86", "dlltool -mi386 -lX.a -dX.def", kDlltool + " -m i386 -l P.a -d X.def"},
        Caller{"response_file", "dlltool @rsp", kDlltool + " -m i386 -k -l P.a -d X.def"},
        Caller{"vcpkg", "lib /def:X.def /out:X.lib /machine:x64 /name:name.dll /nologo",
               kLib + " /def:X.def /out:P.a /machine:x64"},
        Caller{"lib_x86_any_case", "lib -DEF:X.def -OUT:X.lib -MACHINE:X86 /WX /ignore:4221 /ltcg /verbose",
               kLib + " /def:X.def /out:P.a /machine:x86"},
        Caller{"com_server", "dlltool -m i386 -k -d C.def -l X.a", kDlltool + " -m i386 -k -d C.def -l P.a"},
        Caller{"com_server_lib", "lib /def:C.def /out:X.lib /machine:x64", kLib + " /def:C.def /out:P.a /machine:x64"},
        Caller{"no_exports", "dlltool -m arm64 -d Z.def -l X.a", kDlltool + " -m arm64 -d Z.def -l P.a"},
        Caller{"lib_arm64x", "lib /def:X.def /defArm64Native:N.def /out:X.lib /machine:arm64x",
               kLib + " /def:X.def /defArm64Native:N.def /out:P.a /machine:arm64x"}),
    [](const ::testing::TestParamInfo<Caller>& info) { return std::string(info.param.name); });

// Every refusal fails, says why, and writes nothing.
TEST(DropinRefusalTest, EachFailsWithItsReasonAndWritesNothing) {
  TempDir dir;
  WriteFileText(dir.File("X.def"), kDef);
  WriteFileText(dir.File("bare.def"), "EXPORTS\nA\n");
  const std::string ec = dir.File("ec.def");
  WriteFileText(ec, "LIBRARY e.dll\nEXPORTS\nPlain\n?func\n");
  const std::string out = dir.File("out.a");
  struct Row {
    std::vector<std::string> args;
    const char* says;
  } rows[] = {
      {{"dlltool", "-m", "arm", "-d", dir.File("X.def"), "-l", out}, "32-bit ARM"},
      {{"dlltool", "-m", "arm64x", "-d", dir.File("X.def"), "-l", out}, "-m arm64ec with -N"},
      {{"dlltool", "--bogus", "-d", dir.File("X.def"), "-l", out}, "unknown option --bogus"},
      {{"dlltool", "--output", "-d", dir.File("X.def"), "-l", out}, "ambiguous"},
      {{"dlltool", "-d", dir.File("X.def"), "-l", out, "x.o"}, "object files are not taken"},
      {{"dlltool", "-d", dir.File("X.def"), "-l", out, "-N", dir.File("X.def")}, "needs -m arm64ec"},
      {{"dlltool", "-l", out}, "no .def file"},
      {{"dlltool", "-d", dir.File("X.def"), "-l"}, "needs a value"},
      {{"dlltool", "-m", "i386", "-d", dir.File("bare.def"), "-l", out}, "names no DLL"},
      {{"dlltool", "-d", dir.File("absent.def"), "-l", out}, "absent.def"},
      {{"dlltool", "-m", "arm64ec", "-d", dir.File("X.def"), "-y", out}, "delay-load libraries"},
      {{"dlltool", "-m", "arm64ec", "-d", ec, "-l", out}, "ARM64EC function \"?func\": its C++ qualified name"},
      {{"lib", "/def:" + ec, "/out:" + out, "/machine:arm64ec"}, "ARM64EC function \"?func\""},
      {{"convert", ec, out, "--machine", "arm64ec"}, "ARM64EC function \"?func\""},
      {{"lib", "/def:" + dir.File("X.def"), "/out:" + out, "/machine:x64", "/foo"}, "/foo is not taken"},
      {{"lib", "/def:" + dir.File("X.def"), "/out:" + out, "/machine:x64", "/home/x.obj"}, "'/home/x.obj'"},
      {{"lib", "/def:" + dir.File("X.def"), "/out:" + out}, "needs /machine:"},
      {{"lib", "/def:" + dir.File("X.def"), "/out:" + out, "/machine:arm"}, "unsupported machine"},
      {{"lib", "/def:" + dir.File("X.def"), "/machine:x64"}, "no /out:"},
  };
  for (const Row& row : rows) {
    const CliResult r = RunCli(row.args);
    EXPECT_NE(r.status, 0) << Describe(row.args, r);
    EXPECT_NE(r.err.find(row.says), std::string::npos) << Describe(row.args, r);
    EXPECT_FALSE(FileExists(out)) << Describe(row.args, r);
  }
}

// Given nothing to write, dlltool reads the .def file and says only what
// is wrong with it, as GNU dlltool checks one.
TEST(DropinDlltoolTest, ChecksADefFileGivenNothingToWrite) {
  TempDir dir;
  WriteFileText(dir.File("X.def"), kDef);
  const CliResult good = RunCli({"dlltool", "-d", dir.File("X.def")});
  EXPECT_EQ(good.status, 0) << good.err;
  EXPECT_EQ(good.out + good.err, "");
  // A file that cannot be read is said with its name.
  const CliResult bad = RunCli({"dlltool", "-d", dir.File("bad.def")});
  EXPECT_NE(bad.status, 0);
  EXPECT_NE(bad.err.find("bad.def"), std::string::npos) << bad.err;
}

std::vector<std::string> SortedLines(const std::string& text) {
  std::vector<std::string> lines;
  for (std::size_t at = 0, end; at < text.size(); at = end + 1) {
    end = text.find('\n', at);
    if (end == std::string::npos) end = text.size();
    lines.push_back(text.substr(at, end - at));
  }
  std::sort(lines.begin(), lines.end());
  return lines;
}

// GNU dlltool's naming options: each client symbol imports the export it
// does from GNU dlltool's own library of the same command (both read back
// by list). -A only changes a DLL's export table, and says so.
TEST(DropinDlltoolTest, GnuNamingOptionsBindAsGnuDlltool) {
  ASSERT_TRUE(Installed({"i686-w64-mingw32-dlltool", "x86_64-w64-mingw32-dlltool"}));
  TempDir dir;
  const std::string def = dir.File("G.def"), gnu = dir.File("gnu.a"), ours = dir.File("ours.a");
  WriteFileText(def, "LIBRARY g.dll\nEXPORTS\nPlain\nStd@8\n_Under@12\nDat DATA\n?cpp@@YAXXZ\n@Fast@8\n"
                     "Ord @5\nNoName @8 NONAME\nExp@4 == Exp\n");
  const struct {
    const char* target;
    const char* machine;
    std::vector<std::string> options;
    const char* warns;
  } rows[] = {
      {"i686", "i386", {"-U"}, nullptr},
      {"i686", "i386", {"-k", "--add-stdcall-underscore"}, nullptr},
      {"i686", "i386", {"-k", "-U", "-p", "pre_"}, nullptr},
      {"i686", "i386", {"-k", "--add-stdcall-underscore", "-p", "pre_"}, nullptr},
      {"x86_64", "i386:x86-64", {"--ext-prefix-alias=x"}, nullptr},
      {"x86_64", "i386:x86-64", {"--leading-underscore", "-p", "pre_"}, nullptr},
      {"x86_64", "i386:x86-64", {"-U"}, nullptr},
      {"i686", "i386", {"-A"}, "--add-stdcall-alias changes nothing"},
  };
  for (const auto& row : rows) {
    std::vector<std::string> args = {"dlltool", "-m", row.machine, "-d", def, "-l", ours};
    std::string command = std::string(row.target) + "-w64-mingw32-dlltool -d '" + def + "' -l '" + gnu + "'";
    for (const std::string& option : row.options) {
      args.push_back(option);
      command += " '" + option + "'";
    }
    std::string log;
    ASSERT_EQ(RunCommand(command, &log), 0) << log;
    const CliResult r = RunCli(args);
    ASSERT_EQ(r.status, 0) << Describe(args, r);
    EXPECT_EQ(SortedLines(RunCli({"list", ours}).out), SortedLines(RunCli({"list", gnu}).out)) << Describe(args, r);
    EXPECT_EQ(r.err.find(row.warns ? row.warns : "warning") != std::string::npos, row.warns != nullptr) << r.err;
  }
}

// -I names the DLL of every library form read: descriptors alone
// (LLVM's, llvm-lib's, GNU's head and tail), GNU's imports, and OMF's,
// which names its DLL in each import.
TEST(DropinDlltoolTest, IdentifiesTheDllOfEveryLibraryForm) {
  ASSERT_TRUE(Installed({Peer("llvm-dlltool"), Peer("llvm-lib"), "i686-w64-mingw32-dlltool"}));
  TempDir dir;
  const std::string empty = dir.File("empty.def"), one = dir.File("one.def"), lib = dir.File("x.lib");
  WriteFileText(empty, "LIBRARY named.dll\nEXPORTS\n");
  WriteFileText(one, "LIBRARY named.dll\nEXPORTS\nA\n");
  for (const std::string& make :
       {Peer("llvm-dlltool") + " -m i386 -d '" + empty + "' -l '" + lib + "'",
        Peer("llvm-lib") + " /machine:x64 '/def:" + empty + "' '/out:" + lib + "'",
        "i686-w64-mingw32-dlltool -d '" + empty + "' -l '" + lib + "'",
        "i686-w64-mingw32-dlltool -d '" + one + "' -l '" + lib + "'"}) {
    std::string log;
    ASSERT_EQ(RunCommand("rm -f '" + lib + "' && " + make, &log), 0) << log;
    const CliResult r = RunCli({"dlltool", "-I", lib, "--identify-strict"});
    EXPECT_EQ(r.out, "named.dll\n") << make << "\n" << r.err;
  }
  ASSERT_EQ(RunCli({"convert", one, lib, "--to", "omf"}).status, 0);
  EXPECT_EQ(RunCli({"dlltool", "-I", lib}).out, "named.dll\n");
}

// A .def without LIBRARY: lib imports from the output's name and says so,
// where llvm-lib writes an empty DLL name; -I reads the name back.
TEST(DropinLibTest, NamesTheDllAfterTheOutputAndSaysSo) {
  TempDir dir;
  WriteFileText(dir.File("bare.def"), "EXPORTS\nA\n");
  const CliResult r = RunCli({"lib", "/def:" + dir.File("bare.def"), "/out:" + dir.File("mine.lib"), "/machine:x64"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.err.find("importing from mine.dll"), std::string::npos) << r.err;
  const CliResult named = RunCli({"dlltool", "-I", dir.File("mine.lib")});
  EXPECT_EQ(named.out, "mine.dll\n") << named.err;
}

// Started as a link's name: the target prefix is the default machine.
TEST(DropinNameTest, ALinkNamedAfterTheToolBehavesAsIt) {
  if (std::getenv("LIBMORPH_CLI_WINE")) GTEST_SKIP() << "links to the .exe are not followed under Wine";
  ASSERT_TRUE(Installed({Peer("llvm-dlltool"), Peer("llvm-lib")}));
  TempDir dir;
  WriteFileText(dir.File("X.def"), kDef);
  struct Row {
    const char* link;
    std::string args;  // X.def and X.a as above
    std::string peer;
  } rows[] = {
      {"x86_64-w64-mingw32-dlltool", "-k -d X.def -l X.a", Peer("llvm-dlltool") + " -m i386:x86-64 -k -d X.def -l P.a"},
      {"i686-w64-mingw32-dlltool.exe", "-k -d X.def -l X.a", Peer("llvm-dlltool") + " -m i386 -k -d X.def -l P.a"},
      {"aarch64-w64-mingw32-dlltool", "-d X.def -l X.a", Peer("llvm-dlltool") + " -m arm64 -d X.def -l P.a"},
      {"dlltool", "-m i386 -d X.def -l X.a", Peer("llvm-dlltool") + " -m i386 -d X.def -l P.a"},
      {"LIB.EXE", "/def:X.def /out:X.a /machine:arm64", Peer("llvm-lib") + " /def:X.def /out:P.a /machine:arm64"},
  };
  for (const Row& row : rows) {
    const std::string link = dir.File(row.link);
    ASSERT_EQ(RunCommand("ln -sf '" + std::string(LIBMORPH_CLI) + "' '" + link + "'"), 0);
    std::string log;
    ASSERT_EQ(RunCommand(Joined(Words(row.peer, dir)), &log), 0) << log;
    ASSERT_EQ(RunCommand("'" + link + "' " + Joined(Words(row.args, dir)), &log), 0) << row.link << ": " << log;
    EXPECT_EQ(ReadFileBytes(dir.File("X.a")), ReadFileBytes(dir.File("P.a"))) << row.link;
  }
  const std::string arm = dir.File("armv7-w64-mingw32-dlltool");
  ASSERT_EQ(RunCommand("ln -sf '" + std::string(LIBMORPH_CLI) + "' '" + arm + "'"), 0);
  std::string log;
  EXPECT_NE(RunCommand("'" + arm + "' " + Joined(Words("-d X.def -l Y.a", dir)), &log), 0);
  EXPECT_NE(log.find("armv7-w64-mingw32"), std::string::npos) << log;
}

}  // namespace
