#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/test_files.h"

namespace {

using List = TTableau<TFonctionLib>;

std::vector<std::string> Names(List& list) {
  std::vector<std::string> names;
  for (std::uint32_t i = 0; i < list.Count; ++i) names.push_back(list.Item(i).Name);
  return names;
}

void Fill(List& list, const std::vector<std::string>& names) {
  for (std::uint32_t i = 0; i < names.size(); ++i) list.Item(i) = Entry(names[i], 0, true);
}

// Entries written one after another, or far past the end, are all kept
// as the storage grows; the slots passed over are fresh, empty entries.
TEST(TableauTest, GrowthKeepsEveryEntryAndFreshSlotsAreEmpty) {
  List list;
  EXPECT_EQ(list.Count, 0u);
  for (std::uint32_t i = 0; i < 100; ++i) list.Item(i) = Entry("F" + std::to_string(i), i, true);
  list.Item(1000) = Entry("far", 4, false);
  EXPECT_EQ(list.Count, 1001u);
  for (std::uint32_t i = 0; i < 100; ++i) EXPECT_EQ(list.Item(i), Entry("F" + std::to_string(i), i, true));
  for (std::uint32_t i = 100; i < 1000; ++i) EXPECT_EQ(list.Item(i), TFonctionLib{}) << i;
  EXPECT_EQ(list.Item(1000), Entry("far", 4, false));
  EXPECT_EQ(list.Count, 1001u);  // reading an entry in the list does not grow it
}

TEST(TableauTest, ClearKeepsStaleSlotsThatItemHandsBack) {
  List list;
  list.Item(0) = Entry("Old", 12, true);
  list.Item(1) = Entry("Other", 4, false);
  list.Clear();
  EXPECT_EQ(list.Count, 0u);
  EXPECT_EQ(list.Item(0), Entry("Old", 12, true));
  EXPECT_EQ(list.Count, 1u);
}

TEST(TableauTest, ResetEmptiesTheListWithFreshSlots) {
  List list;
  for (std::uint32_t i = 0; i < 25; ++i) list.Item(i) = Entry("X", 1, true);
  EXPECT_EQ(list.Reset(10), 0);
  EXPECT_EQ(list.Count, 0u);
  EXPECT_EQ(list.Item(0).Name, "");  // fresh, not the old "X"
  EXPECT_EQ(list.Reset(0), E_INVALIDARG);
  EXPECT_EQ(list.Count, 0u);
}

TEST(TableauTest, InsertShiftsLaterEntries) {
  struct Case {
    std::vector<std::string> before;
    std::uint32_t index;
    std::vector<std::string> after;
  };
  for (const Case& c : {Case{{"A", "B"}, 0, {"e", "A", "B"}}, Case{{"A", "B"}, 1, {"A", "e", "B"}},
                        Case{{"A", "B"}, 2, {"A", "B", "e"}}, Case{{}, 0, {"e"}}}) {
    List list;
    Fill(list, c.before);
    EXPECT_EQ(list.Insert(c.index, Entry("e", 0, true)), 0);
    EXPECT_EQ(Names(list), c.after);
  }
}

TEST(TableauTest, InsertOfAnEntryOfTheSameListSurvivesGrowth) {
  List list;
  Fill(list, {"0", "1", "2", "3", "4", "5", "6", "7", "8", "9"});
  list.Insert(0, list.Item(9));
  EXPECT_EQ(list.Item(0).Name, "9");
  EXPECT_EQ(list.Count, 11u);
}

TEST(TableauTest, RemoveAtShiftsDownAndRefusesBadIndex) {
  List list;
  Fill(list, {"A", "B", "C"});
  EXPECT_EQ(list.RemoveAt(1), 0);
  EXPECT_EQ(Names(list), (std::vector<std::string>{"A", "C"}));
  // The slot that falls out of use keeps a copy of the former last entry.
  EXPECT_EQ(list.Data[2].Name, "C");
  EXPECT_EQ(list.RemoveAt(2), E_INVALIDARG);
  EXPECT_EQ(Names(list), (std::vector<std::string>{"A", "C"}));
}

TEST(TableauTest, DuplicatesStayInInsertionOrder) {
  List list;
  Fill(list, {"Foo", "Foo", "Bar"});
  EXPECT_EQ(Names(list), (std::vector<std::string>{"Foo", "Foo", "Bar"}));
}

}  // namespace
