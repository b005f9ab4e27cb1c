// The corpus road through the program itself, as a build script takes it
// (and, under Wine, through the .exe): each vendor's file converted by
// "libmorph-cli convert" binds like its own library, to exports of its DLL,
// and lld-link links a client that imports every entry. A copy of each
// input is converted, under a name with accents, so that no other test
// reading the corpus is refused the file meanwhile.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>

#include "tests/cli/cli_runner.h"
#include "tests/support/link_check.h"
#include "tests/support/peer_bindings.h"
#include "tests/support/peers.h"
#include "tests/support/test_files.h"

namespace {

struct Road {
  const char* input;     // under the corpus folder
  const char* dll;       // the DLL its imports must bind to
  const char* bindings;  // whose NAME.bindings.tsv the output must bind like
};

const Road kRoads[] = {
    {"fmod-3.61/fmodbc.lib", "fmod-3.61/fmod.dll", "fmod-3.61/fmodbc.lib"},
    {"fmod-3.61/fmod.dll", "fmod-3.61/fmod.dll", "fmod-3.61/fmodbc.lib"},
    {"libusb-win32/msvc/libusb.lib", "libusb-win32/libusb0.dll", "libusb-win32/msvc/libusb.lib"},
};

void PrintTo(const Road& r, std::ostream* os) { *os << r.input; }

class CliRoadTest : public ::testing::TestWithParam<Road> {};

TEST_P(CliRoadTest, ConvertedLibraryBindsEveryImport) {
  const std::string corpus = LIBMORPH_CORPUS_DIR;
  if (!std::filesystem::is_directory(corpus))
    GTEST_SKIP() << "corpus folder " << corpus << " is absent; these checks need it";
  ASSERT_TRUE(Installed({Peer("llvm-readobj"), Peer("lld-link"), Peer("clang")}));
  const Road& road = GetParam();
  TempDir dir;
  const std::string input = dir.File("entrée-" + std::filesystem::path(road.input).filename().string());
  std::filesystem::copy_file(corpus + "/" + road.input, input);
  const std::string output = dir.File("bibliothèque.lib");

  const std::vector<std::string> arguments = {"convert", input, output};
  const CliResult result = RunCli(arguments);
  ASSERT_EQ(result.status, 0) << Describe(arguments, result);

  const PeerBindings ours = ReadLibraryBindings(output);
  ASSERT_TRUE(ours.ok) << ours.error;
  const std::vector<PeerBinding> recorded =
      WithoutDlls(LoadBindingsTsv(corpus + "/" + road.bindings + ".bindings.tsv"));
  EXPECT_EQ(WithoutDlls(ours.bindings), recorded);
  const std::set<std::string> exports = DllExports(corpus + "/" + road.dll);
  ASSERT_FALSE(exports.empty()) << "llvm-readobj lists no export of " << road.dll;
  std::vector<std::string> imports;
  for (const PeerBinding& b : ours.bindings) {
    EXPECT_TRUE(exports.count(b.lookup)) << b.symbol << " looks up " << b.lookup;
    imports.push_back("__imp_" + b.symbol);
  }
  const LinkResult link = LinkClientAgainst(output, imports, dir.Path());
  ASSERT_TRUE(link.ok) << link.error;
  EXPECT_EQ(link.imports.size(), recorded.size());
  std::size_t bound = 0;
  for (const ImportedName& i : link.imports) bound += exports.count(i.name);
  EXPECT_EQ(bound, recorded.size()) << "imports that name an export of " << road.dll;
  std::printf("%s: %zu of %zu imports bind\n", road.input, bound, recorded.size());
}

INSTANTIATE_TEST_SUITE_P(Corpus, CliRoadTest, ::testing::ValuesIn(kRoads), [](const auto& info) {
  std::string name;
  for (char c : std::string(info.param.input)) name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
  return name;
});

}  // namespace
