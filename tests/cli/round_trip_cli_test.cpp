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

TEST(RoundTripCliTest, FmodThroughDefIsWrittenWithItsLossNamedAndRefusedUnderStrict) {
  if (!FileExists(kFmod + "fmodbc.lib")) GTEST_SKIP() << "the shared corpus is absent";
  for (const char* source : {"fmodbc.lib", "fmod.dll"}) {
    SCOPED_TRACE(source);
    TempDir dir;
    const std::string def = dir.File("fmod.def");
    const CliResult strict = RunCli({"convert", kFmod + source, def, "--strict"});
    EXPECT_EQ(strict.status, 1);
    EXPECT_NE(strict.err.find("error: 224 entries' export names cannot be said in a .def file"),
              std::string::npos)
        << strict.err;
    EXPECT_FALSE(FileExists(def));

    const CliResult written = RunCli({"convert", kFmod + source, def});
    ASSERT_EQ(written.status, 0) << written.err;
    EXPECT_NE(written.err.find("warning: 224 entries' export names"), std::string::npos);
    // The symbols and conventions survive, and so does the DLL.
    EXPECT_TRUE(ReadFileText(def).starts_with(
        "LIBRARY \"fmod.dll\"\r\nEXPORTS\r\n    FMUSIC_FreeSong@4"));
    const CliResult back = RunCli({"convert", def, dir.File("back.lib")});
    ASSERT_EQ(back.status, 0) << back.err;
    EXPECT_EQ(ListedLine(dir.File("back.lib"), "FMUSIC_FreeSong"),
              "FMUSIC_FreeSong\t_pascal\t4\t_FMUSIC_FreeSong@4\tFMUSIC_FreeSong\tFMUSIC_FreeSong\t"
              "code\tfmod.dll");
  }
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
  if (!FileExists(msvcrt)) GTEST_SKIP() << "mingw-w64's i686 libraries are not installed";
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
