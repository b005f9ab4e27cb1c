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

TEST(TableauTest, NewListHasNoStorageAndGrowsByDoubling) {
  List list;
  EXPECT_EQ(list.Count, 0u);
  EXPECT_EQ(list.Capacity, 0u);
  EXPECT_EQ(list.Data, nullptr);
  EXPECT_EQ(list.Delta, 10u);

  struct Step {
    std::uint32_t index, capacity, count;
  };
  // The first access gives the growth step, then the storage doubles; an
  // access far beyond the end jumps to the index plus the growth step.
  for (Step s : {Step{0, 10, 1}, Step{9, 10, 10}, Step{10, 20, 11}, Step{2, 20, 11},
                 Step{45, 55, 46}, Step{55, 110, 56}}) {
    list.Item(s.index);
    EXPECT_EQ(list.Capacity, s.capacity) << "after Item(" << s.index << ")";
    EXPECT_EQ(list.Count, s.count) << "after Item(" << s.index << ")";
  }
}

TEST(TableauTest, DeltaIsAThirdOfTheInitialCapacityButAtLeastTen) {
  EXPECT_EQ(List(0).Delta, 10u);
  EXPECT_EQ(List(29).Delta, 10u);
  EXPECT_EQ(List(90).Delta, 30u);
  List sized(90);
  EXPECT_EQ(sized.Capacity, 90u);
  EXPECT_EQ(sized.Count, 0u);
}

TEST(TableauTest, GrowthKeepsEntriesAndFreshSlotsAreEmpty) {
  List list;
  Fill(list, {"A", "B", "C"});
  list.Item(45);
  EXPECT_EQ(list.Item(0).Name, "A");
  EXPECT_EQ(list.Item(2).Name, "C");
  for (std::uint32_t i = 3; i < 46; ++i) {
    EXPECT_EQ(list.Item(i).Name, "");
    EXPECT_EQ(list.Item(i).ArgLength, 0);
    EXPECT_FALSE(list.Item(i).IsPascal);
  }
}

TEST(TableauTest, ClearKeepsStaleSlotsThatItemHandsBack) {
  List list;
  list.Item(0) = Entry("Old", 12, true);
  list.Item(1) = Entry("Other", 4, false);
  list.Clear();
  EXPECT_EQ(list.Count, 0u);
  EXPECT_EQ(list.Capacity, 10u);
  EXPECT_EQ(list.Item(0), Entry("Old", 12, true));
  EXPECT_EQ(list.Count, 1u);
}

TEST(TableauTest, ResetReplacesStorage) {
  List list;
  for (std::uint32_t i = 0; i < 25; ++i) list.Item(i) = Entry("X", 1, true);
  ASSERT_EQ(list.Capacity, 40u);

  EXPECT_EQ(list.Reset(10), 0);
  EXPECT_EQ(list.Count, 0u);
  EXPECT_EQ(list.Capacity, 10u);
  EXPECT_EQ(list.Item(0).Name, "");  // fresh, not the old "X"

  EXPECT_EQ(list.Reset(3), 0);
  EXPECT_EQ(list.Capacity, 10u);  // never below the growth step

  EXPECT_EQ(list.Reset(0), E_INVALIDARG);
  EXPECT_EQ(list.Capacity, 0u);
  EXPECT_EQ(list.Data, nullptr);
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

TEST(TableauTest, InsertIntoFullStorageGrowsFirst) {
  List list;
  Fill(list, {"0", "1", "2", "3", "4", "5", "6", "7", "8", "9"});
  ASSERT_EQ(list.Capacity, 10u);
  list.Insert(3, Entry("new", 0, true));
  EXPECT_EQ(list.Capacity, 20u);
  EXPECT_EQ(Names(list),
            (std::vector<std::string>{"0", "1", "2", "new", "3", "4", "5", "6", "7", "8", "9"}));
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

TEST(TableauTest, HooksRunOnReleaseAndInit) {
  static int released;
  static int initialised;
  released = initialised = 0;
  List list;
  list.OnRelease = [](TFonctionLib*) { ++released; };
  list.OnInit = [](TFonctionLib* e) {
    ++initialised;
    e->Name = "init";
  };
  list.Reset(10);
  EXPECT_EQ(initialised, 10);
  list.Item(0);
  list.Item(1);
  list.RemoveAt(0);
  EXPECT_EQ(released, 1);
  list.Clear();
  EXPECT_EQ(released, 2);
}

TEST(TableauTest, DuplicatesStayInInsertionOrder) {
  List list;
  Fill(list, {"Foo", "Foo", "Bar"});
  EXPECT_EQ(Names(list), (std::vector<std::string>{"Foo", "Foo", "Bar"}));
}

}  // namespace
