// Archives are taken for what they hold: objects beside imports are left
// out and named, a library keeps its machine, and what a .def file we
// write says to llvm-dlltool -k is what the list says.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "model/decorated_names.h"
#include "model/form_losses.h"
#include "model/microsoft_symbol.h"
#include "tests/support/peer_bindings.h"
#include "tests/support/peers.h"
#include "tests/support/test_files.h"

namespace {

void Shell(const std::string& command) {
  std::string output;
  ASSERT_EQ(RunCommand(command, &output), 0) << command << "\n" << output;
}

// mingw-w64's CRT libraries hold objects that define an "__imp_" pointer
// of their own beside the import members: only the imports are imports.
TEST(ArchiveContentsTest, ObjectsThatDefineImportPointersAreLeftOutAndNamed) {
  ASSERT_TRUE(Installed({Peer("llvm-dlltool"), Peer("llvm-ar"), Peer("clang")}));
  TempDir dir;
  WriteFileText(dir.File("imp.def"), "LIBRARY imp.dll\nEXPORTS\nReal@4\nOther\n");
  WriteFileText(dir.File("ptr.c"),
                "static void own(void) {}\nvoid (*_imp__x)(void) = own;\nint x_helper;\n");
  WriteFileText(dir.File("plain.c"), "int plain(int a) { return a; }\n");
  Shell("cd '" + dir.Path() + "' && " + Peer("llvm-dlltool") + " -m i386 -k -d imp.def -l mixed.a && " + Peer("clang") +
        " --target=i686-w64-mingw32 -c ptr.c plain.c && " + Peer("llvm-ar") + " r mixed.a ptr.o plain.o");

  TFichierLib lib;
  ASSERT_TRUE(lib.ReadCoffLibrary(dir.File("mixed.a")));
  std::vector<std::string> seen;
  for (const TFonctionLib& e : ListOf(lib)) seen.push_back(MicrosoftName(e) + " " + e.Import.Dll);
  EXPECT_EQ(seen, (std::vector<std::string>{"_Real@4 imp.dll", "_Other imp.dll"}));
  EXPECT_EQ(lib.LeftOutObjects, std::vector<std::string>{"ptr.o"});

  // Objects alone: a static library, as before.
  Shell("cd '" + dir.Path() + "' && " + Peer("llvm-ar") + " rcs objects.a ptr.o plain.o");
  TFichierLib objects;
  const Outcome outcome = objects.ReadCoffLibrary(dir.File("objects.a"));
  EXPECT_EQ(outcome.Kind, OutcomeKind::StaticLibrary);
  EXPECT_EQ(outcome.Count, 2u);
}

// A library for x64 or ARM64 stays one: the list says its machine, the
// OMF writer refuses it with the reason, a .def file takes it.
TEST(ArchiveContentsTest, ALibraryOfAnotherMachineKeepsItAndIsNotWrittenAsOmf) {
  ASSERT_TRUE(Installed({Peer("llvm-dlltool")}));
  const struct {
    const char* option;
    Machine machine;
  } machines[] = {{"i386:x86-64", Machine::Amd64}, {"arm64", Machine::Arm64}};
  for (const auto& m : machines) {
    SCOPED_TRACE(m.option);
    TempDir dir;
    WriteFileText(dir.File("foo.def"), "LIBRARY foo.dll\nEXPORTS\nAlpha\nBeta DATA\n");
    Shell(Peer("llvm-dlltool") + " -m " + m.option + " -d '" + dir.File("foo.def") + "' -l '" +
          dir.File("foo.lib") + "'");
    TFichierLib lib;
    ASSERT_TRUE(lib.ReadCoffLibrary(dir.File("foo.lib")));
    EXPECT_EQ(lib.Fonctions.Count, 2u);
    EXPECT_EQ(lib.SourceMachine, m.machine);
    const Outcome refused = lib.WriteBorlandLibrary(dir.File("out.lib"));
    EXPECT_EQ(refused.Kind, OutcomeKind::Refused);
    EXPECT_NE(refused.Detail.find("32-bit Intel"), std::string::npos) << refused.Detail;
    EXPECT_FALSE(FileExists(dir.File("out.lib")));
    // Their symbols have no underscore: the lines name them as they are.
    ASSERT_TRUE(lib.WriteDefFile(dir.File("out.def")));
    EXPECT_EQ(ReadFileText(dir.File("out.def")),
              "LIBRARY \"foo.dll\"\r\nEXPORTS\r\n    Alpha\r\n    Beta DATA\r\n");
  }
}

// What llvm-dlltool -m i386 -k makes of the .def file we write binds as
// the list does: same symbols, same lookups, same kinds, same DLL.
TEST(ArchiveContentsTest, DefWeWriteGivesTheListsImportsToDlltoolKillAt) {
  ASSERT_TRUE(Installed({Peer("llvm-dlltool"), Peer("llvm-readobj")}));
  TempDir dir;
  TFonctionLib data = Entry("Counter", 0, false);
  data.Import.Kind = ImportKind::Data;
  data.Import.ExportName = "Counter";
  TFonctionLib ordinal = Entry("ByOrd", 12, true);
  ordinal.Import.ByOrdinal = true;
  ordinal.Import.Ordinal = 7;
  TFonctionLib cpp = FromClientSymbol("?Cpp@@YGXH@Z");
  cpp.Import.ExportName = "?Cpp@@YGXH@Z";
  TFichierLib lib;
  SetList(lib, {Entry("MyFunc", 8, true), Entry("Plain", 0, false), data, ordinal,
                FromClientSymbol("@Fast@12"), cpp});
  ASSERT_TRUE(LossesOf(lib.Fonctions, ListForm::Def, lib.SourceMachine).empty());
  ASSERT_TRUE(lib.WriteDefFile(dir.File("my.def")));
  Shell(Peer("llvm-dlltool") + " -m i386 -k -d '" + dir.File("my.def") + "' -l '" + dir.File("my.lib") + "'");
  const PeerBindings peer = ReadLibraryBindings(dir.File("my.lib"));
  ASSERT_TRUE(peer.ok) << peer.error;
  std::vector<PeerBinding> expected;
  for (const TFonctionLib& e : ListOf(lib)) {
    const std::string lookup =
        e.Import.ByOrdinal ? "@" + std::to_string(e.Import.Ordinal) : LookupName(e);
    expected.push_back({MicrosoftName(e), lookup,
                        e.Import.Kind == ImportKind::Data ? "data" : "code", "my.dll"});
  }
  EXPECT_EQ(WithoutDlls(peer.bindings), WithoutDlls(expected));
  for (const PeerBinding& b : peer.bindings) EXPECT_EQ(b.dll, "my.dll") << b.symbol;
}

}  // namespace
