// Modules assembled by nasm (-f obj), whose `import` directive writes
// import definitions among the usual object records, gathered into a
// library and read back.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/omf_builder.h"
#include "tests/support/peers.h"
#include "tests/support/test_files.h"

namespace {

class OmfNasmTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(Installed({"nasm"}));
  }

  Bytes Assemble(const std::string& name, const std::string& source) {
    const std::string asmPath = dir.File(name + ".asm");
    const std::string objPath = dir.File(name + ".obj");
    WriteFileText(asmPath, source);
    std::string output;
    EXPECT_EQ(RunCommand("nasm -f obj -o '" + objPath + "' '" + asmPath + "'", &output), 0)
        << output;
    return FileExists(objPath) ? ReadFileBytes(objPath) : Bytes{};
  }

  TempDir dir;
};

// Imports, the code that calls them, and data, so that the module carries
// THEADR, the translator comment, LNAMES, SEGDEF, EXTDEF, FIXUPP and a
// 32-bit module end around the import definitions.
std::string ModuleSource(const std::vector<std::string>& importLines,
                         const std::vector<std::string>& called) {
  std::string s;
  for (const std::string& line : importLines) s += line + "\n";
  for (const std::string& c : called) s += "extern " + c + "\n";
  s += "section .text use32 class=CODE\n";
  for (const std::string& c : called) s += "  call [" + c + "]\n";
  s += "  ret\nsection .data use32 class=DATA\n  db 'some data', 0\n";
  return s;
}

TEST_F(OmfNasmTest, ImportsOfAssembledModulesAreReadInOrder) {
  std::vector<std::string> many;
  std::vector<TFonctionLib> manyExpected;
  for (int i = 0; i < 300; ++i) {
    const std::string name = "Func" + std::to_string(i);
    many.push_back("import " + std::string(i % 2 ? "_" : "") + name + " big.dll " + name);
    manyExpected.push_back(Imported(Entry(name, 0, i % 2 == 0), "big.dll"));
  }
  const std::string longName(200, 'L');

  const Bytes first = Assemble(
      "first", ModuleSource({"import _Foo mylib.dll Foo", "import Bar other.dll"}, {"_Foo", "Bar"}));
  const Bytes second = Assemble(
      "second", ModuleSource({"import __Baz mylib.dll", "import _" + longName + " mylib.dll"},
                             {"__Baz"}));
  const Bytes third = Assemble("third", ModuleSource(many, {"_Func1"}));
  ASSERT_FALSE(HasFailure());

  std::vector<TFonctionLib> expected = {Imported(Entry("Foo", 0, false), "mylib.dll"),
                                        Imported(Entry("Bar", 0, true), "other.dll"),
                                        Imported(Entry("_Baz", 0, false), "mylib.dll", "__Baz"),
                                        Imported(Entry(longName, 0, false), "mylib.dll", "_" + longName)};
  expected.insert(expected.end(), manyExpected.begin(), manyExpected.end());

  for (std::uint32_t pageSize : {16u, 512u}) {
    const std::string path = dir.File("nasm" + std::to_string(pageSize) + ".lib");
    omf::LibraryBuilder(pageSize)
        .AddModule(first)
        .AddModule(second)
        .AddModule(third)
        .WithDictionary()
        .WriteTo(path);
    MessageBoxRecorder messages;
    TFichierLib lib;
    ASSERT_FALSE(lib.IsCoffArchive(path));
    ASSERT_TRUE(lib.ReadOmfLibrary(path));
    EXPECT_EQ(ListOf(lib), expected) << "page size " << pageSize;
    EXPECT_TRUE(messages.Calls().empty());
  }
}

// Object modules with code and data but no import: a static library.
TEST_F(OmfNasmTest, ModulesWithoutImportsMakeAStaticLibrary) {
  const Bytes a = Assemble("a", ModuleSource({}, {}));
  const Bytes b = Assemble("b", "global _f\nsection .text use32 class=CODE\n_f: ret\n");
  ASSERT_FALSE(HasFailure());
  const std::string path = dir.File("static.lib");
  omf::LibraryBuilder().AddModule(a).AddModule(b, {"_f"}).WithDictionary().WriteTo(path);
  TFichierLib lib;
  SetList(lib, {Entry("kept", 0, true)});
  const Outcome outcome = lib.ReadOmfLibrary(path);
  EXPECT_EQ(outcome.Kind, OutcomeKind::StaticLibrary);
  EXPECT_EQ(outcome.Count, 2u);
  EXPECT_EQ(lib.Fonctions.Count, 0u);
}

}  // namespace
