// .def files we read and write, checked by the librarians that make import
// libraries of them: the library a peer makes from the .def we write after
// reading a .def binds every import as the library the peer makes from the
// original. llvm-readobj and the members' own bytes tell the bindings
// (symbol, what the loader looks up, kind, DLL), so our COFF reader plays
// no part.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "tests/support/peer_bindings.h"
#include "tests/support/test_files.h"

namespace {

const std::string kModule = "LIBRARY fmod\nEXPORTS\n";
// Lines that say nothing of the import: read as the old lists were, they
// give Name, 0, _pascal, whose client symbol ("_Plain@0") is not the one a
// librarian makes ("_Plain").
const std::string kBareLines = R"(    Plain
    Same=Same
    Bare@4
    Last@0 ; a comment after a name
)";
// Every form that binds, names that each side of the "kill at" option
// reads its own way included.
const std::string kBoundLines = R"(    Ord @5
    Named@8 @6
    _Under@12 @7
    NoName @8 NONAME
    Dec@16 @9 NONAME
    Dat DATA
    Cst @10 CONSTANT
    Priv @11 PRIVATE
    Ren=Internal @12
    Fwd=OTHER.Func DATA
    @Fast@8
    @Fast2@4 @13
    ?cpp@@YAXXZ @14
    ?data@@3HA DATA
    a@@b DATA
    "odd name" @15
    ; a comment
)";

struct Peer {
  const char* name;
  const char* program;
  std::string command;  // DEF and LIB stand for the files
};

void PrintTo(const Peer& peer, std::ostream* os) { *os << peer.name; }

std::string Replace(std::string text, const std::string& from, const std::string& to) {
  const std::size_t at = text.find(from);
  return at == std::string::npos ? text : text.replace(at, from.size(), to);
}

// What every import of a library binds to, sorted.
std::vector<PeerBinding> Bindings(const std::string& library) {
  PeerBindings read = ReadLibraryBindings(library);
  EXPECT_TRUE(read.ok) << read.error;
  std::sort(read.bindings.begin(), read.bindings.end());
  return read.bindings;
}

class DefToolsTest : public ::testing::TestWithParam<Peer> {
 protected:
  // The peer's library of a .def file; empty when the peer refused it.
  std::string Make(const std::string& def, const std::string& library, std::string* output) {
    const std::string command =
        Replace(Replace(GetParam().command, "DEF", "'" + def + "'"), "LIB", "'" + library + "'");
    return RunCommand(command, output) == 0 && FileExists(library) ? library : std::string();
  }

  TempDir dir;
};

TEST_P(DefToolsTest, OurDefBindsAsTheOriginal) {
  if (!HaveProgram(GetParam().program) || !HaveProgram("llvm-readobj"))
    GTEST_SKIP() << GetParam().program << " or llvm-readobj is not installed";
  WriteFileText(dir.File("original.def"), kModule + kBareLines + kBoundLines);
  std::string output;
  const std::string original = Make(dir.File("original.def"), dir.File("original.lib"), &output);
  if (original.empty())
    GTEST_SKIP() << GetParam().name << " makes no library of a .def file here: " << output;

  TFichierLib lib;
  ASSERT_TRUE(lib.ReadDefFile(dir.File("original.def")));
  const Outcome written = lib.WriteDefFile(dir.File("ours.def"));
  ASSERT_TRUE(written) << written.Detail;
  const std::string ours = Make(dir.File("ours.def"), dir.File("ours.lib"), &output);
  ASSERT_FALSE(ours.empty()) << output << ReadFileText(dir.File("ours.def"));

  const std::vector<PeerBinding> expected = Bindings(original);
  EXPECT_EQ(expected.size(), 19u);  // every export line but the PRIVATE one
  EXPECT_EQ(Bindings(ours), expected) << ReadFileText(dir.File("ours.def"));
}

INSTANTIATE_TEST_SUITE_P(
    Peers, DefToolsTest,
    ::testing::Values(
        Peer{"dlltool_kill_at", "llvm-dlltool", "llvm-dlltool -m i386 -k -d DEF -l LIB"},
        Peer{"dlltool", "llvm-dlltool", "llvm-dlltool -m i386 -d DEF -l LIB"},
        Peer{"lib", "llvm-lib", "llvm-lib /machine:x86 /def:DEF /out:LIB"}),
    [](const ::testing::TestParamInfo<Peer>& info) { return std::string(info.param.name); });

// The COFF library we write from a .def binds as the one llvm-dlltool -k
// makes, the reading our .def reader follows.
TEST(DefToolsCoffTest, OurLibraryBindsAsThePeers) {
  if (!HaveProgram("llvm-dlltool")) GTEST_SKIP() << "llvm-dlltool is not installed";
  TempDir dir;
  WriteFileText(dir.File("original.def"), kModule + kBoundLines);
  std::string output;
  ASSERT_EQ(RunCommand("llvm-dlltool -m i386 -k -d '" + dir.File("original.def") + "' -l '" +
                           dir.File("peer.lib") + "'",
                       &output),
            0)
      << output;
  TFichierLib lib;
  ASSERT_TRUE(lib.ReadDefFile(dir.File("original.def")));
  const Outcome written = lib.WriteCoffLibrary(dir.File("ours.lib"));
  ASSERT_TRUE(written) << written.Detail;
  EXPECT_EQ(Bindings(dir.File("ours.lib")), Bindings(dir.File("peer.lib")));
}

}  // namespace
