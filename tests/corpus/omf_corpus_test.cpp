// OMF import libraries written by other librarians, read against the list
// recorded beside each of them.
#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "tests/support/test_files.h"

namespace {

struct ExpectedRow {
  TFonctionLib entry;
  std::string microsoft;
  std::string borland;
};

// Name, convention, ArgLength, Microsoft symbol, Borland symbol.
std::vector<ExpectedRow> ReadExpected(const std::string& path) {
  std::vector<ExpectedRow> rows;
  std::istringstream in(ReadFileText(path));
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty()) continue;
    std::vector<std::string> cells;
    std::istringstream fields(line);
    for (std::string cell; std::getline(fields, cell, '\t');) cells.push_back(cell);
    if (cells.size() != 5) throw std::runtime_error("bad line in " + path + ": " + line);
    rows.push_back({Entry(cells[0], std::stoi(cells[2]), cells[1] == "_pascal"), cells[3],
                    cells[4]});
  }
  return rows;
}

class OmfCorpusTest : public ::testing::TestWithParam<const char*> {};

TEST_P(OmfCorpusTest, GivesTheRecordedList) {
  const std::string corpus = LIBMORPH_CORPUS_DIR;
  if (!std::filesystem::is_directory(corpus))
    GTEST_SKIP() << "corpus folder " << corpus << " is absent; these checks need it";
  const std::string library = corpus + "/" + GetParam();

  const std::vector<ExpectedRow> expected = ReadExpected(library + ".expected.tsv");
  MessageBoxRecorder messages;
  TFichierLib lib;
  ASSERT_FALSE(lib.IsCoffArchive(library));
  ASSERT_TRUE(lib.ReadOmfLibrary(library));
  EXPECT_TRUE(messages.Calls().empty());

  const std::vector<TFonctionLib> got = ListOf(lib);
  ASSERT_EQ(got.size(), expected.size());
  for (std::size_t i = 0; i < got.size(); ++i) {
    EXPECT_EQ(got[i], expected[i].entry) << "entry " << i;
    EXPECT_EQ(MicrosoftName(got[i]), expected[i].microsoft) << "entry " << i;
    EXPECT_EQ(BorlandName(got[i]), expected[i].borland) << "entry " << i;
  }
}

INSTANTIATE_TEST_SUITE_P(Libraries, OmfCorpusTest,
                         ::testing::Values("fmod-3.61/fmodbc.lib", "fmod-3.61/fmodwc.lib",
                                           "libusb-win32/bcc/libusb.lib"),
                         [](const auto& info) {
                           std::string name = info.param;
                           for (char& c : name)
                             if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                           return name;
                         });

}  // namespace
