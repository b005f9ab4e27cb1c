#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>

#include "files/file_kind.h"
#include "tests/cli/cli_runner.h"
#include "tests/support/link_check.h"
#include "tests/support/omf_builder.h"
#include "tests/support/peers.h"
#include "tests/support/test_files.h"

namespace {

using ::testing::ElementsAre;

class ConvertTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // A Borland import library: Foo and Bar _pascal, Baz _stdcall, no lengths.
    omf::LibraryBuilder(16)
        .AddImports({{"Foo", "mylib.dll"}, {"Bar", "mylib.dll"}, {"_Baz", "mylib.dll", "Baz"}})
        .WriteTo(borland);
  }

  CliResult Convert(std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), "convert");
    last = arguments;
    return RunCli(arguments);
  }

  std::vector<TFonctionLib> ListOfFile(const std::string& path) {
    TFichierLib lib;
    EXPECT_TRUE(path.ends_with(".def") ? lib.ReadDefFile(path) : lib.ReadCoffLibrary(path));
    return ListOf(lib);
  }

  std::string Context(const CliResult& result) const { return Describe(last, result); }

  TempDir dir;
  const std::string borland = dir.File("borland.lib");
  const std::string output = dir.File("mylib.lib");
  std::vector<std::string> last;
};

TEST_F(ConvertTest, MainRoadFromOmfAndSymbolFileToALibraryThatLinks) {
  WriteFileText(dir.File("symbols.txt"),
                "; from the old Microsoft library\r\nEXPORTS\r\n  _Foo@8\r\n  _Bar@16 @2\r\n  _Baz\r\n");
  const CliResult result = Convert({borland, output, "--conventions", dir.File("symbols.txt")});
  ASSERT_EQ(result.status, 0) << Context(result);
  EXPECT_EQ(result.out, "");
  EXPECT_EQ(result.err, "");

  const CliResult list = RunCli({"list", output});
  EXPECT_EQ(list.out,
            "Foo\t_pascal\t8\t_Foo@8\tFoo\tFoo\tcode\tmylib.dll\n"
            "Bar\t_pascal\t16\t_Bar@16\tBar\tBar\tcode\tmylib.dll\n"
            "Baz\t_stdcall\t0\t_Baz\t_Baz\tBaz\tcode\tmylib.dll\n");

  const LinkResult link = LinkClientAgainst(output, {"_Foo@8", "_Bar@16", "_Baz"}, dir.Path());
  ASSERT_TRUE(link.ok) << link.error;
  std::vector<ImportedName> imports = link.imports;
  std::sort(imports.begin(), imports.end(),
            [](const ImportedName& a, const ImportedName& b) { return a.name < b.name; });
  EXPECT_EQ(imports, (std::vector<ImportedName>{
                         {"mylib.dll", "Bar"}, {"mylib.dll", "Baz"}, {"mylib.dll", "Foo"}}));
}

TEST_F(ConvertTest, ConventionsFromACoffLibrary) {
  TFichierLib old;
  SetList(old, {Entry("Baz", 0, false), Entry("Foo", 12, true), Entry("Bar", 4, true)});
  ASSERT_TRUE(old.WriteCoffLibrary(dir.File("old.lib")));
  const CliResult result = Convert({borland, output, "--conventions", dir.File("old.lib")});
  ASSERT_EQ(result.status, 0) << Context(result);
  EXPECT_EQ(result.err, "");
  // Each takes the source's import, and its DLL with it.
  EXPECT_EQ(ListOfFile(output),
            From("old.dll", {Entry("Foo", 12, true), Entry("Bar", 4, true), Entry("Baz", 0, false)}));
}

TEST_F(ConvertTest, OptionsWinOverFilesAndALaterFileOverAnEarlierOne) {
  WriteFileText(dir.File("first.txt"), "_Foo@8\n_Bar@4\n_Baz@20\n");
  WriteFileText(dir.File("second.txt"), "_Baz@24\n");
  const CliResult result =
      Convert({borland, output, "--conventions", dir.File("first.txt"), "--pascal", "Foo=12",
               "--conventions", dir.File("second.txt"), "--stdcall", "Bar"});
  ASSERT_EQ(result.status, 0) << Context(result);
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(ListOfFile(output),
            From("mylib.dll", {Entry("Foo", 12, true), Entry("Bar", 0, false), Entry("Baz", 24, true)}));
}

TEST_F(ConvertTest, OptionsAloneAreEnoughSources) {
  const CliResult result = Convert({borland, output, "--pascal", "Foo=8", "--pascal", "Bar=0x10",
                                    "--stdcall", "Baz", "--strict"});
  ASSERT_EQ(result.status, 0) << Context(result);
  EXPECT_EQ(ListOfFile(output),
            From("mylib.dll", {Entry("Foo", 8, true), Entry("Bar", 16, true), Entry("Baz", 0, false)}));
}

