// .def files we read and write, checked by the librarians that make import
// libraries of them: the library a peer makes from the .def we write after
// reading a .def binds every import as the library the peer makes from the
// original. llvm-readobj and the members' own bytes tell the bindings
// (symbol, what the loader looks up, kind, DLL), so our COFF reader plays
// no part.
#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "model/decorated_names.h"
#include "model/form_losses.h"
#include "tests/support/peer_bindings.h"
#include "tests/support/peers.h"
#include "tests/support/test_files.h"

namespace {

const std::string kLlvmDlltool = Peer("llvm-dlltool");
const std::string kLlvmLib = Peer("llvm-lib");
const std::string kGnuDlltool = "i686-w64-mingw32-dlltool";

const std::string kModule = "LIBRARY fmod\nEXPORTS\n";
// Lines that say nothing but a name: "Plain" and "Same" are C functions
// ("_Plain"), as every librarian makes them.
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
    func EXPORTAS expfunc
    Cont
      @16 NONAME
)";

struct Librarian {
  const char* name;
  std::string program;
  std::string command;  // DEF and LIB stand for the files
};

void PrintTo(const Librarian& peer, std::ostream* os) { *os << peer.name; }

std::string Replace(std::string text, const std::string& from, const std::string& to) {
  const std::size_t at = text.find(from);
  return at == std::string::npos ? text : text.replace(at, from.size(), to);
}

// The peer's library of a .def file; empty when the peer refused it.
std::string Make(const Librarian& peer, const std::string& def, const std::string& library,
                 std::string* output) {
  const std::string command =
      Replace(Replace(peer.command, "DEF", "'" + def + "'"), "LIB", "'" + library + "'");
  return RunCommand(command, output) == 0 && FileExists(library) ? library : std::string();
}

// What every import of a library binds to, sorted.
std::vector<PeerBinding> Bindings(const std::string& library) {
  PeerBindings read = ReadLibraryBindings(library);
  EXPECT_TRUE(read.ok) << read.error;
  std::sort(read.bindings.begin(), read.bindings.end());
  return read.bindings;
}

class DefToolsTest : public ::testing::TestWithParam<Librarian> {
 protected:
  std::string Make(const std::string& def, const std::string& library, std::string* output) {
    return ::Make(GetParam(), def, library, output);
  }

  TempDir dir;
};

TEST_P(DefToolsTest, OurDefBindsAsTheOriginal) {
  ASSERT_TRUE(Installed({GetParam().program}));
  WriteFileText(dir.File("original.def"), kModule + kBareLines + kBoundLines);
  std::string output;
  const std::string original = Make(dir.File("original.def"), dir.File("original.lib"), &output);
  ASSERT_FALSE(original.empty()) << GetParam().name << ": " << output;

  TFichierLib lib;
  ASSERT_TRUE(lib.ReadDefFile(dir.File("original.def")));
  const Outcome written = lib.WriteDefFile(dir.File("ours.def"));
  ASSERT_TRUE(written) << written.Detail;
  const std::string ours = Make(dir.File("ours.def"), dir.File("ours.lib"), &output);
  ASSERT_FALSE(ours.empty()) << output << ReadFileText(dir.File("ours.def"));

  const std::vector<PeerBinding> expected = Bindings(original);
  EXPECT_EQ(expected.size(), 21u);  // every export but the PRIVATE one
  EXPECT_EQ(Bindings(ours), expected) << ReadFileText(dir.File("ours.def"));
}

INSTANTIATE_TEST_SUITE_P(
    Peers, DefToolsTest,
    ::testing::Values(
        Librarian{"dlltool_kill_at", kLlvmDlltool, kLlvmDlltool + " -m i386 -k -d DEF -l LIB"},
        Librarian{"dlltool", kLlvmDlltool, kLlvmDlltool + " -m i386 -d DEF -l LIB"},
        Librarian{"lib", kLlvmLib, kLlvmLib + " -machine:x86 -def:DEF -out:LIB"}),
    [](const ::testing::TestParamInfo<Librarian>& info) { return std::string(info.param.name); });

