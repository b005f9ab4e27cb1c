// Other producers' OMF import libraries: what each import binds to, their
// dictionaries, and our own OMF copies of them and of the COFF libraries.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "tests/support/omf_builder.h"
#include "tests/support/test_files.h"

namespace {

const std::string kCorpus = LIBMORPH_CORPUS_DIR;

struct OmfLibrary {
  const char* path;
  const char* dll;
};
const OmfLibrary kOmfLibraries[] = {{"fmod-3.61/fmodbc.lib", "fmod.dll"},
                                    {"fmod-3.61/fmodwc.lib", "fmod.dll"},
                                    {"libusb-win32/bcc/libusb.lib", "libusb0.dll"}};
const char* const kCoffLibraries[] = {"libusb-win32/msvc/libusb.lib", "libusb-win32/gcc/libusb.a",
                                      "llvm-mingw/libshlwapi.a"};

using Binding = std::tuple<std::string, std::string, std::string>;

std::set<Binding> RecordedBindings(const std::string& path) {
  std::set<Binding> rows;
  std::istringstream in(ReadFileText(path));
  for (std::string line; std::getline(in, line);) {
    std::istringstream fields(line);
    std::string symbol, target, kind;
    std::getline(fields, symbol, '\t');
    std::getline(fields, target, '\t');
    std::getline(fields, kind, '\t');
    if (!symbol.empty()) rows.insert({symbol, target, kind});
  }
  return rows;
}

std::string Target(const TFonctionLib& e) {
  return e.Import.ByOrdinal ? "@" + std::to_string(e.Import.Ordinal) : e.Import.ExportName;
}

// Every import definition of a library as written: internal name, module
// name, entry name or "@" ordinal.
std::vector<std::string> Definitions(const std::string& path) {
  TFichierLib lib;
  EXPECT_TRUE(lib.ReadOmfLibrary(path));
  std::vector<std::string> out;
  for (const TFonctionLib& e : ListOf(lib))
    out.push_back(BorlandName(e) + " " + e.Import.Dll + " " + Target(e));
  return out;
}

class OmfCorpusTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!std::filesystem::is_directory(kCorpus))
      GTEST_SKIP() << "corpus folder " << kCorpus << " is absent; these checks need it";
  }
  TempDir dir;
};

TEST_F(OmfCorpusTest, EachImportBindsAsRecorded) {
  for (const OmfLibrary& l : kOmfLibraries) {
    SCOPED_TRACE(l.path);
    TFichierLib lib;
    ASSERT_TRUE(lib.ReadOmfLibrary(kCorpus + "/" + l.path));
    std::set<Binding> got;
    for (const TFonctionLib& e : ListOf(lib)) {
      got.insert({MicrosoftName(e), Target(e), "code"});
      EXPECT_EQ(e.Import.Dll, l.dll) << e.Name;
    }
    EXPECT_EQ(got, RecordedBindings(kCorpus + "/" + l.path + ".bindings.tsv"));
  }
}

TEST_F(OmfCorpusTest, DictionariesOfRealLibrariesAndTheLookupHabitsTheyNeed) {
  struct Expect {
    const char* path;
    bool restartFindsAll;
    bool continueFindsAll;
  };
  // Borland's librarian starts again from the name's first bucket after a
  // full block, Open Watcom's keeps its bucket; fmodbc.lib's dictionary is
  // damaged, and some of its names neither finds.
  for (const Expect x : {Expect{"libusb-win32/bcc/libusb.lib", true, false},
                         Expect{"fmod-3.61/fmodwc.lib", false, true},
                         Expect{"fmod-3.61/fmodbc.lib", false, false}}) {
    SCOPED_TRACE(x.path);
    const std::string path = kCorpus + "/" + x.path;
    const Bytes file = ReadFileBytes(path);
    TFichierLib lib;
    ASSERT_TRUE(lib.ReadOmfLibrary(path));
    std::size_t byRestart = 0, byContinue = 0;
    for (const TFonctionLib& e : ListOf(lib)) {
      byRestart += omf::LookUp(file, BorlandName(e), true).has_value();
      byContinue += omf::LookUp(file, BorlandName(e), false).has_value();
    }
    const std::size_t all = lib.Fonctions.Count;
    EXPECT_EQ(byRestart == all, x.restartFindsAll) << byRestart << " of " << all;
    EXPECT_EQ(byContinue == all, x.continueFindsAll) << byContinue << " of " << all;
    EXPECT_GT(byRestart + byContinue, all / 2);
  }
}