TEST_F(ConvertTest, UnmatchedNamesOnEitherSideAreWarnedAboutAndTheFileIsWritten) {
  WriteFileText(dir.File("symbols.txt"), "_Foo@8\n_Gone@4\n");
  const CliResult result = Convert(
      {borland, output, "--conventions", dir.File("symbols.txt"), "--stdcall", "Absent"});
  ASSERT_EQ(result.status, 0) << Context(result);
  EXPECT_EQ(result.err,
            "libmorph-cli: warning: 2 entries are named by no conventions source and keep their "
            "conventions: Bar, Baz\n"
            "libmorph-cli: warning: 2 names given match no entry: Gone, Absent\n");
  EXPECT_EQ(ListOfFile(output),
            From("mylib.dll", {Entry("Foo", 8, true), Entry("Bar", 0, true), Entry("Baz", 0, false)}));
}

TEST_F(ConvertTest, AWarningSpellsOutTwentyNamesAtMost) {
  std::vector<omf::Import> imports;
  for (int i = 1; i <= 25; ++i) imports.emplace_back("F" + std::to_string(i));
  omf::LibraryBuilder(16).AddImports(imports).WriteTo(borland);
  const CliResult result = Convert({borland, output, "--pascal", "F1=4"});
  ASSERT_EQ(result.status, 0) << Context(result);
  std::string names;
  for (int i = 2; i <= 21; ++i) names += "F" + std::to_string(i) + ", ";
  EXPECT_EQ(result.err,
            "libmorph-cli: warning: 24 entries are named by no conventions source and keep their "
            "conventions: " + names + "\u2026\n");
}

TEST_F(ConvertTest, StrictRefusesAndLeavesTheOutputAsItWas) {
  WriteFileText(output, "old contents");
  WriteFileText(dir.File("symbols.txt"), "_Foo@8\n_Bar@4\n_Baz\n_Gone@4\n");
  const CliResult result =
      Convert({borland, output, "--conventions", dir.File("symbols.txt"), "--strict"});
  EXPECT_EQ(result.status, 1) << Context(result);
  EXPECT_EQ(result.err,
            "libmorph-cli: error: 1 name given matches no entry: Gone\n"
            "libmorph-cli: " + output + " not written (--strict)\n");
  EXPECT_EQ(ReadFileText(output), "old contents");

  const CliResult unnamed = Convert({borland, output, "--pascal", "Foo=8", "--strict"});
  EXPECT_EQ(unnamed.status, 1) << Context(unnamed);
  EXPECT_EQ(ReadFileText(output), "old contents");
}

TEST_F(ConvertTest, WithoutSourcesItOnlyChangesTheFormat) {
  const CliResult result = Convert({borland, dir.File("MyLib.DEF"), "--strict"});
  ASSERT_EQ(result.status, 0) << Context(result);
  EXPECT_EQ(result.err, "");
  TFichierLib written;
  ASSERT_TRUE(written.ReadDefFile(dir.File("MyLib.DEF")));
  std::vector<std::string> names;
  for (const TFonctionLib& entry : ListOf(written)) names.push_back(entry.Name);
  EXPECT_THAT(names, ElementsAre("Foo", "Bar", "Baz"));
}

// --to decides; without it a ".def" name still means a definition file.
TEST_F(ConvertTest, TheFormWrittenIsTheOneAskedFor) {
  struct Case {
    std::vector<std::string> to;
    std::string name;
    FileKind kind;
  };
  const std::vector<Case> cases = {
      {{}, "a.lib", FileKind::CoffArchive},        {{}, "b.def", FileKind::DefinitionText},
      {{"--to", "coff"}, "c.def", FileKind::CoffArchive},
      {{"--to", "def"}, "d.lib", FileKind::DefinitionText},
      {{"--to", "omf"}, "e.lib", FileKind::OmfLibrary},
  };
  for (const Case& c : cases) {
    std::vector<std::string> arguments = {borland, dir.File(c.name)};
    arguments.insert(arguments.end(), c.to.begin(), c.to.end());
    const CliResult result = Convert(arguments);
    EXPECT_EQ(result.status, 0) << Context(result);
    FileKind kind = FileKind::Unknown;
    EXPECT_TRUE(DetectFileKind(dir.File(c.name), kind)) << Context(result);
    EXPECT_EQ(kind, c.kind) << Context(result);
  }
}

