#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/omf_builder.h"
#include "tests/support/test_files.h"

namespace {

using omf::Import;
using omf::Join;

// The entry of a definition with the builder's module name and no entry
// name: what it imports is its internal name.
TFonctionLib Internal(const std::string& internal, TFonctionLib e) {
  return Imported(e, "MYLIB.DLL", internal);
}

class OmfReaderTest : public ::testing::Test {
 protected:
  // Writes the bytes and reads them back; the list must be replaced even
  // when the file gives nothing, so it starts non-empty.
  std::vector<TFonctionLib> Read(const Bytes& bytes, OutcomeKind expected = OutcomeKind::Done,
                                 std::uint64_t count = 0) {
    const std::string path = dir.File("lib.lib");
    WriteFileBytes(path, bytes);
    SetList(lib, {Entry("stale", 8, false)});
    const Outcome outcome = lib.ReadOmfLibrary(path);
    EXPECT_EQ(outcome.Kind, expected) << Describe(outcome);
    if (expected != OutcomeKind::Done) {
      EXPECT_EQ(outcome.Count, count);
    }
    EXPECT_TRUE(messages.Calls().empty());
    // The handle is closed on every way out: the file opens again at once.
    HANDLE again = lib.OpenLibraryFile(path, true);
    EXPECT_NE(again, INVALID_HANDLE_VALUE);
    if (again != INVALID_HANDLE_VALUE) CloseHandle(again);
    return ListOf(lib);
  }

  static Bytes OneModule(const std::string& internalName) {
    return Join({omf::ModuleHeader("FOO"), omf::ImportDefinition({internalName}),
                 omf::ModuleEnd()});
  }

