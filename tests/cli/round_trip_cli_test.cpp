// The roads between forms on the command line: what a form cannot hold is
// said before writing (and refused under --strict), a length typed against
// the export name is reported, and a library read back keeps its DLL.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/cli/cli_runner.h"
#include "tests/support/test_files.h"

namespace {

const std::string kFmod = std::string(LIBMORPH_CORPUS_DIR) + "/fmod-3.61/";

// The list's line for a name, as `list` prints it; empty when none.
std::string ListedLine(const std::string& file, const std::string& name) {
  const CliResult listed = RunCli({"list", file});
  EXPECT_EQ(listed.status, 0) << listed.err;
  std::size_t at = 0;
  for (std::size_t end; (end = listed.out.find('\n', at)) != std::string::npos; at = end + 1) {
    const std::string line = listed.out.substr(at, end - at);
    if (line.starts_with(name + "\t")) return line;
  }
  return {};
}

TEST(RoundTripCliTest, StdcallLinesOfADefFileKeepTheirLengths) {
  TempDir dir;
  WriteFileText(dir.File("fmod.def"), "LIBRARY fmod.dll\nEXPORTS\nFSOUND_Init@12\n");
  const CliResult converted = RunCli({"convert", dir.File("fmod.def"), dir.File("fmod.lib")});
  ASSERT_EQ(converted.status, 0) << converted.err;
  EXPECT_EQ(converted.err, "");
  EXPECT_EQ(ListedLine(dir.File("fmod.lib"), "FSOUND_Init"),
            "FSOUND_Init\t_pascal\t12\t_FSOUND_Init@12\tFSOUND_Init\tFSOUND_Init\tcode\tfmod.dll");
}

// fmod exports its decorated names themselves ("_FMUSIC_FreeSong@4"): the
// .def says so with "==", nothing is lost, and it reads back as the list
// it was written from, whether that came from the library or the DLL.
TEST(RoundTripCliTest, FmodThroughDefKeepsEveryExportName) {
  if (!FileExists(kFmod + "fmodbc.lib")) GTEST_SKIP() << "the shared corpus is absent";
  for (const char* source : {"fmodbc.lib", "fmod.dll"}) {
    SCOPED_TRACE(source);
    TempDir dir;
    const std::string def = dir.File("fmod.def");
    const CliResult written = RunCli({"convert", kFmod + source, def, "--strict"});
    ASSERT_EQ(written.status, 0) << written.err;
    EXPECT_EQ(written.err.find("export names"), std::string::npos) << written.err;
    // The DLL also gives the ordinal.
    const std::string text = ReadFileText(def);
    const std::string head = "LIBRARY \"fmod.dll\"\r\nEXPORTS\r\n    ";
    ASSERT_TRUE(text.starts_with(head)) << text;
    EXPECT_EQ(text.substr(head.size(), text.find('\r', head.size()) - head.size()),
              std::string(source) == "fmod.dll" ? "FMUSIC_FreeSong@4 @1 == _FMUSIC_FreeSong@4"
                                                : "FMUSIC_FreeSong@4 == _FMUSIC_FreeSong@4");
    EXPECT_EQ(RunCli({"list", def}).out, RunCli({"list", kFmod + source}).out);
  }
}

// On x64 a .def name is the symbol and the export, decorations and all.
TEST(RoundTripCliTest, ADefFileIsReadForTheMachineAsked) {
  TempDir dir;
  WriteFileText(dir.File("bar.def"), "LIBRARY bar.dll\nEXPORTS\nBar@8\nBaz == Qux\n");
  const CliResult converted =
      RunCli({"convert", dir.File("bar.def"), dir.File("bar.lib"), "--machine", "x64"});
  ASSERT_EQ(converted.status, 0) << converted.err;
  EXPECT_EQ(converted.err, "");
  EXPECT_EQ(ListedLine(dir.File("bar.lib"), "Bar@8"),
            "Bar@8\t_stdcall\t0\tBar@8\tBar@8\tBar@8\tcode\tbar.dll");
  EXPECT_EQ(ListedLine(dir.File("bar.lib"), "Baz"), "Baz\t_stdcall\t0\tBaz\tBaz\tQux\tcode\tbar.dll");
}

// A length typed against the one the export name spells makes an import of
// its own; read back, it still names its DLL, and OMF imports from it.
TEST(RoundTripCliTest, AnEditedLengthIsReportedAndTheLibraryReadsBackWithItsDll) {
  if (!FileExists(kFmod + "fmodbc.lib")) GTEST_SKIP() << "the shared corpus is absent";
  TempDir dir;
  const CliResult edited = RunCli({"convert", kFmod + "fmodbc.lib", dir.File("out.lib"), "--pascal",
                                   "FMUSIC_FreeSong=12"});
  ASSERT_EQ(edited.status, 0) << edited.err;
  EXPECT_NE(edited.err.find("warning: 1 entry's argument length differs from the one its export "
                            "name spells (kept): FMUSIC_FreeSong\n"),
            std::string::npos)
      << edited.err;
  EXPECT_EQ(ListedLine(dir.File("out.lib"), "FMUSIC_FreeSong"),
            "FMUSIC_FreeSong\t_pascal\t12\t_FMUSIC_FreeSong@12\tFMUSIC_FreeSong\t_FMUSIC_FreeSong@4\t"
            "code\tfmod.dll");
  const CliResult omf = RunCli({"convert", dir.File("out.lib"), dir.File("bc.lib"), "--to", "omf"});
  ASSERT_EQ(omf.status, 0) << omf.err;
  EXPECT_NE(omf.err.find("1 entry's argument length is not spelled by its export name and is lost"),
            std::string::npos);
  EXPECT_EQ(ListedLine(dir.File("bc.lib"), "FMUSIC_GetBPM"),
            "FMUSIC_GetBPM\t_pascal\t4\t_FMUSIC_GetBPM@4\tFMUSIC_GetBPM\t_FMUSIC_GetBPM@4\tcode\tfmod.dll");
}

TEST(RoundTripCliTest, ObjectsBesideImportsAreNamedOnce) {
  const std::string msvcrt = "/usr/i686-w64-mingw32/lib/libmsvcrt.a";
  ASSERT_TRUE(FileExists(msvcrt)) << msvcrt << " is missing (scripts/install-deps installs mingw-w64's i686 compiler, which brings it)";
  TempDir dir;
  const CliResult converted = RunCli({"convert", msvcrt, dir.File("msvcrt.lib")});
  ASSERT_EQ(converted.status, 0) << converted.err;
  const std::string lead = "libmorph-cli: warning: " + msvcrt + ": ";
  ASSERT_TRUE(converted.err.starts_with(lead)) << converted.err;
  EXPECT_NE(converted.err.find(" object modules that are not imports were left out: "),
            std::string::npos);
  EXPECT_EQ(converted.err.find(lead, 1), std::string::npos);
}

}  // namespace
