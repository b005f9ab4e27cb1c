// Real DLLs of the corpus, read against the bindings of the import
// libraries their vendors shipped with them.
#include <gtest/gtest.h>

#include <filesystem>
#include <iostream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/test_files.h"

namespace {

struct Binding {
  std::string symbol, lookup, kind;  // lookup: an export name or "@N"
};

std::vector<Binding> ReadBindings(const std::string& path) {
  std::vector<Binding> rows;
  std::istringstream in(ReadFileText(path));
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    std::istringstream fields(line);
    Binding b;
    if (std::getline(fields, b.symbol, '\t') && std::getline(fields, b.lookup, '\t') &&
        std::getline(fields, b.kind, '\t'))
      rows.push_back(b);
  }
  return rows;
}

std::string KindName(ImportKind kind) {
  return kind == ImportKind::Data ? "data" : kind == ImportKind::Const ? "const" : "code";
}

class PeCorpusTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!std::filesystem::is_directory(corpus_))
      GTEST_SKIP() << "corpus folder " << corpus_ << " is absent; these checks need it";
  }
  std::string corpus_ = LIBMORPH_CORPUS_DIR;
};

TEST_F(PeCorpusTest, FmodExportsAreStdcallWithTheirLengthsFromTheirNames) {
  TFichierLib lib;
  ASSERT_TRUE(lib.ReadDllFile(corpus_ + "/fmod-3.61/fmod.dll"));
  ASSERT_EQ(lib.Fonctions.Count, 224u);
  std::set<std::pair<std::string, std::string>> got;
  for (const TFonctionLib& e : ListOf(lib)) {
    EXPECT_TRUE(e.IsPascal) << e.Name;
    EXPECT_FALSE(e.Unsure) << e.Name;
    EXPECT_EQ(e.Import.Dll, "fmod.dll");
    got.insert({MicrosoftName(e), e.Import.ExportName});
  }
  std::set<std::pair<std::string, std::string>> expected;
  for (const Binding& b : ReadBindings(corpus_ + "/fmod-3.61/fmodbc.lib.bindings.tsv"))
    expected.insert({b.symbol, b.lookup});
  EXPECT_EQ(got, expected);
}

// Only the vendor's header tells that these take a window, an instance, a
// command line and a show flag the way rundll32 calls them (their code
// pops 16 bytes), while the vendor's library imports them as if cdecl.
const std::set<std::string> kRundllEntries = {
    "_usb_install_driver_np_rundll", "_usb_install_service_np_rundll",
    "_usb_uninstall_service_np_rundll"};

TEST_F(PeCorpusTest, Libusb0MatchesTheVendorsLibraryExceptWhereOnlyTheHeaderTells) {
  TFichierLib lib;
  ASSERT_TRUE(lib.ReadDllFile(corpus_ + "/libusb-win32/libusb0.dll"));
  std::map<int, TFonctionLib> byOrdinal;
  for (const TFonctionLib& e : ListOf(lib)) byOrdinal[e.Import.Ordinal] = e;
  const auto bindings = ReadBindings(corpus_ + "/libusb-win32/msvc/libusb.lib.bindings.tsv");
  ASSERT_EQ(bindings.size(), lib.Fonctions.Count);
  for (const Binding& b : bindings) {
    ASSERT_EQ(b.lookup.front(), '@');
    const TFonctionLib& e = byOrdinal.at(std::stoi(b.lookup.substr(1)));
    EXPECT_EQ(KindName(e.Import.Kind), b.kind) << b.symbol;
    if (kRundllEntries.count(b.symbol)) {
      EXPECT_EQ(MicrosoftName(e), b.symbol + "@16");
      continue;
    }
    EXPECT_EQ(MicrosoftName(e), b.symbol);
  }
}

}  // namespace