// The COFF library we write from a .def binds as the one llvm-dlltool -k
// makes, the reading our .def reader follows.
TEST(DefToolsCoffTest, OurLibraryBindsAsThePeers) {
  ASSERT_TRUE(Installed({kLlvmDlltool}));
  TempDir dir;
  WriteFileText(dir.File("original.def"), kModule + kBareLines + kBoundLines);
  std::string output;
  ASSERT_EQ(RunCommand(kLlvmDlltool + " -m i386 -k -d '" + dir.File("original.def") + "' -l '" +
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

// What an import of a library binds: client symbol, what the loader looks
// up ("@N" by ordinal), code or data, as Libmorph reads the library.
using Binding = std::tuple<std::string, std::string, ImportKind>;

Binding BindingOf(const TFonctionLib& e, Machine machine) {
  const ImportBinding& b = e.Import;
  return {MicrosoftName(e, machine),
          b.ByOrdinal ? "@" + std::to_string(b.Ordinal) : LookupName(e, machine), b.Kind};
}

std::vector<Binding> LibraryBindings(const std::string& library) {
  TFichierLib lib;
  const Outcome read = lib.ReadCoffLibrary(library);
  EXPECT_TRUE(read) << Describe(read);
  std::vector<Binding> bindings;
  for (const TFonctionLib& e : ListOf(lib)) bindings.push_back(BindingOf(e, lib.SourceMachine));
  std::sort(bindings.begin(), bindings.end());
  return bindings;
}

const Librarian kKillAtPeers[] = {
    {"GNU dlltool -k", kGnuDlltool, kGnuDlltool + " -k -d DEF -l LIB"},
    {"llvm-dlltool-22 -k", kLlvmDlltool, kLlvmDlltool + " -m i386 -k -d DEF -l LIB"},
};

// Each export name a 32-bit list can hold, written by us and made into a
// library by both dlltools, is what each import of that library looks up
// for the same client symbol; only an export name no .def word holds is
// missed, and that is what LossesOf names before the save.
TEST(DefDlltoolsTest, EveryExportNameBindsWithBothDlltoolsButTheOneNamedLost) {
  struct Row {
    const char* what;
    TFonctionLib entry;
  };
  const Row rows[] = {
      {"fmod's own client symbol", BoundTo("_FMUSIC_FreeSong@4", "_FMUSIC_FreeSong@4")},
      {"the symbol less its underscore", BoundTo("_Bar@8", "Bar@8")},
      {"the undecorated name", BoundTo("_a@b@8", "a")},
      {"what both derive", BoundTo("_Foo@8", "Foo")},
      {"a C++ function", BoundTo("?f@@YAXXZ", "?f@@YAXXZ")},
      {"a C++ variable", BoundTo("?v@@3HA", "?v@@3HA", ImportKind::Data)},
      {"a C++ function's plain name", BoundTo("?g@@YAXXZ", "g")},
      {"a name unrelated to the symbol", BoundTo("_Baz", "Qux")},
      {"unrelated data, a digit first", BoundTo("_Dat", "2nd", ImportKind::Data)},
      {"no word holds it", BoundTo("_Q", "\"q\" x")},
  };
  TFichierLib lib;
  std::vector<TFonctionLib> list;
  for (const Row& row : rows) {
    list.push_back(row.entry);
    list.back().Import.Dll = "fmod.dll";
  }
  SetList(lib, list);
  std::vector<AnsiString> lost;
  for (const FormLoss& loss : LossesOf(lib.Fonctions, ListForm::Def, lib.SourceMachine))
    if (loss.Kind == LossKind::ExportName) lost = loss.Names;
  EXPECT_EQ(lost, std::vector<AnsiString>{"Q"});

  TempDir dir;
  ASSERT_TRUE(lib.WriteDefFile(dir.File("fmod.def")));
  for (const Librarian& peer : kKillAtPeers) {
    SCOPED_TRACE(peer.name);
    ASSERT_TRUE(Installed({peer.program}));
    std::string output;
    const std::string made = Make(peer, dir.File("fmod.def"), dir.File("made.lib"), &output);
    ASSERT_FALSE(made.empty()) << output << ReadFileText(dir.File("fmod.def"));
    const std::vector<Binding> bindings = LibraryBindings(made);
    EXPECT_EQ(bindings.size(), std::size(rows));
    for (const Row& row : rows) {
      const Binding wanted = BindingOf(row.entry, Machine::Unknown);
      const bool bound = std::binary_search(bindings.begin(), bindings.end(), wanted);
      EXPECT_EQ(bound, row.entry.Name != "Q") << row.what << ReadFileText(dir.File("fmod.def"));
    }
  }
}

// A .def file for another machine is read as llvm-dlltool reads it for
// that machine (with -k or without: it kills at signs on 32-bit Intel
// only); and what we write of that list makes the same library again.
TEST(DefDlltoolsTest, SixtyFourBitFilesReadAsLlvmDlltoolReadsThem) {
  ASSERT_TRUE(Installed({kLlvmDlltool}));
  const std::string text = kModule + R"(    Bar@8
    _Under@4 @3
    Baz == Qux
    Dat DATA == "2nd"
    ?f@@YAXXZ
    @Fast@8
    NoN @9 NONAME
    Cst CONSTANT
    Priv PRIVATE
    Low@4 @5 == Low
    Old=Old
)";
  const std::pair<Machine, const char*> machines[] = {
      {Machine::Amd64, "i386:x86-64"}, {Machine::Arm64, "arm64"}, {Machine::Arm64ec, "arm64ec"}};
  TempDir dir;
  WriteFileText(dir.File("in.def"), text);
  for (const auto& [machine, emulation] : machines) {
    for (const char* killAt : {"", " -k"}) {
      SCOPED_TRACE(std::string(emulation) + killAt);
      const Librarian peer{emulation, kLlvmDlltool,
                      kLlvmDlltool + " -m " + emulation + killAt + " -d DEF -l LIB"};
      std::string output;
      const std::string made = Make(peer, dir.File("in.def"), dir.File("made.lib"), &output);
      ASSERT_FALSE(made.empty()) << output;

      TFichierLib lib;
      ASSERT_TRUE(lib.ReadDefFile(dir.File("in.def"), machine));
      std::vector<Binding> ours;
      for (const TFonctionLib& e : ListOf(lib))
        if (!e.Import.Private) ours.push_back(BindingOf(e, lib.SourceMachine));
      std::sort(ours.begin(), ours.end());
      EXPECT_EQ(ours, LibraryBindings(made));

      ASSERT_TRUE(lib.WriteDefFile(dir.File("out.def")));
      const std::string again = Make(peer, dir.File("out.def"), dir.File("again.lib"), &output);
      ASSERT_FALSE(again.empty()) << output;
      EXPECT_EQ(LibraryBindings(again), ours) << ReadFileText(dir.File("out.def"));
    }
  }
}

}  // namespace
