#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/safe_save.h"
#include "tests/support/omf_builder.h"
#include "tests/support/test_files.h"

namespace {

TFonctionLib Bound(const std::string& name, bool pascal, const std::string& dll,
                   const std::string& exportName, const std::string& symbol = "") {
  TFonctionLib e = Entry(name, 0, pascal);
  e.Import.Dll = dll;
  e.Import.ExportName = exportName;
  e.Import.Symbol = symbol;
  return e;
}

TFonctionLib ByOrdinal(const std::string& name, std::uint16_t ordinal, const std::string& dll) {
  TFonctionLib e = Bound(name, true, dll, "");
  e.Import.ByOrdinal = true;
  e.Import.Ordinal = ordinal;
  return e;
}

void ExpectSameBindings(const std::vector<TFonctionLib>& got, const std::vector<TFonctionLib>& want) {
  ASSERT_EQ(got, want);
  for (std::size_t i = 0; i < got.size(); ++i) {
    SCOPED_TRACE(want[i].Name);
    EXPECT_EQ(got[i].Import.Dll, want[i].Import.Dll);
    EXPECT_EQ(got[i].Import.ExportName, want[i].Import.ExportName);
    EXPECT_EQ(got[i].Import.ByOrdinal, want[i].Import.ByOrdinal);
    EXPECT_EQ(got[i].Import.Ordinal, want[i].Import.Ordinal);
    EXPECT_EQ(got[i].Import.Symbol, want[i].Import.Symbol);
  }
}

class OmfWriterTest : public ::testing::Test {
 protected:
  Outcome Write(const std::vector<TFonctionLib>& list, const std::string& name = "my.lib") {
    SetList(lib, list);
    return lib.WriteBorlandLibrary(dir.File(name));
  }
  std::vector<TFonctionLib> ReadBack(const std::string& name = "my.lib") {
    TFichierLib back;
    EXPECT_TRUE(back.ReadOmfLibrary(dir.File(name)));
    return ListOf(back);
  }

