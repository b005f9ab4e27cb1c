// COFF import libraries of other producers, read against the list recorded
// beside each, then written by us and read back.
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

// Name, convention, ArgLength, Microsoft symbol, Borland symbol.
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

class CoffCorpusTest : public ::testing::TestWithParam<const char*> {
 protected:
  void SetUp() override {
    if (!std::filesystem::is_directory(corpus_))
      GTEST_SKIP() << "corpus folder " << corpus_ << " is absent; these checks need it";
  }
  std::string Library() const { return corpus_ + "/" + GetParam(); }

 private:
  std::string corpus_ = LIBMORPH_CORPUS_DIR;
};

TEST_P(CoffCorpusTest, GivesTheRecordedList) {
  const std::vector<Row> expected = ReadRecordedList(Library() + ".expected.tsv");
  MessageBoxRecorder messages;
  TFichierLib lib;
  ASSERT_TRUE(lib.IsCoffArchive(Library()));
  ASSERT_TRUE(lib.ReadCoffLibrary(Library()));
  EXPECT_TRUE(messages.Calls().empty());
  const std::vector<TFonctionLib> got = ListOf(lib);
  ASSERT_EQ(got.size(), expected.size());
  for (std::size_t i = 0; i < got.size(); ++i) {
    EXPECT_EQ(got[i], expected[i].entry) << "entry " << i;
    EXPECT_EQ(MicrosoftName(got[i]), expected[i].microsoft) << "entry " << i;
    EXPECT_EQ(BorlandName(got[i]), expected[i].borland) << "entry " << i;
  }
}

TEST_P(CoffCorpusTest, OurCopyReadsBackTheSame) {
  TFichierLib original;
  ASSERT_TRUE(original.ReadCoffLibrary(Library()));
  TempDir dir;
  const std::string copy = dir.File("copy.lib");
  ASSERT_TRUE(original.WriteCoffLibrary(copy));
  TFichierLib back;
  ASSERT_TRUE(back.ReadCoffLibrary(copy));
  EXPECT_EQ(ListOf(back), ListOf(original));
}

INSTANTIATE_TEST_SUITE_P(Libraries, CoffCorpusTest,
                         ::testing::Values("libusb-win32/msvc/libusb.lib",
                                           "libusb-win32/gcc/libusb.a",
                                           "llvm-mingw/libshlwapi.a"),
                         [](const auto& info) {
                           std::string name = info.param;
                           for (char& c : name)
                             if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                           return name;
                         });

}  // namespace