TEST_F(OmfCorpusTest, OurCopyKeepsEveryImportDefinition) {
  for (const OmfLibrary& l : kOmfLibraries) {
    SCOPED_TRACE(l.path);
    TFichierLib lib;
    ASSERT_TRUE(lib.ReadOmfLibrary(kCorpus + "/" + l.path));
    const std::string copy = dir.File("copy.lib");
    ASSERT_TRUE(lib.WriteBorlandLibrary(copy));
    EXPECT_EQ(Definitions(copy), Definitions(kCorpus + "/" + l.path));
  }
}

// An import definition holds no argument length (a Borland client links a
// _pascal function by its plain name), so only what the export name
// spells comes back; everything the loader and a Borland linker use does.
TEST_F(OmfCorpusTest, CoffLibrariesComeBackFromOmfWithTheirBindings) {
  for (const char* path : kCoffLibraries) {
    SCOPED_TRACE(path);
    TFichierLib coff;
    ASSERT_TRUE(coff.ReadCoffLibrary(kCorpus + "/" + path));
    const std::string copy = dir.File("copy.lib");
    ASSERT_TRUE(coff.WriteBorlandLibrary(copy));
    TFichierLib back;
    ASSERT_TRUE(back.ReadOmfLibrary(copy));
    const std::vector<TFonctionLib> want = ListOf(coff), got = ListOf(back);
    ASSERT_EQ(got.size(), want.size());
    for (std::size_t i = 0; i < got.size(); ++i) {
      SCOPED_TRACE(want[i].Name);
      EXPECT_EQ(got[i].Name, want[i].Name);
      EXPECT_EQ(got[i].IsPascal, want[i].IsPascal);
      EXPECT_EQ(BorlandName(got[i]), BorlandName(want[i]));
      EXPECT_EQ(got[i].Import.Dll, want[i].Import.Dll);
      EXPECT_EQ(Target(got[i]), Target(want[i]));
    }
  }
}

// Where two producers may only
// write one thing, ours is what Borland's librarian wrote.
TEST_F(OmfCorpusTest, MicrosoftsListAsOmfMatchesBorlandsLibrary) {
  TFichierLib msvc;
  ASSERT_TRUE(msvc.ReadCoffLibrary(kCorpus + "/libusb-win32/msvc/libusb.lib"));
  const std::string copy = dir.File("libusb.lib");
  ASSERT_TRUE(msvc.WriteBorlandLibrary(copy));
  TFichierLib ours, theirs;
  ASSERT_TRUE(ours.ReadOmfLibrary(copy));
  ASSERT_TRUE(theirs.ReadOmfLibrary(kCorpus + "/libusb-win32/bcc/libusb.lib"));
  ASSERT_EQ(ours.Fonctions.Count, theirs.Fonctions.Count);
  for (std::uint32_t i = 0; i < ours.Fonctions.Count; ++i) {
    const TFonctionLib& o = ours.Fonctions.Item(i);
    const TFonctionLib& t = theirs.Fonctions.Item(i);
    SCOPED_TRACE(t.Name);
    EXPECT_EQ(o.Import.Dll, t.Import.Dll);
    // The producers' choices: Microsoft's library imports every function
    // by ordinal, Borland's by name but for one, which it also names
    // without the leading underscore.
    EXPECT_TRUE(o.Import.ByOrdinal);
    if (t.Import.ByOrdinal) {
      EXPECT_EQ(o.Import.Ordinal, t.Import.Ordinal);
      EXPECT_EQ(BorlandName(o), "_" + BorlandName(t));
    } else {
      EXPECT_EQ(BorlandName(o), BorlandName(t));
      EXPECT_EQ(t.Import.ExportName, BorlandName(t).substr(1));
    }
  }
}

}  // namespace