  TempDir dir;
  TFichierLib lib;
};

TEST_F(OmfWriterTest, ListsAndBindingsComeBack) {
  TFonctionLib hidden = Bound("Hidden", false, "a.dll", "Hidden");
  hidden.Import.Private = true;
  const std::vector<TFonctionLib> list = {
      Bound("Foo", false, "fmod.dll", "Foo"),
      Bound("FMUSIC_FreeSong", true, "fmod.dll", "_FMUSIC_FreeSong@4"),
      Bound("Renamed", true, "other.dll", "RealName"),
      ByOrdinal("usb_x", 64, "LIBUSB0.DLL"),
      Bound("?f@@YAXXZ", true, "cpp.dll", "?f@@YAXXZ", "?f@@YAXXZ"),
      Bound("@g@8", true, "cpp.dll", "g", "@g@8"),
      hidden,
  };
  ASSERT_TRUE(Write(list));
  std::vector<TFonctionLib> want(list.begin(), list.end() - 1);
  want[1].ArgLength = 4;  // the decorated export name tells it
  want[5].Name = "g";  // and a fastcall symbol its plain name and length
  want[5].ArgLength = 8;
  ExpectSameBindings(ReadBack(), want);
}

TEST_F(OmfWriterTest, HandMadeEntriesImportFromTheFileNamesDll) {
  ASSERT_TRUE(Write({Entry("Foo", 8, true), Entry("Bar", 0, false)}, "fmodbc.lib"));
  ExpectSameBindings(ReadBack("fmodbc.lib"), {Bound("Foo", true, "fmodbc.dll", "Foo"),
                                              Bound("Bar", false, "fmodbc.dll", "Bar")});
}

TEST_F(OmfWriterTest, ModulesAreWhatBorlandsLinkerReads) {
  ASSERT_TRUE(Write({Bound("Foo", false, "a.dll", "Foo")}));
  const Bytes file = ReadFileBytes(dir.File("my.lib"));
  const Bytes module = omf::Join({omf::ModuleHeader("_Foo"),
                                  omf::ImportDefinition({"_Foo", "a.dll", "Foo"}),
                                  omf::ModuleEnd()});
  ASSERT_GE(file.size(), 16 + module.size());
  EXPECT_EQ(Bytes(file.begin() + 16, file.begin() + 16 + module.size()), module);
  EXPECT_EQ(omf::PageSizeOf(file), 16u);
  EXPECT_EQ(file.size() % 512, 0u);
}

TEST_F(OmfWriterTest, EveryNameIsFoundByBothLookups) {
  struct Size {
    std::size_t entries;
    std::size_t longest;  // names run from 1 to this many bytes
    std::uint32_t pageSize;
  };
  // 65,535 modules of two 16-byte pages each take a larger page size.
  for (const Size s : {Size{1, 1, 16}, Size{37, 255, 16}, Size{1000, 255, 16},
                       Size{65535, 12, 64}}) {
    SCOPED_TRACE(s.entries);
    std::vector<TFonctionLib> list;
    for (std::size_t i = 0; i < s.entries; ++i) {
      const std::string number = std::to_string(i);
      const std::size_t length = 1 + (i * 7919 + s.longest - 1) % s.longest;
      const std::size_t pad = length > number.size() + 1 ? length - number.size() - 1 : 0;
      std::string name = std::string(pad, static_cast<char>('a' + i % 26)) + number;
      list.push_back(Entry(s.longest == 255 ? name.substr(0, 254) : name, 0, false));
    }
    ASSERT_TRUE(Write(list));
    const Bytes file = ReadFileBytes(dir.File("my.lib"));
    EXPECT_EQ(omf::PageSizeOf(file), s.pageSize);
    const std::uint32_t pageSize = omf::PageSizeOf(file);
    for (const TFonctionLib& e : list) {
      const std::string symbol = BorlandName(e);
      for (bool restart : {true, false}) {
        const auto page = omf::LookUp(file, symbol, restart);
        ASSERT_TRUE(page) << symbol.size() << "-byte name " << symbol << (restart ? " restart" : "");
        // The page holds the module of that name.
        const std::size_t at = std::size_t{*page} * pageSize;
        ASSERT_EQ(file[at], omf::kModuleHeader);
        ASSERT_EQ(std::string(file.begin() + at + 4, file.begin() + at + 4 + file[at + 3]), symbol);
      }
    }
    EXPECT_EQ(ReadBack().size(), s.entries);
  }
}

TEST_F(OmfWriterTest, WhatTheFormatCannotHoldIsRefusedAndNothingWritten) {
  WriteFileText(dir.File("my.lib"), "old");
  const std::string longName(255, 'x');  // "_" makes it 256
  std::vector<TFonctionLib> many;
  for (int i = 0; i < 65536; ++i) many.push_back(Entry("F" + std::to_string(i), 0, true));
  for (const auto& list : {std::vector{Entry("ok", 0, true), Entry(longName, 0, false)},
                           std::vector{Bound("f", true, std::string(256, 'd'), "f")}, many}) {
    const Outcome outcome = Write(list);
    EXPECT_EQ(outcome.Kind, OutcomeKind::Refused);
    EXPECT_FALSE(outcome.Detail.empty());
    EXPECT_EQ(ReadFileText(dir.File("my.lib")), "old");
  }
  EXPECT_NE(Write({Entry("ok", 0, true), Entry(longName, 0, false)}).Detail.find(longName.substr(0, 40)),
            std::string::npos);
}

TEST_F(OmfWriterTest, NamesAlikeButForTheirLastCharactersCrowdBlocksAndAreStillFound) {
  // The hash leaves out a name's last character from its block: these
  // crowd a few blocks, which fill and send names on to others.
  std::vector<TFonctionLib> list;
  for (int i = 0; i < 20000; ++i) list.push_back(Entry("Function" + std::to_string(i), 8, true));
  ASSERT_TRUE(Write(list));
  const Bytes file = ReadFileBytes(dir.File("my.lib"));
  const std::size_t offset = file[3] | file[4] << 8 | file[5] << 16;
  std::size_t full = 0;
  for (std::size_t at = offset; at < file.size(); at += 512) full += file[at + 37] == 0xFF;
  EXPECT_GT(full, 0u);
  for (const TFonctionLib& e : list)
    for (bool restart : {true, false})
      ASSERT_TRUE(omf::LookUp(file, e.Name, restart)) << e.Name << (restart ? " restart" : "");
}

TEST_F(OmfWriterTest, NamesDifferingOnlyInCaseMakeTheDictionaryCaseSensitive) {
  for (const auto& [list, flags] : {std::pair{std::vector{Entry("Foo", 0, true), Entry("Bar", 0, true)}, 0},
                                    std::pair{std::vector{Entry("Foo", 0, true), Entry("FOO", 0, true)}, 1}}) {
    ASSERT_TRUE(Write(list));
    EXPECT_EQ(ReadFileBytes(dir.File("my.lib"))[9], flags);
  }
}

TEST_F(OmfWriterTest, AFailedSaveKeepsTheOldFile) {
  using platform::SaveStage;
  for (const SaveStage stage : {SaveStage::Open, SaveStage::Write, SaveStage::Flush, SaveStage::Rename}) {
    WriteFileText(dir.File("my.lib"), "old");
    platform::FailSaveStageForTesting(stage, 1);
    const Outcome outcome = Write({Entry("Foo", 0, true)});
    platform::FailSaveStageForTesting(stage, 0);
    EXPECT_EQ(outcome.Kind, stage == SaveStage::Open ? OutcomeKind::CannotOpen : OutcomeKind::CannotWrite);
    EXPECT_EQ(ReadFileText(dir.File("my.lib")), "old");
    EXPECT_EQ(dir.Entries(), std::vector<std::string>{"my.lib"});
  }
}

TEST_F(OmfWriterTest, EmptyListWritesAnEmptyLibrary) {
  ASSERT_TRUE(Write({}));
  EXPECT_TRUE(ReadBack().empty());
}

}  // namespace