TEST_F(ConvertTest, AnOmfLibraryWrittenListsBack) {
  WriteFileText(dir.File("in.def"), "EXPORTS\n  Foo\n  Bar\n");
  const CliResult result =
      Convert({dir.File("in.def"), output, "--to", "omf", "--stdcall", "Bar", "--pascal", "Foo=0"});
  ASSERT_EQ(result.status, 0) << Context(result);
  const CliResult list = RunCli({"list", output});
  EXPECT_EQ(list.status, 0) << list.err;
  EXPECT_EQ(list.out,
            "Foo\t_pascal\t0\t_Foo@0\tFoo\tFoo\tcode\tmylib.dll\n"
            "Bar\t_stdcall\t0\t_Bar\t_Bar\tBar\tcode\tmylib.dll\n");
}

// A DLL of two functions: Twice returns with "ret 4", so its convention is
// known from its code; Answer reads no argument and returns with a plain
// "ret", which a function without arguments of either convention does.
TEST_F(ConvertTest, FromADllTheLibraryImportsFromThatDllAndGuessesAreFlagged) {
  ASSERT_TRUE(Installed({Peer("clang"), Peer("lld-link"), Peer("llvm-readobj")}));
  WriteFileText(dir.File("calc.c"),
                "int Answer(void) { return 42; }\n"
                "int __stdcall Twice(int a) { return a * 2; }\n");
  const std::string dll = dir.File("calc.dll");
  std::string log;
  ASSERT_EQ(RunCommand(Peer("clang") + " --target=i686-pc-windows-msvc -O1 -c -o '" + dir.File("calc.obj") +
                           "' '" + dir.File("calc.c") + "' && " + Peer("lld-link") + " -nologo -dll -noentry "
                           "-nodefaultlib -export:Answer -export:Twice=_Twice@4 -out:'" + dll +
                           "' '" + dir.File("calc.obj") + "'",
                       &log),
            0)
      << log;

  const CliResult list = RunCli({"list", dll});
  ASSERT_EQ(list.status, 0) << list.err;
  EXPECT_NE(list.out.find("\tAnswer\tcode\tcalc.dll\n"), std::string::npos) << list.out;
  EXPECT_NE(list.out.find("Twice\t_pascal\t4\t_Twice@4\tTwice\tTwice\tcode\tcalc.dll\n"),
            std::string::npos)
      << list.out;
  EXPECT_EQ(list.err, "libmorph-cli: warning: Answer: convention guessed, check it\n");

  const CliResult warned = Convert({dll, output});
  ASSERT_EQ(warned.status, 0) << Context(warned);
  EXPECT_EQ(warned.err,
            "libmorph-cli: warning: 1 entry's convention guessed, check it: Answer\n");
  const LinkResult link = LinkClientAgainst(output, {"_Twice@4"}, dir.Path());
  ASSERT_TRUE(link.ok) << link.error;
  EXPECT_EQ(link.imports, (std::vector<ImportedName>{{"calc.dll", "Twice"}}));

  const std::string strict = dir.File("strict.lib");
  const CliResult refused = Convert({dll, strict, "--strict"});
  EXPECT_EQ(refused.status, 1) << Context(refused);
  EXPECT_EQ(refused.err,
            "libmorph-cli: error: 1 entry's convention guessed, check it: Answer\n"
            "libmorph-cli: " + strict + " not written (--strict)\n");
  EXPECT_FALSE(FileExists(strict));

  // A source that names the entry settles its convention.
  const CliResult settled =
      Convert({dll, strict, "--strict", "--stdcall", "Answer", "--pascal", "Twice=4"});
  EXPECT_EQ(settled.status, 0) << Context(settled);
  EXPECT_EQ(settled.err, "");
}

TEST_F(ConvertTest, AnX64DllGivesAnX64LibraryButNoOmfOne) {
  ASSERT_TRUE(Installed({Peer("clang"), Peer("lld-link")}));
  WriteFileText(dir.File("wide.c"), "int Answer(void) { return 42; }\n");
  const std::string dll = dir.File("wide.dll");
  std::string log;
  ASSERT_EQ(RunCommand(Peer("clang") + " --target=x86_64-pc-windows-msvc -c -o '" + dir.File("wide.obj") +
                           "' '" + dir.File("wide.c") + "' && " + Peer("lld-link") + " -nologo -dll -noentry "
                           "-nodefaultlib -export:Answer -out:'" + dll + "' '" +
                           dir.File("wide.obj") + "'",
                       &log),
            0)
      << log;
  const std::string hint = " (--to def writes its exports as a definition file)\n";
  const CliResult coff = Convert({dll, output});
  EXPECT_EQ(coff.status, 0) << Context(coff);
  const CliResult listed = RunCli({"list", output});
  EXPECT_EQ(listed.err, "libmorph-cli: " + output + ": imports for x64\n");
  EXPECT_EQ(listed.out, "Answer\t_stdcall\t0\tAnswer\tAnswer\tAnswer\tcode\twide.dll\n");
  const CliResult omf = Convert({dll, dir.File("omf.lib"), "--to", "omf"});
  EXPECT_EQ(omf.status, 1) << Context(omf);
  EXPECT_EQ(omf.err, "libmorph-cli: " + dll +
                         ": a list for x64, and OMF import libraries are for 32-bit Intel code only" + hint);
  EXPECT_FALSE(FileExists(dir.File("omf.lib")));
  // Its exports are for x64: no 32-bit Intel library can import them.
  const CliResult i386 = Convert({dll, dir.File("i386.lib"), "--machine", "i386"});
  EXPECT_EQ(i386.status, 1) << Context(i386);
  EXPECT_NE(i386.err.find("a list for x64 cannot become one for 32-bit Intel"), std::string::npos) << i386.err;
  const CliResult def = Convert({dll, dir.File("wide.def")});
  EXPECT_EQ(def.status, 0) << Context(def);
}

