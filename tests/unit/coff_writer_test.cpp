// The COFF import library writer, checked against the layout byte by byte
// on small lists, and for its limits and failures.
#include <gtest/gtest.h>
#include <cerrno>
#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "model/dll_names.h"
#include "model/microsoft_symbol.h"
#include "platform/clock.h"
#include "platform/safe_save.h"
#include "tests/support/archive_members.h"
#include "tests/support/test_files.h"

namespace {

constexpr std::int64_t kStamp = 1049582096;

std::vector<TFonctionLib> ThreeEntries() {
  return {Entry("Zeta", 8, true), Entry("Alpha", 0, false), Entry("Mid", 12, true)};
}

Bytes Write(const std::vector<TFonctionLib>& list, const std::string& path) {
  platform::FixedClock clock(kStamp);
  TFichierLib lib;
  SetList(lib, list);
  EXPECT_TRUE(lib.WriteCoffLibrary(path));
  return ReadFileBytes(path);
}

std::string Text(const Bytes& b, std::size_t at, std::size_t size) {
  return std::string(b.begin() + static_cast<std::ptrdiff_t>(at),
                     b.begin() + static_cast<std::ptrdiff_t>(at + size));
}

TEST(CoffWriterTest, ThreeEntriesGiveTheDocumentedLayout) {
  TempDir dir;
  const Bytes file = Write(ThreeEntries(), dir.File("mylib.lib"));
  ASSERT_EQ(file.size(), 2204u);
  const std::vector<ArchiveMember> m = SplitArchive(file);
  ASSERT_EQ(m.size(), 8u);

  const std::vector<std::size_t> offsets = {8, 246, 494, 1264, 1574, 1910, 2008, 2106};
  const std::vector<std::size_t> sizes = {178, 188, 710, 249, 275, 37, 38, 38};
  for (std::size_t i = 0; i < m.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(m[i].headerAt, offsets[i]);
    EXPECT_EQ(m[i].size, sizes[i]);
    EXPECT_EQ(m[i].padded, sizes[i] % 2 == 1);
    EXPECT_EQ(m[i].name, i < 2 ? "/" : "mylib.dll/");
    EXPECT_EQ(m[i].header.substr(16, 16), "1049582096      ");
  }

  // Short import members in sorted order, the hint being the sorted place.
  const std::vector<std::string> sorted = {"_Alpha", "_Mid@12", "_Zeta@8"};
  for (std::size_t k = 0; k < 3; ++k) {
    const Bytes& d = m[5 + k].data;
    SCOPED_TRACE(sorted[k]);
    EXPECT_EQ(Le16(d, 0), 0u);
    EXPECT_EQ(Le16(d, 2), 0xFFFFu);
    EXPECT_EQ(Le16(d, 6), 0x014Cu);
    EXPECT_EQ(Le32(d, 8), static_cast<std::uint32_t>(kStamp));
    EXPECT_EQ(Le32(d, 12), sorted[k].size() + 1 + 10);
    EXPECT_EQ(Le16(d, 16), k);
    EXPECT_EQ(Le16(d, 18), 0x000Cu);
    EXPECT_EQ(NamesFrom(d, 20), (std::vector<std::string>{sorted[k], "mylib.dll"}));
  }

  // First linker member: list order, big-endian, each entry twice.
  const Bytes& first = m[0].data;
  EXPECT_EQ(Be32(first, 0), 9u);
  std::vector<std::uint32_t> firstOffsets;
  for (std::size_t i = 0; i < 9; ++i) firstOffsets.push_back(Be32(first, 4 + 4 * i));
  EXPECT_EQ(firstOffsets,
            (std::vector<std::uint32_t>{494, 1264, 1574, 2106, 2106, 1910, 1910, 2008, 2008}));
  EXPECT_EQ(NamesFrom(first, 40),
            (std::vector<std::string>{"__IMPORT_DESCRIPTOR_mylib", "__NULL_IMPORT_DESCRIPTOR",
                                      "\x7Fmylib_NULL_THUNK_DATA", "_Zeta@8", "__imp__Zeta@8",
                                      "_Alpha", "__imp__Alpha", "_Mid@12", "__imp__Mid@12"}));

  // Second linker member: offsets in list order, indices and names sorted.
  const Bytes& second = m[1].data;
  EXPECT_EQ(Le32(second, 0), 6u);
  std::vector<std::uint32_t> secondOffsets;
  for (std::size_t i = 0; i < 6; ++i) secondOffsets.push_back(Le32(second, 4 + 4 * i));
  EXPECT_EQ(secondOffsets, (std::vector<std::uint32_t>{494, 1264, 1574, 2106, 1910, 2008}));
  EXPECT_EQ(Le32(second, 28), 9u);
  std::vector<std::uint16_t> indices;
  for (std::size_t i = 0; i < 9; ++i) indices.push_back(Le16(second, 32 + 2 * i));
  EXPECT_EQ(indices, (std::vector<std::uint16_t>{5, 6, 4, 1, 2, 5, 6, 4, 3}));
  EXPECT_EQ(NamesFrom(second, 50),
            (std::vector<std::string>{"_Alpha", "_Mid@12", "_Zeta@8", "__IMPORT_DESCRIPTOR_mylib",
                                      "__NULL_IMPORT_DESCRIPTOR", "__imp__Alpha",
                                      "__imp__Mid@12", "__imp__Zeta@8",
                                      "\x7Fmylib_NULL_THUNK_DATA"}));
}

TEST(CoffWriterTest, TheMemberHeaderIsFixedWidthText) {
  TempDir dir;
  const Bytes file = Write(ThreeEntries(), dir.File("mylib.lib"));
  const std::string header = "/" + std::string(15, ' ') + "1049582096" + std::string(6, ' ') +
                             std::string(8, ' ') + "0" + std::string(7, ' ') + "178" +
                             std::string(7, ' ') + "`\n";
  EXPECT_EQ(Text(file, 8, 60), header);
  EXPECT_EQ(Text(file, 0, 8), "!<arch>\n");
}

TEST(CoffWriterTest, AnEmptyListGivesFiveMembers) {
  TempDir dir;
  const std::vector<ArchiveMember> m = SplitArchive(Write({}, dir.File("mylib.lib")));
  ASSERT_EQ(m.size(), 5u);
  const Bytes& first = m[0].data;
  EXPECT_EQ(Be32(first, 0), 3u);
  EXPECT_EQ(Be32(first, 4), m[2].headerAt);
  EXPECT_EQ(Be32(first, 8), m[3].headerAt);
  EXPECT_EQ(Be32(first, 12), m[4].headerAt);
  const std::vector<std::string> fixed = {"__IMPORT_DESCRIPTOR_mylib", "__NULL_IMPORT_DESCRIPTOR",
                                          "\x7Fmylib_NULL_THUNK_DATA"};
  EXPECT_EQ(NamesFrom(first, 16), fixed);
  const Bytes& second = m[1].data;
  EXPECT_EQ(Le32(second, 0), 3u);
  EXPECT_EQ(Le32(second, 16), 3u);
  EXPECT_EQ(Le16(second, 20), 1u);
  EXPECT_EQ(Le16(second, 22), 2u);
  EXPECT_EQ(Le16(second, 24), 3u);
  EXPECT_EQ(NamesFrom(second, 26), fixed);
}

struct Field {
  std::size_t at;
  std::size_t size;  // 1, 2 or 4 bytes, little-endian
  std::uint32_t value;
};

void ExpectFields(const Bytes& d, const std::vector<Field>& fields) {
  for (const Field& f : fields) {
    std::uint32_t v = f.size == 4 ? Le32(d, f.at) : f.size == 2 ? Le16(d, f.at) : d.at(f.at);
    EXPECT_EQ(v, f.value) << "at offset " << f.at;
  }
}

TEST(CoffWriterTest, ImportDescriptorFieldsForAnOddBaseName) {
  TempDir dir;
  const std::vector<ArchiveMember> m = SplitArchive(Write({}, dir.File("mylib.lib")));
  const Bytes& d = m[2].data;
  ASSERT_EQ(d.size(), 710u);
  ExpectFields(d, {
      {0, 2, 0x014C}, {2, 2, 3}, {4, 4, kStamp}, {8, 4, 488}, {12, 4, 8}, {16, 2, 224},
      {18, 2, 0x0100},
      // PE32 optional header
      {20, 2, 0x010B}, {22, 1, 6}, {23, 1, 0}, {52, 4, 0x1000}, {56, 4, 0x200}, {60, 2, 4},
      {62, 2, 0}, {88, 2, 3}, {92, 4, 0x100000}, {96, 4, 0x1000}, {100, 4, 0x100000},
      {104, 4, 0x1000}, {112, 4, 16},
      // sections: size of raw data, pointers, relocation count, characteristics
      {260, 4, 64}, {264, 4, 364}, {268, 4, 0}, {280, 4, 0x42100040},
      {300, 4, 20}, {304, 4, 428}, {308, 4, 448}, {316, 2, 3}, {320, 4, 0xC0300040},
      {340, 4, 10}, {344, 4, 478}, {348, 4, 448}, {356, 2, 0}, {360, 4, 0xC0200040},
      // the debug block
      {364, 4, 2}, {368, 2, 16}, {370, 2, 9}, {372, 4, 0}, {376, 1, 9}, {386, 2, 40},
      {388, 2, 0x1013}, {390, 4, 7}, {394, 2, 3}, {396, 2, 0}, {398, 2, 0}, {400, 2, 0},
      {402, 2, 6}, {404, 2, 0}, {406, 2, 8168}, {408, 1, 18}, {427, 1, 0},
      // relocations (address, symbol, type)
      {448, 4, 12}, {452, 4, 3}, {456, 2, 7}, {458, 4, 0}, {462, 4, 4}, {466, 2, 7},
      {468, 4, 16}, {472, 4, 5}, {476, 2, 7},
      // symbols: value, section, class (and string-table offsets)
      {496, 4, 0x41FE8}, {500, 2, 0xFFFF}, {504, 1, 3},
      {506, 4, 0}, {510, 4, 4}, {518, 2, 2}, {522, 1, 2},
      {532, 4, 0xC0000040}, {536, 2, 2}, {540, 1, 104},
      {550, 4, 0}, {554, 2, 3}, {558, 1, 3},
      {568, 4, 0xC0000040}, {572, 2, 0}, {576, 1, 104},
      {586, 4, 0xC0000040}, {590, 2, 0}, {594, 1, 104},
      {600, 4, 30}, {608, 2, 0}, {612, 1, 2},
      {618, 4, 55}, {626, 2, 0}, {630, 1, 2},
      {632, 4, 78},
  });
  EXPECT_EQ(Text(d, 244, 8), std::string(".debug$S"));
  EXPECT_EQ(Text(d, 284, 8), std::string(".idata$2"));
  EXPECT_EQ(Text(d, 324, 8), std::string(".idata$6"));
  EXPECT_EQ(Text(d, 377, 9), "mylib.dll");
  EXPECT_EQ(Text(d, 409, 18), "Microsoft (R) LINK");
  EXPECT_EQ(Text(d, 478, 10), std::string("mylib.dll\0", 10));
  EXPECT_EQ(Text(d, 488, 8), "@comp.id");
  EXPECT_EQ(NamesFrom(d, 636),
            (std::vector<std::string>{"__IMPORT_DESCRIPTOR_mylib", "__NULL_IMPORT_DESCRIPTOR",
                                      "\x7Fmylib_NULL_THUNK_DATA"}));
}

TEST(CoffWriterTest, NullObjectsFieldsAndTheSharedDebugBlock) {
  TempDir dir;
  const std::vector<ArchiveMember> m = SplitArchive(Write({}, dir.File("mylib.lib")));
  const Bytes& null = m[3].data;
  ASSERT_EQ(null.size(), 249u);
  ExpectFields(null, {{2, 2, 2}, {4, 4, kStamp}, {8, 4, 184}, {12, 4, 2}, {16, 2, 0},
                      {36, 4, 64}, {40, 4, 100}, {56, 4, 0x42100040},
                      {76, 4, 20}, {80, 4, 164}, {96, 4, 0xC0300040},
                      {206, 4, 4}, {214, 2, 2}, {218, 1, 2}, {220, 4, 29}});
  EXPECT_EQ(Text(null, 60, 8), std::string(".idata$3"));
  EXPECT_EQ(Text(null, 224, 25), std::string("__NULL_IMPORT_DESCRIPTOR\0", 25));

  const Bytes& thunk = m[4].data;
  ASSERT_EQ(thunk.size(), 275u);
  ExpectFields(thunk, {{2, 2, 3}, {4, 4, kStamp}, {8, 4, 212}, {12, 4, 2},
                       {36, 4, 64}, {40, 4, 140},
                       {76, 4, 4}, {80, 4, 204}, {96, 4, 0xC0300040},
                       {116, 4, 4}, {120, 4, 208}, {136, 4, 0xC0300040},
                       {204, 4, 0}, {208, 4, 0},
                       {234, 4, 4}, {242, 2, 2}, {246, 1, 2}, {248, 4, 27}});
  EXPECT_EQ(Text(thunk, 60, 8), std::string(".idata$5"));
  EXPECT_EQ(Text(thunk, 100, 8), std::string(".idata$4"));
  EXPECT_EQ(Text(thunk, 252, 23), std::string("\x7Fmylib_NULL_THUNK_DATA\0", 23));

  // The three objects carry the same debug block.
  const Bytes block(m[2].data.begin() + 364, m[2].data.begin() + 428);
  EXPECT_EQ(Bytes(null.begin() + 100, null.begin() + 164), block);
  EXPECT_EQ(Bytes(thunk.begin() + 140, thunk.begin() + 204), block);
}

TEST(CoffWriterTest, ObjectSizesFollowTheBaseNameLength) {
  struct Case {
    const char* base;
    std::size_t descriptor, nullDescriptor, nullThunk;
    std::uint32_t symbolTable, idata6Size;
  };
  for (const Case& c : {Case{"mylib", 710, 249, 275, 488, 10},
                        Case{"kernel32", 723, 252, 281, 495, 14},
                        Case{"", 691, 244, 265, 479, 6},
                        Case{"a", 694, 245, 267, 480, 6}}) {
    SCOPED_TRACE(c.base);
    TempDir dir;
    const std::vector<ArchiveMember> m =
        SplitArchive(Write(ThreeEntries(), dir.File(std::string(c.base) + ".lib")));
    EXPECT_EQ(m[2].size, c.descriptor);
    EXPECT_EQ(m[3].size, c.nullDescriptor);
    EXPECT_EQ(m[4].size, c.nullThunk);
    EXPECT_EQ(Le32(m[2].data, 8), c.symbolTable);
    EXPECT_EQ(Le32(m[2].data, 340), c.idata6Size);
    const std::string dll = std::string(c.base) + ".dll";
    EXPECT_EQ(Text(m[2].data, Le32(m[2].data, 344), c.idata6Size),
              dll + std::string(c.idata6Size - dll.size(), '\0'));
    for (const ArchiveMember& member : m) EXPECT_EQ(member.headerAt % 2, 0u);
  }
}

TEST(CoffWriterTest, MemberNamesAreCutToSixteenCharacters) {
  struct Case {
    const char* file;
    const char* name;
  };
  for (const Case& c : {Case{"averyverylongname.lib", "averyverylongnam"},
                        Case{"twelve_chars.lib", "twelve_chars.dll"},
                        Case{"eleven_char.lib", "eleven_char.dll/"}}) {
    TempDir dir;
    const std::vector<ArchiveMember> m = SplitArchive(Write(ThreeEntries(), dir.File(c.file)));
    for (std::size_t i = 2; i < m.size(); ++i) EXPECT_EQ(m[i].header.substr(0, 16), c.name);
  }
}

TEST(CoffWriterTest, TheDllNameComesFromTheFileName) {
  struct Case {
    const char* path;
    const char* base;
  };
  for (const Case& c : {Case{"/x/my.api.lib", "my.api"}, Case{"/x/.lib", ""},
                        Case{"/x/y.z/plain", "plain"}, Case{"name.lib", "name"},
                        Case{"C:\\libs\\my.api.lib", "my.api"}, Case{"C:foo.lib", "foo"},
                        Case{"/x/caf\xC3\xA9.lib", "caf\xE9"}, Case{"", ""},
                        Case{"/x/libshlwapi.dll.a", "shlwapi"}, Case{"libz.a", "libz"}}) {
    EXPECT_EQ(DllBaseNameOf(c.path), c.base) << c.path;
  }
  TempDir dir;
  const std::vector<ArchiveMember> foo = SplitArchive(Write(ThreeEntries(), dir.File("foo.lib")));
  const std::vector<ArchiveMember> bar = SplitArchive(Write(ThreeEntries(), dir.File("bar.lib")));
  EXPECT_EQ(NamesFrom(foo[5].data, 20).back(), "foo.dll");
  EXPECT_EQ(NamesFrom(bar[5].data, 20).back(), "bar.dll");
}

// Short import members in file order: their symbols.
std::vector<std::string> SortedSymbols(const Bytes& file) {
  std::vector<std::string> symbols;
  const std::vector<ArchiveMember> m = SplitArchive(file);
  for (std::size_t i = 5; i < m.size(); ++i) symbols.push_back(NamesFrom(m[i].data, 20).front());
  return symbols;
}

TEST(CoffWriterTest, SymbolsSortByTheirBytesAndKeepListOrderOnTies) {
  TempDir dir;
  const std::string path = dir.File("col.lib");
  const Bytes sorted =
      Write({Entry("Beta", 0, false), Entry("alpha", 0, false), Entry("__under", 4, true)}, path);
  EXPECT_EQ(SortedSymbols(sorted), (std::vector<std::string>{"_Beta", "___under@4", "_alpha"}));
  // The second linker member's names, fixed ones included, in byte order,
  // each index leading to the member that defines it.
  const std::vector<ArchiveMember> s = SplitArchive(sorted);
  const Bytes& second = s[1].data;
  const std::size_t members = Le32(second, 0), symbols = Le32(second, 4 + 4 * members);
  const std::size_t namesAt = 8 + 4 * members + 2 * symbols;
  const std::vector<std::string> names = NamesFrom(second, namesAt);
  EXPECT_EQ(names, (std::vector<std::string>{
                       "_Beta", "__IMPORT_DESCRIPTOR_col", "__NULL_IMPORT_DESCRIPTOR", "___under@4",
                       "__imp__Beta", "__imp____under@4", "__imp__alpha", "_alpha",
                       "\x7F" "col_NULL_THUNK_DATA"}));
  std::map<std::size_t, std::string> symbolAt;
  for (std::size_t i = 5; i < s.size(); ++i) symbolAt[s[i].headerAt] = NamesFrom(s[i].data, 20)[0];
  for (std::size_t k = 0; k < symbols; ++k) {
    const std::uint32_t offset = Le32(second, 4 + 4 * (Le16(second, 8 + 4 * members + 2 * k) - 1));
    if (names[k].find("under") != std::string::npos) {
      EXPECT_EQ(symbolAt[offset], "___under@4");
    } else if (names[k] == "__NULL_IMPORT_DESCRIPTOR") {
      EXPECT_EQ(offset, s[3].headerAt);
    }
  }

  // Two equal symbols: the hints say which list entry came first.
  Bytes file = Write({Entry("Same", 4, true), Entry("Other", 0, false), Entry("Same", 4, true)},
                     path);
  std::vector<ArchiveMember> m = SplitArchive(file);
  EXPECT_EQ(SortedSymbols(file), (std::vector<std::string>{"_Other", "_Same@4", "_Same@4"}));
  EXPECT_EQ(Be32(m[0].data, 16), m[6].headerAt);  // entry 0 is sorted before entry 2
  EXPECT_EQ(Be32(m[0].data, 32), m[7].headerAt);
}

TFonctionLib ByOrdinal(const std::string& symbol, std::uint16_t ordinal, bool noName) {
  TFonctionLib e = BoundTo(symbol, "");
  e.Import.ByOrdinal = true;
  e.Import.NoName = noName;
  e.Import.Ordinal = ordinal;
  return e;
}

struct ShortImport {
  std::uint16_t type, hint;
  std::string dll;
};

// The short import members of a library by symbol, and the symbols of its
// other members (objects), from the first linker member.
std::map<std::string, ShortImport> ShortImports(const std::vector<ArchiveMember>& m) {
  std::map<std::string, ShortImport> found;
  for (const ArchiveMember& member : m) {
    if (member.data.size() < 20 || Le16(member.data, 2) != 0xFFFF) continue;
    const std::vector<std::string> names = NamesFrom(member.data, 20);
    found[names[0]] = {Le16(member.data, 18), Le16(member.data, 16), names[1]};
  }
  return found;
}

TEST(CoffWriterTest, EachImportMakesTheLoaderLookUpItsBoundExport) {
  struct Case {
    TFonctionLib entry;
    std::uint16_t type;  // import type | name type << 2
    int hint;            // -1: the sorted place
  };
  TFonctionLib hidden = BoundTo("_Hidden", "Hidden");
  hidden.Import.Private = true;
  const std::vector<Case> cases = {
      {BoundTo("?f@@YAXXZ", "?f@@YAXXZ"), 0x04, -1},  // C++ names are looked up whole
      {BoundTo("@g@8", "@g@8"), 0x04, -1},
      {BoundTo("@g2@8", "g2"), 0x0C, -1},
      {BoundTo("@g3@8", "g3@8"), 0x08, -1},
      {BoundTo("_f@8", "_f@8"), 0x04, -1},
      {BoundTo("_h@8", "h"), 0x0C, -1},
      {BoundTo("_k@8", "k@8"), 0x08, -1},
      {BoundTo("k2@8", "k2@8"), 0x04, -1},  // no leading underscore
      {ByOrdinal("_Ord@4", 7, false), 0x00, 7},
      {ByOrdinal("_NoName", 9, true), 0x00, 9},
      {BoundTo("_Var", "Var", ImportKind::Data), 0x09, -1},
      {BoundTo("_Konst", "Konst", ImportKind::Const), 0x0A, -1},
      {Entry("Plain", 4, true), 0x0C, -1},
  };
  std::vector<TFonctionLib> list;
  for (const Case& c : cases) list.push_back(c.entry);
  list.push_back(hidden);
  list.push_back(BoundTo("_Foo@8", "Bar"));  // no name type turns _Foo@8 into Bar
  TempDir dir;
  const std::vector<ArchiveMember> m = SplitArchive(Write(list, dir.File("bind.lib")));
  const std::map<std::string, ShortImport> imports = ShortImports(m);
  EXPECT_EQ(imports.size(), cases.size());
  std::vector<std::string> sorted;
  for (const auto& [symbol, import] : imports) sorted.push_back(symbol);  // std::map: byte order
  sorted.insert(std::lower_bound(sorted.begin(), sorted.end(), "_Foo@8"), "_Foo@8");
  for (const Case& c : cases) {
    const std::string symbol = MicrosoftName(c.entry);
    SCOPED_TRACE(symbol);
    ASSERT_TRUE(imports.count(symbol));
    const ShortImport& got = imports.at(symbol);
    EXPECT_EQ(got.type, c.type);
    const auto place = std::find(sorted.begin(), sorted.end(), symbol) - sorted.begin();
    EXPECT_EQ(got.hint, c.hint < 0 ? place : c.hint);
    EXPECT_EQ(got.dll, "bind.dll");
  }

  // Data and constants have their "__imp_" symbol only; the private entry
  // is nowhere; the renamed one is an object of its own.
  const std::vector<std::string> names = NamesFrom(m[0].data, 4 + 4 * Be32(m[0].data, 0));
  auto has = [&names](const std::string& n) { return std::count(names.begin(), names.end(), n); };
  EXPECT_EQ(has("__imp__Var") + has("__imp__Konst") + has("_Var") + has("_Konst"), 2);
  EXPECT_EQ(has("_Hidden") + has("__imp__Hidden"), 0);
  EXPECT_EQ(has("_Foo@8") + has("__imp__Foo@8"), 2);
  EXPECT_EQ(m.size(), 2 + 3 + cases.size() + 1);
  const auto foo = std::find(names.begin(), names.end(), "_Foo@8") - names.begin();
  const std::uint32_t fooAt = Be32(m[0].data, 4 + 4 * static_cast<std::size_t>(foo));
  const auto object = std::find_if(m.begin(), m.end(),
                                   [fooAt](const ArchiveMember& a) { return a.headerAt == fooAt; });
  ASSERT_NE(object, m.end());
  EXPECT_EQ(Le16(object->data, 0), 0x014C);  // a COFF object
}

TEST(CoffWriterTest, EachDllHasItsDescriptorAndNullThunk) {
  TempDir dir;
  const std::vector<ArchiveMember> m = SplitArchive(Write(
      {Entry("A", 0, false), BoundTo("_B", "B", ImportKind::Code, "other.dll"), Entry("C", 0, false),
       BoundTo("_D", "D", ImportKind::Data, "other.dll")},
      dir.File("multi.lib")));
  ASSERT_EQ(m.size(), 2u + 5 + 4);
  const std::vector<std::string> memberNames = {"multi.dll/", "multi.dll/", "multi.dll/", "other.dll/",
                                                "other.dll/", "multi.dll/", "other.dll/", "multi.dll/",
                                                "other.dll/"};
  for (std::size_t i = 2; i < m.size(); ++i) EXPECT_EQ(m[i].name, memberNames[i - 2]) << i;
  EXPECT_EQ(NamesFrom(m[0].data, 4 + 4 * 12),
            (std::vector<std::string>{"__IMPORT_DESCRIPTOR_multi", "__NULL_IMPORT_DESCRIPTOR",
                                      "\x7F" "multi_NULL_THUNK_DATA", "__IMPORT_DESCRIPTOR_other",
                                      "\x7F" "other_NULL_THUNK_DATA", "_A", "__imp__A", "_B",
                                      "__imp__B", "_C", "__imp__C", "__imp__D"}));
  // The first linker member's offsets lead each fixed name to its object.
  for (std::size_t i = 0; i < 5; ++i) EXPECT_EQ(Be32(m[0].data, 4 + 4 * i), m[2 + i].headerAt);
  EXPECT_EQ(Text(m[5].data, Le32(m[5].data, 344), 10), std::string("other.dll\0", 10));
  const std::map<std::string, ShortImport> imports = ShortImports(m);
  EXPECT_EQ(imports.at("_A").dll, "multi.dll");
  EXPECT_EQ(imports.at("_B").dll, "other.dll");
  EXPECT_EQ(imports.at("_D").dll, "other.dll");
  EXPECT_EQ(imports.at("_D").type, 0x09);

  // Two DLLs of one base still get a descriptor symbol each.
  const std::vector<ArchiveMember> twins = SplitArchive(
      Write({Entry("A", 0, false), BoundTo("_B", "B", ImportKind::Code, "twins.exe")}, dir.File("twins.lib")));
  EXPECT_EQ(NamesFrom(twins[0].data, 4 + 4 * 9)[3], "__IMPORT_DESCRIPTOR_twins.exe");

  // A list that names one DLL alone has no object for the file's own name.
  const std::vector<ArchiveMember> one =
      SplitArchive(Write({BoundTo("_B", "B", ImportKind::Code, "other.dll")}, dir.File("x.lib")));
  ASSERT_EQ(one.size(), 6u);
  EXPECT_EQ(one[2].name, "other.dll/");
}

TEST(CoffWriterTest, TheTimeStampIsTheSameEverywhere) {
  TempDir dir;
  const std::string path = dir.File("mylib.lib");
  const Bytes a = Write(ThreeEntries(), path);
  Bytes b;
  {
    platform::FixedClock clock(kStamp + 1);
    TFichierLib lib;
    SetList(lib, ThreeEntries());
    ASSERT_TRUE(lib.WriteCoffLibrary(path));
    b = ReadFileBytes(path);
  }
  ASSERT_EQ(a.size(), b.size());
  const std::vector<ArchiveMember> m = SplitArchive(b);
  std::vector<std::size_t> stampAt;  // every place the second file differs from the first
  for (std::size_t i = 0; i < a.size(); ++i)
    if (a[i] != b[i]) stampAt.push_back(i);
  std::vector<std::size_t> expected;
  for (std::size_t i = 0; i < m.size(); ++i) {
    expected.push_back(m[i].headerAt + 16 + 9);  // ...096 → ...097 in the text
    if (i >= 2) expected.push_back(m[i].headerAt + 60 + (i < 5 ? 4 : 8));
  }
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(stampAt, expected);
}

TEST(CoffWriterTest, SourceDateEpochFixesTheTimeStamp) {
  setenv("SOURCE_DATE_EPOCH", "1234567890", 1);
  const std::int32_t stamp = platform::TimeStampNow();
  unsetenv("SOURCE_DATE_EPOCH");
  EXPECT_EQ(stamp, 1234567890);
  const std::int64_t now = time(nullptr);
  EXPECT_NEAR(platform::TimeStampNow(), now, 5);
}

TEST(CoffWriterTest, ManyEntriesWithLongNamesRoundTrip) {
  std::vector<TFonctionLib> list;
  for (int i = 0; i < 5000; ++i) {
    std::string name = "N" + std::to_string((i * 7919) % 5000) + "_";
    name += std::string(300 - name.size(), static_cast<char>('a' + i % 26));
    list.push_back(i % 2 ? Entry(name, 4 * (i % 7), true) : Entry(name, 0, false));
  }
  TempDir dir;
  const std::string path = dir.File("many.lib");
  const std::vector<ArchiveMember> m = SplitArchive(Write(list, path));
  ASSERT_EQ(m.size(), 5005u);
  TFichierLib back;
  ASSERT_TRUE(back.ReadCoffLibrary(path));
  EXPECT_EQ(ListOf(back), From("many.dll", list));
  // Entry i's offsets, in either linker member, lead to the member of its symbol.
  std::map<std::size_t, std::string> symbolAt;
  for (std::size_t i = 5; i < m.size(); ++i) symbolAt[m[i].headerAt] = NamesFrom(m[i].data, 20)[0];
  for (std::size_t i = 0; i < list.size(); ++i) {
    const std::string symbol = MicrosoftName(list[i]);
    EXPECT_EQ(symbolAt[Be32(m[0].data, 16 + 8 * i)], symbol);
    EXPECT_EQ(symbolAt[Be32(m[0].data, 20 + 8 * i)], symbol);
    EXPECT_EQ(symbolAt[Le32(m[1].data, 16 + 4 * i)], symbol);
  }
}

// Past 65535 members the second linker member's 16-bit indices cannot name
// them all: the archive then carries the first linker member alone.
TEST(CoffWriterTest, PastSixtyFiveThousandMembersOnlyTheFirstLinkerMemberIsWritten) {
  for (int n : {65532, 65533}) {
    std::vector<TFonctionLib> list;
    for (int i = 0; i < n; ++i) list.push_back(Entry("F" + std::to_string(i), 0, false));
    TempDir dir;
    const std::string path = dir.File("big.lib");
    const std::vector<ArchiveMember> m = SplitArchive(Write(list, path));
    const bool second = n + 3 <= 0xFFFF;
    ASSERT_EQ(m.size(), static_cast<std::size_t>(n) + (second ? 5 : 4));
    EXPECT_EQ(m[1].name, second ? "/" : "big.dll/");
    EXPECT_EQ(Be32(m[0].data, 4), m[second ? 2 : 1].headerAt);
    TFichierLib back;
    ASSERT_TRUE(back.ReadCoffLibrary(path));
    EXPECT_EQ(back.Fonctions.Count, static_cast<std::uint32_t>(n));
  }
}

TEST(CoffWriterTest, AFileThatCannotBeCreatedSaysWhy) {
  TempDir dir;
  const std::string path = dir.File("missing/folder.lib");
  TFichierLib lib;
  SetList(lib, ThreeEntries());
  const Outcome outcome = lib.WriteCoffLibrary(path);
  EXPECT_EQ(outcome.Kind, OutcomeKind::CannotOpen);
  EXPECT_EQ(outcome.Error, ENOENT);
  EXPECT_TRUE(dir.Entries().empty());
}

TEST(CoffWriterTest, SwapBytes32ReversesTheBytes) {
  const std::uint8_t in[4] = {0x12, 0x34, 0x56, 0x78};
  std::uint8_t out[4] = {};
  SwapBytes32(in, out);
  EXPECT_EQ(Bytes(out, out + 4), (Bytes{0x78, 0x56, 0x34, 0x12}));
}

}  // namespace
