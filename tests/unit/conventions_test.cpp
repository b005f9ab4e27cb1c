#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "model/conventions.h"
#include "model/decorated_names.h"
#include "model/microsoft_symbol.h"
#include "tests/support/test_files.h"

namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

struct SymbolCase {
  const char* symbol;
  TFonctionLib expected;
};

void PrintTo(const SymbolCase& c, std::ostream* os) { *os << c.symbol; }

class FromMicrosoftNameTest : public ::testing::TestWithParam<SymbolCase> {};

TEST_P(FromMicrosoftNameTest, UndoesTheDecoration) {
  EXPECT_EQ(FromMicrosoftName(GetParam().symbol), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Table, FromMicrosoftNameTest,
    ::testing::Values(SymbolCase{"_Foo@12", Entry("Foo", 12, true)},
                      SymbolCase{"_Foo", Entry("Foo", 0, false)},
                      SymbolCase{"Foo@8", Entry("Foo", 8, true)},
                      SymbolCase{"__Foo", Entry("_Foo", 0, false)},
                      SymbolCase{"_Foo@", Entry("Foo", 0, true)},
                      SymbolCase{"_Foo@x", Entry("Foo", 0, true)},
                      SymbolCase{"_a@b@8", Entry("a", 0, true)},
                      SymbolCase{"_Foo@0", Entry("Foo", 0, true)},
                      SymbolCase{"_", Entry("", 0, false)}));

TEST(FromMicrosoftNameTest, IsTheInverseOfMicrosoftName) {
  for (const TFonctionLib& e : {Entry("Foo", 12, true), Entry("Bar", 0, false),
                                Entry("_Baz", 2147483647, true), Entry("Qux", 0, true)})
    EXPECT_EQ(FromMicrosoftName(MicrosoftName(e)), e);
}

class ApplyConventionsTest : public ::testing::Test {
 protected:
  std::vector<TFonctionLib> Apply(const std::vector<TFonctionLib>& list) {
    SetList(lib, list);
    report = ApplyConventions(lib.Fonctions, table);
    return ListOf(lib);
  }

  TFichierLib lib;
  ConventionTable table;
  ConventionReport report;
};

TEST_F(ApplyConventionsTest, MatchedEntriesTakeConventionAndLengthOthersKeepTheirs) {
  table.Set(Entry("Foo", 12, true));
  table.Set(Entry("Bar", 0, false));
  table.Set(Entry("Gone", 4, true));
  auto result = Apply({Entry("Bar", 8, true), Entry("Keep", 16, true), Entry("Foo", 0, false),
                       Entry("Keep", 0, false)});
  EXPECT_THAT(result, ElementsAre(Entry("Bar", 0, false), Entry("Keep", 16, true),
                                  Entry("Foo", 12, true), Entry("Keep", 0, false)));
  EXPECT_THAT(report.UnmatchedEntries, ElementsAre("Keep", "Keep"));
  EXPECT_THAT(report.UnusedNames, ElementsAre("Gone"));
}

TEST_F(ApplyConventionsTest, DuplicateEntriesAllTakeTheConvention) {
  table.Set(Entry("Foo", 8, true));
  auto result = Apply({Entry("Foo", 0, false), Entry("Foo", 0, false)});
  EXPECT_THAT(result, ElementsAre(Entry("Foo", 8, true), Entry("Foo", 8, true)));
  EXPECT_THAT(report.UnmatchedEntries, IsEmpty());
  EXPECT_THAT(report.UnusedNames, IsEmpty());
}

// A list of symbols gives C++ names their symbol and nothing else: the
// variable stays data, the function imported by ordinal.
TEST_F(ApplyConventionsTest, ASymbolAloneKeepsTheImportItNamesNothingOf) {
  for (const char* symbol : {"?v@@3HA", "?g@@YAXXZ"}) table.Set(FromClientSymbol(symbol));
  TFonctionLib v = FromClientSymbol("?v@@3HA"), g = FromClientSymbol("?g@@YAXXZ");
  v.Import.Kind = ImportKind::Data;
  v.Import.ExportName = "?v@@3HA";
  g.Import.ByOrdinal = g.Import.NoName = true;
  g.Import.Ordinal = 7;
  const std::vector<TFonctionLib> list = From("x.dll", {v, g});
  EXPECT_EQ(Apply(list), list);
}

TEST_F(ApplyConventionsTest, NamesAreComparedByteForByte) {
  table.Set(Entry("foo", 8, true));
  table.Set(Entry("Caf\xE9", 4, true));
  auto result = Apply({Entry("Foo", 0, false), Entry("Caf\xE9", 0, false)});
  EXPECT_THAT(result, ElementsAre(Entry("Foo", 0, false), Entry("Caf\xE9", 4, true)));
  EXPECT_THAT(report.UnmatchedEntries, ElementsAre("Foo"));
  EXPECT_THAT(report.UnusedNames, ElementsAre("foo"));
}

TEST_F(ApplyConventionsTest, LaterSettingWinsAndKeepsFirstPlace) {
  table.Set(Entry("A", 4, true));
  table.Set(Entry("B", 8, true));
  table.Set(Entry("A", 0, false));
  EXPECT_THAT(table.Entries(), ElementsAre(Entry("A", 0, false), Entry("B", 8, true)));
  Apply({});
  EXPECT_THAT(report.UnusedNames, ElementsAre("A", "B"));
}

TEST_F(ApplyConventionsTest, EmptyTableLeavesEveryEntryUnmatched) {
  auto result = Apply({Entry("Foo", 4, true)});
  EXPECT_THAT(result, ElementsAre(Entry("Foo", 4, true)));
  EXPECT_THAT(report.UnmatchedEntries, ElementsAre("Foo"));
}

TEST_F(ApplyConventionsTest, SetAllTakesAWholeList) {
  TFichierLib source;
  SetList(source, {Entry("X", 4, true), Entry("Y", 0, false), Entry("X", 8, true)});
  table.SetAll(source.Fonctions);
  EXPECT_THAT(table.Entries(), ElementsAre(Entry("X", 8, true), Entry("Y", 0, false)));
}

TFonctionLib WithImport(TFonctionLib e, const char* symbol, const char* exportName,
                        const char* dll) {
  e.Import.Symbol = symbol;
  e.Import.ExportName = exportName;
  e.Import.Dll = dll;
  return e;
}

// What a matched entry ends with: its convention, client symbol, export
// name and DLL.
std::string Bound(const TFonctionLib& e) {
  return MicrosoftName(e) + " as " + e.Import.ExportName + " in " + e.Import.Dll +
         (e.Import.Kind == ImportKind::Data ? " DATA" : "");
}

TEST_F(ApplyConventionsTest, CarriesTheImportOfASourceThatHasOneAndClearsTheSymbolOtherwise) {
  TFonctionLib data = WithImport(Entry("Dat", 0, false), "", "Dat", "");
  data.Import.Kind = ImportKind::Data;
  table.Set(WithImport(Entry("Foo", 8, true), "", "Foo", "src.dll"));
  table.Set(data);
  table.Set(Entry("Bar", 12, true));  // by name only
  table.Set(WithImport(Entry("Set", 4, true), "", "Set", "src.dll"));
  table.Set(Entry("Set", 16, true));  // by name only, after a source
  TFonctionLib entry = WithImport(Entry("Foo", 0, false), "Foo", "Foo", "own.dll");
  TFonctionLib flagged = entry;
  flagged.Unsure = true;
  SetList(lib, {entry, WithImport(Entry("Dat", 4, true), "", "", "own.dll"),
                WithImport(Entry("Bar", 0, false), "Bar", "BarExport", "own.dll"), flagged,
                WithImport(Entry("Set", 0, false), "Set", "", "own.dll"),
                WithImport(Entry("Bar", 0, false), "?Bar@@YAXXZ", "", "")});
  lib.Fonctions.Item(3).Name = "Set";
  ApplyConventions(lib.Fonctions, table);
  std::vector<std::string> bound;
  for (const TFonctionLib& e : ListOf(lib)) bound.push_back(Bound(e));
  EXPECT_THAT(bound, ElementsAre("_Foo@8 as Foo in src.dll", "_Dat as Dat in own.dll DATA",
                                 "_Bar@12 as BarExport in own.dll", "_Set@16 as Set in src.dll",
                                 "_Set@16 as Set in src.dll", "?Bar@@YAXXZ as  in "));
  EXPECT_FALSE(lib.Fonctions.Item(3).Unsure);
}

}  // namespace