TEST_F(ConvertTest, DefinitionFilesInAndOutWithoutAnExtensionAdded) {
  WriteFileText(dir.File("exports.txt"), "EXPORTS\n  Foo\n  Bar\n");
  const std::string noExtension = dir.File("mylib");
  const CliResult result = Convert({"--def", dir.File("exports.txt"), noExtension, "--pascal",
                                    "Foo=8", "--stdcall", "Bar"});
  ASSERT_EQ(result.status, 0) << Context(result);
  EXPECT_TRUE(FileExists(noExtension));
  EXPECT_FALSE(FileExists(noExtension + ".lib"));
  EXPECT_EQ(ListOfFile(noExtension), From("mylib.dll", {Entry("Foo", 8, true), Entry("Bar", 0, false)}));
}

TEST_F(ConvertTest, AFileThatCannotBeOpenedOrWrittenStopsWithExitOne) {
  WriteFileText(dir.File("symbols.txt"), "_Foo@8\n");
  const std::string missing = dir.File("missing.lib");
  const std::string noFolder = dir.File("no/such/folder/out.lib");
  struct Case {
    std::vector<std::string> arguments;
    std::string message;
  };
  const std::vector<Case> cases = {
      {{missing, output}, "libmorph-cli: " + missing + ": " + ReasonText(SystemReason::NoSuchFile) + "\n"},
      {{borland, output, "--conventions", missing},
       "libmorph-cli: " + missing + ": " + ReasonText(SystemReason::NoSuchFile) + "\n"},
      {{borland, output, "--conventions", borland},
       "libmorph-cli: " + borland + ": an OMF library, not a COFF library nor a list of symbols\n"},
      {{borland, noFolder, "--conventions", dir.File("symbols.txt"), "--stdcall", "Bar",
        "--stdcall", "Baz"},
       "libmorph-cli: " + noFolder + ": " + ReasonText(SystemReason::NoSuchFolder) + "\n"},
  };
  for (const Case& c : cases) {
    const CliResult result = Convert(c.arguments);
    EXPECT_EQ(result.status, 1) << Context(result);
    EXPECT_EQ(result.err, c.message) << Context(result);
    EXPECT_FALSE(FileExists(output)) << Context(result);
  }
}

}  // namespace

namespace {

TEST_F(ConvertTest, GnuAndDelayLoadFormsListAsTheyWereWrittenAndDelayRefusesMicrosoftForms) {
  ASSERT_EQ(Convert({borland, output}).status, 0);
  const std::string gnu = dir.File("libmylib.a"), delay = dir.File("libmylib-delay.a");
  ASSERT_EQ(Convert({borland, gnu, "--to", "gnu"}).status, 0);
  EXPECT_EQ(RunCli({"list", gnu}).out, RunCli({"list", output}).out);

  const CliResult delayed = Convert({borland, delay, "--delay"});
  ASSERT_EQ(delayed.status, 0) << Context(delayed);
  // The same lines, each function marked as delayed.
  std::string expected = RunCli({"list", output}).out;
  for (std::size_t at = expected.find("\tcode\t"); at != std::string::npos; at = expected.find("\tcode\t", at))
    expected.replace(at, 5, "\tdelayed");
  EXPECT_EQ(RunCli({"list", delay}).out, expected);
  // A delayed list written where the delay cannot be said names what loses it.
  const CliResult lost = Convert({delay, dir.File("plain.lib")});
  EXPECT_EQ(lost.status, 0) << Context(lost);
  EXPECT_NE(lost.err.find("/DELAYLOAD"), std::string::npos) << Context(lost);

  for (const char* form : {"coff", "omf", "def"}) {
    const CliResult refused = Convert({borland, dir.File("x"), "--delay", "--to", form});
    EXPECT_EQ(refused.status, 2) << Context(refused);
    EXPECT_NE(refused.err.find("/DELAYLOAD"), std::string::npos) << Context(refused);
    EXPECT_FALSE(FileExists(dir.File("x")));
  }
}

}  // namespace
