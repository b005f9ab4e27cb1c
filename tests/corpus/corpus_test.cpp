// Import libraries written by other producers, read against the list
// recorded beside each of them (Name, convention, ArgLength, Microsoft
// symbol, Borland symbol, tab-separated).
#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "tests/support/test_files.h"

namespace {

struct Row {
  TFonctionLib entry;
  std::string microsoft;
  std::string borland;
};

std::vector<Row> ReadRecordedList(const std::string& path) {
  std::vector<Row> rows;
  std::istringstream in(ReadFileText(path));
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty()) continue;
    std::vector<std::string> cells;
    std::istringstream fields(line);
    for (std::string cell; std::getline(fields, cell, '\t');) cells.push_back(cell);
    if (cells.size() != 5) throw std::runtime_error("bad line in " + path + ": " + line);
    rows.push_back({Entry(cells[0], std::stoi(cells[2]), cells[1] == "_pascal"), cells[3], cells[4]});
  }
  return rows;
}

struct Library {
  const char* path;
  bool coff;
  // The entry names give argument lengths the recorded list leaves at 0;
  // omf_corpus_test checks them against the bindings.
  bool readsArgLengths = false;
};

const Library kLibraries[] = {
    {"fmod-3.61/fmodbc.lib", false, true},        {"fmod-3.61/fmodwc.lib", false},
    {"libusb-win32/bcc/libusb.lib", false}, {"libusb-win32/msvc/libusb.lib", true},
    {"libusb-win32/gcc/libusb.a", true},    {"llvm-mingw/libshlwapi.a", true},
};

void PrintTo(const Library& l, std::ostream* os) { *os << l.path; }

class CorpusTest : public ::testing::TestWithParam<Library> {
 protected:
  void SetUp() override {
    if (!std::filesystem::is_directory(corpus_))
      GTEST_SKIP() << "corpus folder " << corpus_ << " is absent; these checks need it";
  }
  std::string Path() const { return corpus_ + "/" + GetParam().path; }

 private:
  std::string corpus_ = LIBMORPH_CORPUS_DIR;
};

TEST_P(CorpusTest, GivesTheRecordedList) {
  const std::vector<Row> expected = ReadRecordedList(Path() + ".expected.tsv");
  MessageBoxRecorder messages;
  TFichierLib lib;
  ASSERT_EQ(lib.IsCoffArchive(Path()), GetParam().coff);
  ASSERT_TRUE(GetParam().coff ? lib.ReadCoffLibrary(Path()) : lib.ReadOmfLibrary(Path()));
  EXPECT_TRUE(messages.Calls().empty());
  const std::vector<TFonctionLib> got = ListOf(lib);
  ASSERT_EQ(got.size(), expected.size());
  for (std::size_t i = 0; i < got.size(); ++i) {
    if (GetParam().readsArgLengths) {
      EXPECT_EQ(got[i].Name, expected[i].entry.Name) << "entry " << i;
      EXPECT_EQ(got[i].IsPascal, expected[i].entry.IsPascal) << "entry " << i;
    } else {
      TFonctionLib want = expected[i].entry;
      want.Import = got[i].Import;  // recorded in .bindings.tsv, checked by coff_ and omf_corpus_test
      EXPECT_EQ(got[i], want) << "entry " << i;
      EXPECT_EQ(MicrosoftName(got[i]), expected[i].microsoft) << "entry " << i;
    }
    EXPECT_EQ(BorlandName(got[i]), expected[i].borland) << "entry " << i;
  }
}

INSTANTIATE_TEST_SUITE_P(Libraries, CorpusTest,
                         ::testing::ValuesIn(kLibraries),
                         [](const auto& info) {
                           std::string name = info.param.path;
                           for (char& c : name)
                             if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                           return name;
                         });

// Written by us, each COFF library reads back as the same list.
TEST(CorpusCopyTest, OurCopiesOfCoffLibrariesReadBackTheSame) {
  const std::string corpus = LIBMORPH_CORPUS_DIR;
  if (!std::filesystem::is_directory(corpus))
    GTEST_SKIP() << "corpus folder " << corpus << " is absent; these checks need it";
  for (const Library& library : kLibraries) {
    if (!library.coff) continue;
    SCOPED_TRACE(library.path);
    TFichierLib original;
    ASSERT_TRUE(original.ReadCoffLibrary(corpus + "/" + library.path));
    TempDir dir;
    const std::string copy = dir.File("copy.lib");
    ASSERT_TRUE(original.WriteCoffLibrary(copy));
    TFichierLib back;
    ASSERT_TRUE(back.ReadCoffLibrary(copy));
    EXPECT_EQ(ListOf(back), ListOf(original));
  }
}

}  // namespace
