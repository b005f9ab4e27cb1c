// Libraries we write, checked by the real tools: the archiver and symbol
// lister read them, a linker links a client against them and the program
// imports the right names from the right DLL. And libraries llvm-dlltool
// makes read back right.
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

#include "model/microsoft_symbol.h"
#include "tests/support/link_check.h"
#include "tests/support/peer_bindings.h"
#include "tests/support/peers.h"
#include "tests/support/test_files.h"

namespace {

class CoffToolsTest : public ::testing::Test {
 protected:
  std::string WriteLibrary(const std::string& file, const std::vector<TFonctionLib>& list) {
    const std::string path = dir.File(file);
    TFichierLib lib;
    SetList(lib, list);
    EXPECT_TRUE(lib.WriteCoffLibrary(path));
    return path;
  }

  std::vector<std::string> Lines(const std::string& command) {
    const std::string program = command.substr(0, command.find(' '));
    EXPECT_TRUE(Installed({program}));
    std::string output;
    EXPECT_EQ(RunCommand(command, &output), 0) << output;
    std::vector<std::string> lines;
    std::istringstream in(output);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }

  TempDir dir;
};

const std::vector<TFonctionLib> kThree = {Entry("Foo", 8, true), Entry("Alpha", 0, false),
                                          Entry("Mid", 12, true)};

TEST_F(CoffToolsTest, ArchiverAndSymbolListerReadTheLibrary) {
  const std::string path = WriteLibrary("mylib.lib", kThree);
  EXPECT_EQ(Lines(Peer("llvm-ar") + " t '" + path + "'"), std::vector<std::string>(6, "mylib.dll"));

  std::vector<std::string> symbols;
  for (const std::string& line : Lines(Peer("llvm-nm") + " --no-sort '" + path + "'")) {
    const std::size_t space = line.rfind(' ');
    if (!line.empty() && line.back() != ':' && space != std::string::npos)
      symbols.push_back(line.substr(space + 1));
  }
  for (const char* expected :
       {"__IMPORT_DESCRIPTOR_mylib", "__NULL_IMPORT_DESCRIPTOR", "\x7Fmylib_NULL_THUNK_DATA",
        "_Foo@8", "__imp__Foo@8", "_Alpha", "__imp__Alpha", "_Mid@12", "__imp__Mid@12"})
    EXPECT_NE(std::find(symbols.begin(), symbols.end(), expected), symbols.end()) << expected;

  // The short import members parse as code imported by undecorated name.
  std::vector<std::string> described;
  for (const std::string& line : Lines(Peer("llvm-readobj") + " '" + path + "'"))
    if (line.rfind("Type:", 0) == 0 || line.rfind("Name type:", 0) == 0 || line.rfind("Symbol:", 0) == 0)
      described.push_back(line);
  EXPECT_EQ(described, (std::vector<std::string>{
                           "Type: code", "Name type: undecorate", "Symbol: __imp__Alpha",
                           "Symbol: _Alpha", "Type: code", "Name type: undecorate",
                           "Symbol: __imp__Foo@8", "Symbol: _Foo@8", "Type: code",
                           "Name type: undecorate", "Symbol: __imp__Mid@12", "Symbol: _Mid@12"}));
}

std::vector<ImportedName> SortedImports(std::vector<ImportedName> imports) {
  std::sort(imports.begin(), imports.end(), [](const ImportedName& a, const ImportedName& b) {
    return a.dll != b.dll ? a.dll < b.dll : a.name < b.name;
  });
  return imports;
}

TEST_F(CoffToolsTest, ALinkedClientImportsTheUndecoratedNames) {
  std::vector<TFonctionLib> list = kThree;
  list.push_back(Entry("Beta", 4, true));  // sorts after "alpha", before it by code
  list.push_back(Entry("alpha", 0, false));
  for (const char* file : {"client_api.lib", "my.api.lib"}) {
    SCOPED_TRACE(file);
    const std::string dll = std::string(file, std::string(file).rfind('.')) + ".dll";
    const std::string path = WriteLibrary(file, list);
    const LinkResult result =
        LinkClientAgainst(path, {"_Foo@8", "_Alpha", "_Mid@12", "_Beta@4", "_alpha"}, dir.Path());
    ASSERT_TRUE(result.ok) << result.error;
    EXPECT_EQ(SortedImports(result.imports),
              (std::vector<ImportedName>{{dll, "Alpha"}, {dll, "Beta"}, {dll, "Foo"}, {dll, "Mid"},
                                         {dll, "alpha"}}));
  }
}

// More members than the second linker member can index: the linker finds
// the symbols through the first one.
TEST_F(CoffToolsTest, AVeryLargeLibraryLinks) {
  std::vector<TFonctionLib> list;
  for (int i = 70000; i > 0; --i)
    list.push_back(i % 2 ? Entry("F" + std::to_string(i), 8, true) : Entry("F" + std::to_string(i), 0, false));
  const std::string path = WriteLibrary("big.lib", list);
  const LinkResult result = LinkClientAgainst(path, {"_F69999@8", "_F1@8", "_F35000", "_F70000"}, dir.Path());
  ASSERT_TRUE(result.ok) << result.error;
  EXPECT_EQ(SortedImports(result.imports),
            (std::vector<ImportedName>{{"big.dll", "F1"}, {"big.dll", "F35000"},
                                       {"big.dll", "F69999"}, {"big.dll", "F70000"}}));
}

// Every way an entry can be bound, over two DLLs: a linked client imports
// each export under its own DLL, and the peers read the same bindings.
TEST_F(CoffToolsTest, ALinkedClientImportsEachBoundExportFromItsDll) {
  constexpr ImportKind kCode = ImportKind::Code, kData = ImportKind::Data;
  TFonctionLib ordinal = BoundTo("_Ord@4", "", kCode, "two.dll");
  ordinal.Import.ByOrdinal = true;
  ordinal.Import.Ordinal = 7;
  TFonctionLib renamedByOrdinal = BoundTo("_Nameless", "", kCode, "");
  renamedByOrdinal.Import = {};
  renamedByOrdinal.Import.ByOrdinal = renamedByOrdinal.Import.NoName = true;
  renamedByOrdinal.Import.Ordinal = 12;
  renamedByOrdinal.Import.Symbol = "Nameless";  // no name type can reach "@12" from it
  const std::vector<TFonctionLib> list = {
      Entry("Plain", 8, true),
      BoundTo("?f@@YAXXZ", "?f@@YAXXZ", kCode, "two.dll"),
      BoundTo("@fast@8", "fast", kCode, ""),
      BoundTo("_f@8", "_f@8", kCode, "two.dll"),
      BoundTo("_h@8", "h", kCode, ""),
      BoundTo("_k@8", "k@8", kCode, "two.dll"),
      ordinal,
      renamedByOrdinal,
      BoundTo("_Var", "Var", kData, "two.dll"),
      BoundTo("_Foo@8", "Bar", kCode, ""),
      BoundTo("_Other@4", "RealOther", kCode, "two.dll"),
      BoundTo("_DataR", "RealData", kData, ""),
  };
  const std::string path = WriteLibrary("one.lib", list);
  EXPECT_EQ(Lines(Peer("llvm-ar") + " t '" + path + "'").size(), 5u + list.size());
  EXPECT_FALSE(Lines(Peer("llvm-nm") + " '" + path + "'").empty());

  const LinkResult result = LinkClientAgainst(
      path,
      {"_Plain@8", "?f@@YAXXZ", "@fast@8", "_f@8", "_h@8", "_k@8", "_Ord@4", "Nameless", "__imp__Var",
       "_Foo@8", "_Other@4", "__imp__DataR"},
      dir.Path());
  ASSERT_TRUE(result.ok) << result.error;
  EXPECT_EQ(SortedImports(result.imports),
            (std::vector<ImportedName>{{"one.dll", "@12"}, {"one.dll", "Bar"}, {"one.dll", "Plain"},
                                       {"one.dll", "RealData"}, {"one.dll", "fast"}, {"one.dll", "h"},
                                       {"two.dll", "?f@@YAXXZ"}, {"two.dll", "@7"},
                                       {"two.dll", "RealOther"}, {"two.dll", "Var"},
                                       {"two.dll", "_f@8"}, {"two.dll", "k@8"}}));

  const PeerBindings read = ReadLibraryBindings(path);
  ASSERT_TRUE(read.ok) << read.error;
  std::vector<PeerBinding> bindings = read.bindings;
  std::sort(bindings.begin(), bindings.end());
  EXPECT_EQ(bindings, (std::vector<PeerBinding>{{"?f@@YAXXZ", "?f@@YAXXZ", "code", "two.dll"},
                                                {"@fast@8", "fast", "code", "one.dll"},
                                                {"Nameless", "@12", "code", "one.dll"},
                                                {"_DataR", "RealData", "data", "one.dll"},
                                                {"_Foo@8", "Bar", "code", "one.dll"},
                                                {"_Ord@4", "@7", "code", "two.dll"},
                                                {"_Other@4", "RealOther", "code", "two.dll"},
                                                {"_Plain@8", "Plain", "code", "one.dll"},
                                                {"_Var", "Var", "data", "two.dll"},
                                                {"_f@8", "_f@8", "code", "two.dll"},
                                                {"_h@8", "h", "code", "one.dll"},
                                                {"_k@8", "k@8", "code", "two.dll"}}));
}

TEST_F(CoffToolsTest, LibrariesOfLlvmDlltoolReadBack) {
  ASSERT_TRUE(Installed({Peer("llvm-dlltool")}));
  const std::string def = dir.File("tool.def");
  const std::string lib = dir.File("tool.lib");
  WriteFileText(def, "LIBRARY tool.dll\nEXPORTS\n  Foo@8\n  Plain\n  Bar@12\n  DataItem DATA\n  Last\n");
  std::string output;
  ASSERT_EQ(RunCommand(Peer("llvm-dlltool") + " -m i386 -d '" + def + "' -l '" + lib + "'", &output), 0) << output;
  TFichierLib read;
  ASSERT_TRUE(read.ReadCoffLibrary(lib));
  EXPECT_EQ(ListOf(read), From("tool.dll", {BoundTo("_Foo@8", "Foo@8"), Entry("Plain", 0, false),
                                            BoundTo("_Bar@12", "Bar@12"),
                                            BoundTo("_DataItem", "DataItem", ImportKind::Data),
                                            Entry("Last", 0, false)}));
}

}  // namespace