  TempDir dir;
  TFichierLib lib;
  MessageBoxRecorder messages;
};

TEST_F(OmfReaderTest, OneModuleLibraryHasItsLibraryEndAtOffset64) {
  for (const auto& [internal, expected] :
       {std::pair{"_Foo", Entry("Foo", 0, false)}, std::pair{"Foo", Entry("Foo", 0, true)}}) {
    const Bytes module = OneModule(internal);
    ASSERT_EQ(module.size(), internal[0] == '_' ? 37u : 36u);
    const Bytes file = omf::LibraryBuilder().AddModule(module).Build();
    ASSERT_EQ(file[64], omf::kLibraryEnd);
    // Anything after the library end is never read.
    const Bytes withTail = Join({file, OneModule("_Never")});
    EXPECT_EQ(Read(withTail), std::vector{Internal(internal, expected)}) << internal;
  }
}

struct NameCase {
  std::string internal;
  TFonctionLib expected;
};

TEST_F(OmfReaderTest, InternalNameGivesNameAndConvention) {
  const std::string longName(200, 'x');
  const std::vector<NameCase> cases = {
      {"_Foo", Entry("Foo", 0, false)},
      {"Foo", Entry("Foo", 0, true)},
      {"__Foo", Entry("_Foo", 0, false)},
      {"FOO", Entry("FOO", 0, true)},
      {"_X@8", Entry("X@8", 0, false)},
      {"_", Entry("", 0, false)},
      {"", Entry("", 0, true)},
      {longName, Entry(longName, 0, true)},
      {std::string("Ab\0cd", 5), Entry("Ab", 0, true)},
      {"\xE9t\xE9", Entry("\xE9t\xE9", 0, true)},
  };
  for (const NameCase& c : cases) {
    const Bytes file = omf::LibraryBuilder().AddImports({{c.internal}}).Build();
    // The name read ends at a zero byte.
    EXPECT_EQ(Read(file), std::vector{Internal(c.internal.c_str(), c.expected)})
        << "internal name \"" << c.internal << "\"";
  }
}

TEST_F(OmfReaderTest, DefinitionsComeInFileOrderAcrossModules) {
  const Bytes file = omf::LibraryBuilder()
                         .AddImportModule({{"_First"}, {"Second"}})
                         .AddImportModule({Import::ByOrdinal("_Third", 7)})
                         .AddImports({{"Fourth", "OTHER.DLL", "Entry4"}, {"_First"}})
                         .WithDictionary()
                         .Build();
  EXPECT_EQ(Read(file), (std::vector{Internal("_First", Entry("First", 0, false)),
                                     Internal("Second", Entry("Second", 0, true)),
                                     Imported(Entry("Third", 0, false), "MYLIB.DLL", "@7"),
                                     Imported(Entry("Fourth", 0, true), "OTHER.DLL", "Entry4"),
                                     Internal("_First", Entry("First", 0, false))}));
}

TEST_F(OmfReaderTest, ModuleFillingItsPagesExactlyHasNoFill) {
  // THEADR 8 + definition 35 + MODEND 5 = 48 bytes: the next module follows
  // at once.
  const Bytes module = OneModule("_" + std::string(14, 'A'));
  ASSERT_EQ(module.size(), 48u);
  const Bytes file =
      omf::LibraryBuilder().AddModule(module).AddModule(OneModule("Next")).Build();
  ASSERT_EQ(file[16 + 48], omf::kModuleHeader);
  const std::string a14(14, 'A');
  EXPECT_EQ(Read(file), (std::vector{Internal("_" + a14, Entry(a14, 0, false)),
                                     Internal("Next", Entry("Next", 0, true))}));
}

TEST_F(OmfReaderTest, OnlyImportDefinitionsGiveEntries) {
  const Bytes records = Join({
      omf::ModuleHeader("m"),
      omf::ExportDefinition("Exported", "_Exported"),
      omf::Comment(0xFB, Bytes{0x01, 0x00, 0x04, 'N', 'o', 'p', 'e'}),
      omf::Comment(0xFE, Bytes{0x01, 0x00, 0x04, 'N', 'o', 'p', 'e'}),
      omf::Comment(0x00, ToBytes("translator")),
      omf::Record(0x8C, Join({Bytes{0x00}, omf::Counted("_Ext"), Bytes{0x00}})),  // EXTDEF
      omf::ImportDefinition({"_Kept"}, 0x80),
      omf::Comment(omf::kClassOmfExtension,
                   Join({Bytes{omf::kImportDefinition, 0}, omf::Counted("_Too"),
                         omf::Counted("X.DLL"), Bytes{0}}),
                   0x00, omf::kComment32),
      omf::ModuleEnd(true),
  });
  const Bytes file = omf::LibraryBuilder(32).AddModule(records).AddImports({{"Last"}}).Build();
  EXPECT_EQ(Read(file), (std::vector{Internal("_Kept", Entry("Kept", 0, false)),
                                     Imported(Entry("Too", 0, false), "X.DLL", "_Too"),
                                     Internal("Last", Entry("Last", 0, true))}));
}

TEST_F(OmfReaderTest, PageSizeComesFromTheLibraryHeader) {
  for (std::uint32_t pageSize : {16u, 32u, 512u, 32768u}) {
    const Bytes file = omf::LibraryBuilder(pageSize)
                           .AddImports({{"_A"}, {"B"}})
                           .AddImportModule({{"_C"}, {"_D"}})
                           .WithDictionary()
                           .Build();
    EXPECT_EQ(Read(file), (std::vector{Internal("_A", Entry("A", 0, false)),
                                       Internal("B", Entry("B", 0, true)),
                                       Internal("_C", Entry("C", 0, false)),
                                       Internal("_D", Entry("D", 0, false))}))
        << "page size " << pageSize;
  }
}

TEST_F(OmfReaderTest, HeaderWithoutAPowerOfTwoPageSizeMeansSixteen) {
  // Claims 48 bytes; the modules are nonetheless laid out on 16-byte pages.
  Bytes header = omf::Record(omf::kLibraryHeader, Bytes(44, 0));
  header.resize(16);
  const Bytes modules = omf::LibraryBuilder().AddImports({{"_A"}}).Build();
  const Bytes file = Join({header, Bytes(modules.begin() + 16, modules.end())});
  EXPECT_EQ(Read(file), std::vector{Internal("_A", Entry("A", 0, false))});
}

TEST_F(OmfReaderTest, LibraryEndingEarlyIsCutShortWithWhatWasRead) {
  const Bytes first = omf::LibraryBuilder().AddImports({{"_A"}}).WithLibraryEnd(false).Build();
  const Bytes cut = Join({first, omf::ModuleHeader("m"), omf::ImportDefinition({"_Cut"})});
  const std::vector<Bytes> files = {
      Join({first, Bytes{0x80, 0x00, 0x00}, OneModule("_B")}),  // a record of length 0
      first,                                                    // no library end record
      Bytes(cut.begin(), cut.end() - 12),                       // inside a record
      Join({first, Bytes{omf::kComment, 0xFF, 0xFF}}),          // the longest record, no body
      Bytes(first.begin(), first.end() - 5),                    // inside the page padding
  };
  for (const Bytes& file : files)
    EXPECT_EQ(Read(file, OutcomeKind::CutShort, 1), std::vector{Internal("_A", Entry("A", 0, false))});
}

TEST_F(OmfReaderTest, WhatIsNoImportLibraryIsSaid) {
  const Bytes library = omf::LibraryBuilder().AddImports({{"_A"}}).Build();
  // A library header cut short: nothing read.
  for (std::size_t size : {1u, 3u, 15u})
    EXPECT_TRUE(Read(Bytes(library.begin(), library.begin() + size), OutcomeKind::CutShort, 0)
                    .empty()) << size;
  // Not an OMF library at all: the list stays.
  for (const Bytes& other : {Bytes{}, ToBytes("EXPORTS\n  Foo\n"), OneModule("_A")}) {
    WriteFileBytes(dir.File("x"), other);
    SetList(lib, {Entry("kept", 0, true)});
    const Outcome outcome = lib.ReadOmfLibrary(dir.File("x"));
    EXPECT_EQ(outcome.Kind, OutcomeKind::NotImportLibrary);
    EXPECT_FALSE(outcome.Detail.empty());
    EXPECT_EQ(ListOf(lib), std::vector{Entry("kept", 0, true)});
  }
  // Object modules without one import definition: a static library.
  const Bytes object = Join({omf::ModuleHeader("m"), omf::Comment(0x00, ToBytes("x")),
                             omf::ModuleEnd()});
  EXPECT_TRUE(Read(omf::LibraryBuilder().AddModule(object).AddModule(object).Build(),
                   OutcomeKind::StaticLibrary, 2).empty());
  // Header and library end alone: an empty import library.
  EXPECT_TRUE(Read(omf::LibraryBuilder().WithDictionary().Build()).empty());
}

struct BindingCase {
  omf::Import definition;
  TFonctionLib expected;
  std::string exportName;
  std::string symbol;
};

TEST_F(OmfReaderTest, EachDefinitionKeepsWhatItBindsTo) {
  const std::vector<BindingCase> cases = {
      {{"_Foo", "fmod.dll"}, Entry("Foo", 0, false), "_Foo", ""},
      {{"Foo", "a.dll", "Bar"}, Entry("Foo", 0, true), "Bar", ""},
      {{"F", "fmod.dll", "_F@4"}, Entry("F", 4, true), "_F@4", ""},
      {{"F", "x.dll", "_F@012"}, Entry("F", 0, true), "_F@012", ""},
      {{"F", "x.dll", "_G@4"}, Entry("F", 0, true), "_G@4", ""},
      // The Borland name must stay the internal name: no argument length.
      {{"_F", "x.dll", "_F@4"}, Entry("F", 0, false), "_F@4", ""},
      {{"?f@@YAXXZ", "x.dll"}, Entry("?f@@YAXXZ", 0, true), "?f@@YAXXZ", "?f@@YAXXZ"},
      {{"@f@8", "x.dll", "f"}, Entry("f", 8, true), "f", "@f@8"},
      {Import::ByOrdinal("usb_x", 64, "LIBUSB0.DLL"), Entry("usb_x", 0, true), "", ""},
  };
  for (const BindingCase& c : cases) {
    const auto got = Read(omf::LibraryBuilder().AddImports({c.definition}).Build());
    const std::string target =
        c.definition.byOrdinal ? "@" + std::to_string(c.definition.ordinal) : c.exportName;
    ASSERT_EQ(got, std::vector{Imported(c.expected, c.definition.moduleName, target)})
        << c.definition.internalName;
    const ImportBinding& b = got[0].Import;
    EXPECT_EQ(b.Dll, c.definition.moduleName);
    EXPECT_EQ(b.ExportName, c.exportName) << c.definition.internalName;
    EXPECT_EQ(b.Symbol, c.symbol) << c.definition.internalName;
    EXPECT_EQ(b.ByOrdinal, c.definition.byOrdinal);
    EXPECT_EQ(b.Ordinal, c.definition.ordinal);
    EXPECT_EQ(BorlandName(got[0]), c.definition.internalName);
  }
}

TEST_F(OmfReaderTest, RecordsFarLongerThanTheBufferAreReadWhole) {
  const Bytes records = Join({
      omf::ModuleHeader("m"),
      omf::Comment(0xFE, Bytes(65000, 'z')),
      omf::ImportDefinition({"_After", std::string(255, 'M'), std::string(255, 'E')}),
      omf::ModuleEnd(),
  });
  const Bytes file = omf::LibraryBuilder().AddModule(records).AddImports({{"Next"}}).Build();
  EXPECT_EQ(Read(file), (std::vector{Imported(Entry("After", 0, false), std::string(255, 'M'),
                                              std::string(255, 'E')),
                                     Internal("Next", Entry("Next", 0, true))}));
}

TEST_F(OmfReaderTest, ShortCommentNeverReadsBytesOfAnEarlierRecord) {
  // An LNAMES record leaves "x A0 01 00 05 Stale" in the buffer; each short
  // comment after it holds a prefix of an import definition, and what it
  // lacks must not be made up from those bytes.
  const Bytes definition{0x00, 0xA0, 0x01, 0x00, 0x05, 'S', 't', 'a', 'l', 'e'};
  const Bytes stale = omf::Record(0x96, definition);
  Bytes records = omf::ModuleHeader("m");
  for (std::uint8_t length = 1; length <= 5; ++length) {
    records = Join({records, stale, Bytes{omf::kComment, length, 0x00},
                    Bytes(definition.begin(), definition.begin() + length)});
  }
  records = Join({records, omf::ModuleEnd()});
  const Bytes file = omf::LibraryBuilder().AddModule(records).Build();
  EXPECT_TRUE(Read(file, OutcomeKind::StaticLibrary, 1).empty());
}

TEST_F(OmfReaderTest, NameLengthRunningPastTheRecordIsCut) {
  // Counted length 200, but the record holds three name bytes and its checksum.
  const Bytes body{0x00, 0xA0, 0x01, 0x00, 200, '_', 'F', 'o'};
  const Bytes records = Join({omf::ModuleHeader("m"), omf::Record(omf::kComment, body),
                              omf::ModuleEnd()});
  const Bytes file = omf::LibraryBuilder().AddModule(records).AddImports({{"Next"}}).Build();
  EXPECT_EQ(Read(file), (std::vector{Imported(Entry("Fo", 0, false), "", "_Fo"),
                                     Internal("Next", Entry("Next", 0, true))}));
}

TEST_F(OmfReaderTest, SameFileTwiceGivesTheSameList) {
  const std::string path = dir.File("twice.lib");
  omf::LibraryBuilder().AddImports({{"_A"}, {"B"}}).WriteTo(path);
  ASSERT_TRUE(lib.ReadOmfLibrary(path));
  ASSERT_TRUE(lib.ReadOmfLibrary(path));
  EXPECT_EQ(ListOf(lib),
            (std::vector{Internal("_A", Entry("A", 0, false)), Internal("B", Entry("B", 0, true))}));
}

}  // namespace
