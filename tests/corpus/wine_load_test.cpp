// The end of the road, through a real loader: each library of the corpus
// that has its DLL beside it is converted to a COFF import library, a
// client is linked against it with lld-link, and Wine's loader starts the
// client with the real DLL in its folder. Every import that the loader
// cannot bind is one "No implementation for DLL.NAME" line; there must be
// none. The client only takes the imports' addresses, so nothing of the
// DLL runs. Skipped where Wine (a 32-bit one) is not installed.
#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>
#include <string>
#include <vector>

#include "model/file_kind.h"
#include "tests/support/link_check.h"
#include "tests/support/test_files.h"

namespace {

struct Road {
  const char* input;  // under the corpus folder
  const char* dll;    // the DLL its imports must bind to
};

const Road kRoads[] = {
    {"fmod-3.61/fmodbc.lib", "fmod-3.61/fmod.dll"},
    {"fmod-3.61/fmodwc.lib", "fmod-3.61/fmod.dll"},
    {"fmod-3.61/fmod.dll", "fmod-3.61/fmod.dll"},
    {"libusb-win32/bcc/libusb.lib", "libusb-win32/libusb0.dll"},
    {"libusb-win32/msvc/libusb.lib", "libusb-win32/libusb0.dll"},
    {"libusb-win32/gcc/libusb.a", "libusb-win32/libusb0.dll"},
    {"libusb-win32/libusb0.dll", "libusb-win32/libusb0.dll"},
};

void PrintTo(const Road& r, std::ostream* os) { *os << r.input; }

class WineLoadTest : public ::testing::TestWithParam<Road> {
 protected:
  void SetUp() override {
    if (!std::filesystem::is_directory(corpus_))
      GTEST_SKIP() << "corpus folder " << corpus_ << " is absent; these checks need it";
    if (!HaveProgram("wine"))
      GTEST_SKIP() << "Wine is not installed; this look through a real loader needs its 32-bit part";
  }
  std::string corpus_ = LIBMORPH_CORPUS_DIR;
};

TEST_P(WineLoadTest, EveryImportBinds) {
  TempDir dir;
  const std::string dllName = std::filesystem::path(GetParam().dll).filename().string();
  TFichierLib lib;
  FileKind kind{};
  ASSERT_TRUE(ReadByContent(lib, corpus_ + "/" + GetParam().input, kind));
  ASSERT_GT(lib.Fonctions.Count, 0u);
  // Named after the DLL, so that entries that do not name theirs import
  // from it too.
  const std::string library = dir.File(std::filesystem::path(dllName).stem().string() + ".lib");
  ASSERT_TRUE(lib.WriteCoffLibrary(library));

  std::vector<std::string> imports;
  for (std::uint32_t i = 0; i < lib.Fonctions.Count; ++i) {
    const TFonctionLib& entry = lib.Fonctions.Item(i);
    if (entry.Import.Private) continue;
    imports.push_back("__imp_" + MicrosoftName(entry));
  }
  const LinkResult link = LinkClientAgainst(library, imports, dir.Path());
  ASSERT_TRUE(link.ok) << link.error;
  std::filesystem::copy_file(corpus_ + "/" + GetParam().dll, dir.File(dllName));

  std::string output;
  const std::string prefix = std::string(LIBMORPH_BINARY_DIR) + "/wineprefix";
  const int status = RunCommand("cd '" + dir.Path() + "' && WINEPREFIX='" + prefix +
                 "' WINEDEBUG=warn+module WINEDLLOVERRIDES='mscoree,mshtml=' timeout 300 wine client.exe",
             &output);
  // The client returns 0 at once, unbound imports or not; anything else
  // is Wine failing to run at all on this machine.
  if (status != 0 && output.find("No implementation for") == std::string::npos)
    GTEST_SKIP() << "Wine could not start the client here:\n" << output.substr(0, 2000);
  std::size_t unbound = 0;
  std::string first;
  for (std::size_t at = output.find("No implementation for"); at != std::string::npos;
       at = output.find("No implementation for", at + 1)) {
    if (unbound++ == 0) first = output.substr(at, output.find('\n', at) - at);
  }
  EXPECT_EQ(unbound, 0u) << "of " << imports.size() << " imports; the first: " << first;
}

INSTANTIATE_TEST_SUITE_P(Corpus, WineLoadTest, ::testing::ValuesIn(kRoads),
                         [](const auto& info) {
                           std::string name;
                           for (char c : std::string(info.param.input))
                             name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
                           return name;
                         });

}  // namespace
