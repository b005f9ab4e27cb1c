#include <gtest/gtest.h>

#include "tests/support/test_files.h"

namespace {

struct DecorationCase {
  const char* name;
  std::int32_t argLength;
  bool isPascal;
  const char* microsoft;
  const char* borland;
};

void PrintTo(const DecorationCase& c, std::ostream* os) { *os << c.microsoft; }

class DecorationTest : public ::testing::TestWithParam<DecorationCase> {};

TEST_P(DecorationTest, GivesBothSymbols) {
  const DecorationCase& c = GetParam();
  TFonctionLib e = Entry(c.name, c.argLength, c.isPascal);
  EXPECT_EQ(MicrosoftName(e), c.microsoft);
  EXPECT_EQ(BorlandName(e), c.borland);
}

INSTANTIATE_TEST_SUITE_P(
    Table, DecorationTest,
    ::testing::Values(DecorationCase{"Foo", 12, true, "_Foo@12", "Foo"},
                      DecorationCase{"Foo", 12, false, "_Foo", "_Foo"},
                      DecorationCase{"Foo", 0, true, "_Foo@0", "Foo"},
                      DecorationCase{"Foo", -4, true, "_Foo@-4", "Foo"},
                      DecorationCase{"", 0, true, "_@0", ""},
                      DecorationCase{"", 0, false, "_", "_"},
                      DecorationCase{"_Foo", 0, false, "__Foo", "__Foo"},
                      DecorationCase{"a@b", 8, true, "_a@b@8", "a@b"},
                      DecorationCase{"Foo", -2147483647 - 1, true, "_Foo@-2147483648", "Foo"}));

}  // namespace
