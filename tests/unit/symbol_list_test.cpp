#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "def/def.h"
#include "tests/support/test_files.h"

namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

TEST(SymbolListTest, ReadsOneSymbolPerLineSkippingWhatIsNoSymbol) {
  TempDir dir;
  WriteFileText(dir.File("mylib.txt"),
                "; exports of MYLIB.DLL\r\n"
                "\r\n"
                "EXPORTS\r\n"
                "    _Foo@12\r\n"
                "\t_Bar @3 NONAME\n"
                "_Baz=_Other@4\n"
                "   ; indented comment\n"
                "Qux@8\n"
                "__Under\n"
                "   \n"
                "=nothing before the equals sign\n"
                "?cpp@@YAXXZ\n"
                "_Last@16");  // no line end at the end of the file
  TFichierLib lib;
  ASSERT_TRUE(def::ReadSymbolList(dir.File("mylib.txt"), lib));
  EXPECT_THAT(ListOf(lib),
              ElementsAre(Entry("Foo", 12, true), Entry("Bar", 0, false), Entry("Baz", 0, false),
                          Entry("Qux", 8, true), Entry("_Under", 0, false),
                          BoundTo("?cpp@@YAXXZ", ""), Entry("Last", 16, true)));
  EXPECT_EQ(lib.Fonctions.Item(5).Import.Symbol, "?cpp@@YAXXZ");
}

TEST(SymbolListTest, OnlyAnExactExportsLineIsSkipped) {
  TempDir dir;
  WriteFileText(dir.File("s.txt"), "exports\nEXPORTS2\n");
  TFichierLib lib;
  ASSERT_TRUE(def::ReadSymbolList(dir.File("s.txt"), lib));
  EXPECT_THAT(ListOf(lib), ElementsAre(Entry("exports", 0, false), Entry("EXPORTS2", 0, false)));
}

TEST(SymbolListTest, ReplacesTheList) {
  TempDir dir;
  WriteFileText(dir.File("s.txt"), "_A@4\n");
  TFichierLib lib;
  SetList(lib, {Entry("Old", 0, false), Entry("Older", 0, false)});
  ASSERT_TRUE(def::ReadSymbolList(dir.File("s.txt"), lib));
  EXPECT_THAT(ListOf(lib), ElementsAre(Entry("A", 4, true)));

  WriteFileText(dir.File("empty.txt"), "");
  ASSERT_TRUE(def::ReadSymbolList(dir.File("empty.txt"), lib));
  EXPECT_THAT(ListOf(lib), IsEmpty());
}

TEST(SymbolListTest, MissingFileSaysWhyAndLeavesTheList) {
  TempDir dir;
  TFichierLib lib;
  SetList(lib, {Entry("Old", 4, true)});
  EXPECT_EQ(def::ReadSymbolList(dir.File("missing.txt"), lib).Kind, OutcomeKind::CannotOpen);
  EXPECT_THAT(ListOf(lib), ElementsAre(Entry("Old", 4, true)));
}

}  // namespace
