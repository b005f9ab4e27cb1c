// Every library of the shared corpus checked against its DLL, the peers'
// road on fmod.dll (gendef, then llvm-dlltool -k), whose library binds
// none of its imports, and a length set against the export's own name,
// through the command line.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "check/library_check.h"
#include "files/file_kind.h"
#include "tests/support/peers.h"
#include "tests/support/test_files.h"

namespace {

using check::Problem;

class CheckCorpusTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!std::filesystem::is_directory(corpus_))
      GTEST_SKIP() << "corpus folder " << corpus_ << " is absent; these checks need it";
  }
  check::Report Check(const std::string& lib, const std::string& dllFile) {
    TFichierLib list;
    FileKind kind;
    EXPECT_TRUE(ReadByContent(list, lib, kind)) << lib;
    std::vector<check::Dll> dlls(1);
    EXPECT_TRUE(dlls[0].Open(dllFile)) << dllFile;
    check::Options options;
    options.ArgLengthsKnown = kind != FileKind::OmfLibrary;
    return check::Check(list.Fonctions, dlls, options);
  }
  std::string corpus_ = LIBMORPH_CORPUS_DIR;
};

std::map<Problem, std::uint32_t> Failures(const check::Report& report) {
  std::map<Problem, std::uint32_t> counts;
  for (const check::Finding& f : report.Findings)
    if (!check::IsInformative(f.What)) ++counts[f.What];
  return counts;
}

TEST_F(CheckCorpusTest, EachLibraryAgainstItsDll) {
  struct Pair {
    const char* lib;
    const char* dll;
    std::map<Problem, std::uint32_t> failures;
  };
  // The three rundll32 entry points of libusb0.dll pop their 16 bytes, but
  // every library makes them cdecl; Borland's library cannot mark data and
  // imports the 5 variables as code, and gives a cdecl function a _pascal
  // name. fmod.dll is packed: only its names are checked.
  const std::vector<Pair> pairs = {
      {"fmod-3.61/fmodbc.lib", "fmod-3.61/fmod.dll", {}},
      {"fmod-3.61/fmodwc.lib", "fmod-3.61/fmod.dll", {}},
      {"libusb-win32/msvc/libusb.lib", "libusb-win32/libusb0.dll", {{Problem::StackMismatch, 3}}},
      {"libusb-win32/gcc/libusb.a", "libusb-win32/libusb0.dll", {{Problem::StackMismatch, 3}}},
      {"libusb-win32/bcc/libusb.lib", "libusb-win32/libusb0.dll",
       {{Problem::StackMismatch, 4}, {Problem::CodeOrData, 5}}},
  };
  for (const Pair& p : pairs) {
    SCOPED_TRACE(p.lib);
    const check::Report report = Check(corpus_ + "/" + p.lib, corpus_ + "/" + p.dll);
    EXPECT_EQ(report.Bound, report.Imports);
    EXPECT_EQ(Failures(report), p.failures);
    EXPECT_EQ(report.Count(Problem::PackedCode), std::string(p.dll).starts_with("fmod") ? 1u : 0u);
  }
}

TEST_F(CheckCorpusTest, PeersRoadOnFmodBindsNothingAndEachMissNamesItsExport) {
  ASSERT_TRUE(Installed({"gendef", Peer("llvm-dlltool")}));
  TempDir dir;
  std::string output;
  ASSERT_EQ(RunCommand("cd " + dir.Path() + " && cp " + corpus_ + "/fmod-3.61/fmod.dll . && gendef fmod.dll" +
                           " && " + Peer("llvm-dlltool") + " -m i386 -k -d fmod.def -l fmod.lib",
                       &output),
            0)
      << output;
  const check::Report report = Check(dir.File("fmod.lib"), dir.File("fmod.dll"));
  EXPECT_EQ(report.Imports, 224u);
  EXPECT_EQ(report.Bound, 0u);
  EXPECT_EQ(report.Count(Problem::NotExported), 224u);
  for (const check::Finding& f : report.Findings) {
    if (f.What == Problem::NotExported) {
      EXPECT_FALSE(f.Other.empty()) << f.Asked;
    }
  }
}

// fmod.dll is packed: only its export name tells that FMUSIC_FreeSong
// pops 4 bytes, not the 12 it is converted with.
TEST_F(CheckCorpusTest, LengthAgainstThePackedDllsExportNameThroughTheCommandLine) {
  TempDir dir;
  const std::string cli = LIBMORPH_CLI, lib = dir.File("ed.lib");
  std::string output;
  ASSERT_EQ(RunCommand(cli + " convert " + corpus_ + "/fmod-3.61/fmodbc.lib " + lib + " --pascal FMUSIC_FreeSong=12",
                       &output),
            0)
      << output;
  EXPECT_EQ(RunCommand(cli + " check " + lib + " " + corpus_ + "/fmod-3.61/fmod.dll 2>&1", &output), 1);
  const std::string prefix = "libmorph-cli: " + lib + ": ";
  EXPECT_EQ(output,
            prefix + "_FMUSIC_FreeSong@12: stack mismatch: the symbol says the function pops 12 bytes, its export "
                     "name \"_FMUSIC_FreeSong@4\" says it pops 4 bytes\n" +
                prefix + "fmod.dll: the code is packed: only conventions that export names spell can be checked\n" +
                prefix + "224 imports, 224 bind; 0 do not bind, 0 bind to another function, 0 wrong DLL, 0 code or "
                         "data, 1 stack mismatch; 0 forwarded; conventions checked for 224\n");
}

}  // namespace
