// The COFF import library reader: libraries of our own writer, first
// linker members laid out the way other producers lay them out, and files
// that are cut short or carry absurd counts.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/clock.h"
#include "tests/support/test_files.h"

namespace {

// An archive whose first member is a linker member holding count and the
// names (each closed by a zero byte unless closeLast is false).
Bytes LinkerArchive(std::uint32_t count, const std::vector<std::string>& names,
                    bool closeLast = true) {
  std::string s = "!<arch>\n";
  s += "/               0           0     0     0       0         `\n";
  s += static_cast<char>(count >> 24);
  s += static_cast<char>(count >> 16);
  s += static_cast<char>(count >> 8);
  s += static_cast<char>(count);
  s += std::string(4 * static_cast<std::size_t>(count), '\0');
  for (std::size_t i = 0; i < names.size(); ++i) {
    s += names[i];
    if (closeLast || i + 1 < names.size()) s += '\0';
  }
  return ToBytes(s);
}

std::vector<TFonctionLib> ReadBytes(const Bytes& bytes) {
  TempDir dir;
  const std::string path = dir.File("in.lib");
  WriteFileBytes(path, bytes);
  TFichierLib lib;
  EXPECT_TRUE(lib.ReadCoffLibrary(path));
  return ListOf(lib);
}

const std::vector<std::string> kFixed = {"__IMPORT_DESCRIPTOR_x", "__NULL_IMPORT_DESCRIPTOR",
                                         "\x7Fx_NULL_THUNK_DATA"};

std::vector<std::string> WithFixed(std::vector<std::string> names, bool fixedFirst = true) {
  names.insert(fixedFirst ? names.begin() : names.end(), kFixed.begin(), kFixed.end());
  return names;
}

TEST(CoffReaderTest, OurLibrariesReadBackInListOrder) {
  TempDir dir;
  const std::string path = dir.File("mylib.lib");
  TFichierLib lib;
  SetList(lib, {Entry("Zeta", 8, true), Entry("Alpha", 0, false), Entry("Mid", 12, true),
                Entry("Zeta", 8, true), Entry("Odd", 4, false), Entry("a@b", 8, true),
                Entry("c@16", 0, false), Entry("_Under", 0, false), Entry("", 0, true),
                Entry("_imp_Odd", 0, false), Entry("_imp__Twice", 4, true),
                // "_" and "__imp__": the second's symbol is the first's import name.
                Entry("", 0, false), Entry("_imp__", 0, false)});
  ASSERT_TRUE(lib.WriteCoffLibrary(path));
  TFichierLib back;
  SetList(back, {Entry("stale", 1, true)});
  ASSERT_TRUE(back.ReadCoffLibrary(path));
  // A _stdcall length is not in the symbol; an at sign in a name cuts it.
  EXPECT_EQ(ListOf(back),
            (std::vector<TFonctionLib>{Entry("Zeta", 8, true), Entry("Alpha", 0, false),
                                       Entry("Mid", 12, true), Entry("Zeta", 8, true),
                                       Entry("Odd", 0, false), Entry("a", 0, true),
                                       Entry("c", 16, true), Entry("_Under", 0, false),
                                       Entry("", 0, true), Entry("_imp_Odd", 0, false),
                                       Entry("_imp__Twice", 4, true), Entry("", 0, false),
                                       Entry("_imp__", 0, false)}));
  TFichierLib again;
  ASSERT_TRUE(again.ReadCoffLibrary(path));
  EXPECT_EQ(ListOf(again), ListOf(back));
}

TEST(CoffReaderTest, EveryImportNameGivesOneEntryWhateverTheOrder) {
  struct Case {
    const char* what;
    std::vector<std::string> names;
    std::vector<TFonctionLib> expected;
  };
  const std::vector<Case> cases = {
      {"plain symbol first",
       WithFixed({"_Foo@8", "__imp__Foo@8", "_Bar", "__imp__Bar"}),
       {Entry("Foo", 8, true), Entry("Bar", 0, false)}},
      {"import name first",
       WithFixed({"__imp__Foo@8", "_Foo@8", "__imp__Bar", "_Bar"}),
       {Entry("Foo", 8, true), Entry("Bar", 0, false)}},
      {"both orders mixed, a data import between",
       WithFixed({"_A@4", "__imp__A@4", "__imp__Data", "__imp__B", "_B"}),
       {Entry("A", 4, true), Entry("Data", 0, false), Entry("B", 0, false)}},
      {"descriptor names last",
       WithFixed({"__imp__Foo@8", "_Foo@8"}, false),
       {Entry("Foo", 8, true)}},
      {"a symbol that looks like an import name, after or before its own",
       WithFixed({"__imp__A", "__imp_Sym", "__imp___imp_Sym", "__imp___imp_B", "__imp_B"}),
       {Entry("A", 0, false), Entry("_imp_Sym", 0, false), Entry("_imp_B", 0, false)}},
      {"undecorated and odd symbols",
       WithFixed({"__imp_Plain", "__imp___Double", "__imp__X@", "__imp__Y@x", "__imp__Z@-4",
                  "__imp__a@b@8", "__imp_"}),
       {Entry("Plain", 0, false), Entry("_Double", 0, false), Entry("X", 0, true),
        Entry("Y", 0, true), Entry("Z", -4, true), Entry("a", 0, true), Entry("", 0, false)}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(ReadBytes(LinkerArchive(static_cast<std::uint32_t>(c.names.size()), c.names)),
              c.expected);
  }
}

TEST(CoffReaderTest, CountsAndShortFiles) {
  const std::vector<std::string> names = WithFixed({"_A", "__imp__A", "_B", "__imp__B"});
  const Bytes full = LinkerArchive(7, names);
  struct Case {
    const char* what;
    Bytes bytes;
    std::size_t entries;
  };
  const std::vector<Case> cases = {
      {"empty file", {}, 0},
      {"signature only", Bytes(full.begin(), full.begin() + 8), 0},
      {"no complete count", Bytes(full.begin(), full.begin() + 71), 0},
      {"count 0", LinkerArchive(0, names), 0},
      {"count 2", LinkerArchive(2, names), 0},
      {"count 3", LinkerArchive(3, names), 0},
      {"count 5 reads the first import only", LinkerArchive(5, names), 1},
      {"negative count", ToBytes("!<arch>\n" + std::string(60, ' ') + std::string("\x80\0\0\0", 4) + "_A"), 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(ReadBytes(c.bytes).size(), c.entries);
  }
}

TEST(CoffReaderTest, AMissingNameRaisesTheRangeErrorAndKeepsWhatWasRead) {
  struct Case {
    const char* what;
    Bytes bytes;
    std::size_t kept;
  };
  const std::vector<std::string> names = WithFixed({"__imp__A", "_A", "__imp__B", "_B"});
  std::vector<std::string> gap = names;
  gap[5] = "";  // two zero bytes in a row
  const Bytes seven = LinkerArchive(7, names);
  const std::string huge = "!<arch>\n" + std::string(60, ' ') + "\x7F\xFF\xFF\xFF" + "tail";
  const std::vector<Case> cases = {
      {"string table cut short", LinkerArchive(9, names), 2},
      {"a count and nothing after it", Bytes(seven.begin(), seven.begin() + 72), 0},
      {"empty name inside", LinkerArchive(7, gap), 1},
      {"last name without its zero", LinkerArchive(8, names, false), 2},
      {"count far beyond the file", ToBytes(huge), 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    const std::string path = dir.File("cut.lib");
    WriteFileBytes(path, c.bytes);
    TFichierLib lib;
    EXPECT_THROW(lib.ReadCoffLibrary(path), ERangeError);
    EXPECT_EQ(lib.Fonctions.Count, c.kept);
    // The file was closed: nobody holds it any more.
    HANDLE h = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_NE(h, INVALID_HANDLE_VALUE);
    if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
  }
}

TEST(CoffReaderTest, ReadZStringReadsUpToTheZeroByte) {
  TempDir dir;
  const std::string path = dir.File("z.bin");
  WriteFileBytes(path, Bytes{'a', 'b', 0, 0, 0xFF, 0x7F, 'c', 0, 'e', 'n', 'd'});
  HANDLE h = CreateFileA(path, GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  EXPECT_EQ(ReadZString(h), "ab");
  EXPECT_EQ(ReadZString(h), "");
  EXPECT_EQ(ReadZString(h), "\xFF\x7F" "c");
  EXPECT_EQ(ReadZString(h), "end");  // the file ends first
  EXPECT_EQ(ReadZString(h), "");
  CloseHandle(h);
}

}  // namespace
