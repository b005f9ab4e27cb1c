// The whole road for every file of the corpus that has its DLL beside it:
// read it by content, write a COFF import library, and check that each
// import binds to what the DLL really exports, three ways:
//   - the peer's reading of our library gives the same bindings as the
//     input's own (NAME.bindings.tsv), symbol, export name or ordinal and
//     kind alike, and each of them names an export of the DLL
//     (llvm-readobj --coff-exports);
//   - lld-link links a client against it, and the client's import table
//     names only exports of the DLL;
//   - where Wine's 32-bit loader is installed, it starts the client beside
//     the real DLL and says "No implementation for DLL.NAME" for no import.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "model/conventions.h"
#include "files/file_kind.h"
#include "tests/support/link_check.h"
#include "tests/support/peer_bindings.h"
#include "tests/support/peers.h"
#include "tests/support/test_files.h"

namespace {

struct Road {
  const char* input;        // under the corpus folder
  const char* dll;          // the DLL its imports must bind to
  const char* bindings;     // the .tsv our library must bind like; empty: none
  const char* conventions;  // a library whose conventions are applied first; empty: none
};

const Road kRoads[] = {
    {"fmod-3.61/fmodbc.lib", "fmod-3.61/fmod.dll", "fmod-3.61/fmodbc.lib", ""},
    {"fmod-3.61/fmodwc.lib", "fmod-3.61/fmod.dll", "fmod-3.61/fmodwc.lib", ""},
    {"fmod-3.61/fmod.dll", "fmod-3.61/fmod.dll", "fmod-3.61/fmodbc.lib", ""},
    {"libusb-win32/bcc/libusb.lib", "libusb-win32/libusb0.dll", "libusb-win32/bcc/libusb.lib", ""},
    {"libusb-win32/bcc/libusb.lib", "libusb-win32/libusb0.dll", "libusb-win32/msvc/libusb.lib",
     "libusb-win32/msvc/libusb.lib"},
    {"libusb-win32/msvc/libusb.lib", "libusb-win32/libusb0.dll", "libusb-win32/msvc/libusb.lib", ""},
    {"libusb-win32/gcc/libusb.a", "libusb-win32/libusb0.dll", "libusb-win32/gcc/libusb.a", ""},
    {"libusb-win32/libusb0.dll", "libusb-win32/libusb0.dll", "", ""},
};

void PrintTo(const Road& r, std::ostream* os) {
  *os << r.input << (*r.conventions ? " with conventions" : "");
}

// The GNU library marks five data imports as code in its recorded list,
// though their objects have no thunk (the Microsoft library of the same
// DLL says data): we read, and write, data.
std::vector<PeerBinding> Recorded(const std::string& tsv) {
  std::vector<PeerBinding> lines = LoadBindingsTsv(tsv);
  const std::set<std::string> data = {"_usb_busses", "_usb_debug", "_usb_error_errno",
                                     "_usb_error_str", "_usb_error_type"};
  if (tsv.find("gcc/libusb.a") != std::string::npos)
    for (PeerBinding& b : lines)
      if (data.count(b.symbol)) b.kind = "data";
  return WithoutDlls(lines);
}

std::string TestName(const Road& r) {
  std::string name;
  for (char c : std::string(r.input) + (*r.conventions ? "_conventions" : ""))
    name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
  return name;
}

class RoadTest : public ::testing::TestWithParam<Road> {
 protected:
  void SetUp() override {
    if (!std::filesystem::is_directory(corpus_))
      GTEST_SKIP() << "corpus folder " << corpus_ << " is absent; these checks need it";
    ASSERT_TRUE(Installed({Peer("llvm-readobj"), Peer("lld-link"), Peer("clang")}));
  }
  std::string In(const char* path) const { return corpus_ + "/" + path; }
  std::string corpus_ = LIBMORPH_CORPUS_DIR;
};

TEST_P(RoadTest, EveryImportBindsToAnExportOfTheDll) {
  const Road& road = GetParam();
  TempDir dir;
  const std::string dllName = std::filesystem::path(road.dll).filename().string();

  TFichierLib lib;
  FileKind kind{};
  ASSERT_TRUE(ReadByContent(lib, In(road.input), kind));
  ASSERT_GT(lib.Fonctions.Count, 0u);
  if (*road.conventions) {
    TFichierLib source;
    ASSERT_TRUE(source.ReadCoffLibrary(In(road.conventions)));
    ConventionTable table;
    table.SetAll(source.Fonctions);
    const ConventionReport report = ApplyConventions(lib.Fonctions, table);
    EXPECT_TRUE(report.UnmatchedEntries.empty());
    EXPECT_TRUE(report.UnusedNames.empty());
  }
  // Named after the DLL, so that entries which do not name theirs import
  // from it too.
  const std::string library = dir.File(std::filesystem::path(dllName).stem().string() + ".lib");
  ASSERT_TRUE(lib.WriteCoffLibrary(library));

  const PeerBindings ours = ReadLibraryBindings(library);
  ASSERT_TRUE(ours.ok) << ours.error;
  ASSERT_EQ(ours.bindings.size(), lib.Fonctions.Count);
  if (*road.bindings) {
    EXPECT_EQ(WithoutDlls(ours.bindings), Recorded(In(road.bindings) + ".bindings.tsv"));
  }
  const std::set<std::string> exports = DllExports(In(road.dll));
  ASSERT_FALSE(exports.empty()) << "llvm-readobj lists no export of " << road.dll;
  std::vector<std::string> imports;
  for (const PeerBinding& b : ours.bindings) {
    EXPECT_TRUE(exports.count(b.lookup)) << b.symbol << " looks up " << b.lookup;
    EXPECT_TRUE(b.dll.empty() || b.dll == dllName || b.dll == "LIBUSB0.DLL" || b.dll == "FMOD.DLL")
        << b.symbol << " imports from " << b.dll;
    imports.push_back("__imp_" + b.symbol);
  }

  const LinkResult link = LinkClientAgainst(library, imports, dir.Path());
  ASSERT_TRUE(link.ok) << link.error;
  EXPECT_EQ(link.imports.size(), imports.size());
  for (const ImportedName& i : link.imports)
    EXPECT_TRUE(exports.count(i.name)) << i.dll << "!" << i.name;

  if (!HaveProgram("wine")) return;  // the look through a real loader is optional
  std::filesystem::copy_file(In(road.dll), dir.File(dllName));
  std::string output;
  const std::string prefix = std::string(LIBMORPH_BINARY_DIR) + "/wineprefix";
  const int status = RunCommand("cd '" + dir.Path() + "' && WINEPREFIX='" + prefix +
                                    "' WINEDEBUG=warn+module WINEDLLOVERRIDES='mscoree,mshtml=' "
                                    "timeout 300 wine client.exe",
                                &output);
  // The loader speaks of the DLL it maps (warn+module) whether or not the
  // imports bind; silence, or the time limit, means Wine did not run here.
  if (status == 124 || output.find(dllName) == std::string::npos) {
    std::printf("Wine could not start the client here; the loader's look is left out\n");
    return;
  }
  std::size_t unbound = 0;
  std::string first;
  for (std::size_t at = output.find("No implementation for"); at != std::string::npos;
       at = output.find("No implementation for", at + 1))
    if (unbound++ == 0) first = output.substr(at, output.find('\n', at) - at);
  EXPECT_EQ(unbound, 0u) << "of " << imports.size() << " imports; the first: " << first;
}

INSTANTIATE_TEST_SUITE_P(Corpus, RoadTest, ::testing::ValuesIn(kRoads),
                         [](const auto& info) { return TestName(info.param); });

}  // namespace
