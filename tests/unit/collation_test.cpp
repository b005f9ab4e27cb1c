// The collation that orders the library's symbols.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "platform/collation.h"

namespace {

using platform::Collation;
using platform::CollationOrder;

std::vector<std::string> Sorted(std::vector<std::string> texts, const Collation& collation) {
  std::vector<std::string> out;
  for (std::int32_t i : CollationOrder(texts, collation)) out.push_back(texts[static_cast<std::size_t>(i)]);
  return out;
}

TEST(CollationTest, LettersComeBeforeCaseInEveryLocale) {
  for (const char* locale : {"", "C", "POSIX", "C.UTF-8", "en_US.UTF-8", "fr_FR.UTF-8@euro",
                             "de_DE", "xx_YY", "sv_SE.UTF-8"}) {
    SCOPED_TRACE(locale);
    const Collation collation(locale);
    EXPECT_EQ(Sorted({"_Beta", "_alpha"}, collation), (std::vector<std::string>{"_alpha", "_Beta"}));
    // Case still counts: the two differ, lower case first.
    EXPECT_LT(collation.Compare("_a", "_A"), 0);
    EXPECT_LT(collation.Compare("_A", "_b"), 0);
  }
}

TEST(CollationTest, PlainAndUnknownLocalesUseTheRootCollation) {
  for (const char* locale : {"", "C", "POSIX", "C.UTF-8", "xx_YY.UTF-8"})
    EXPECT_EQ(Collation(locale).LocaleName(), "root") << locale;
  EXPECT_EQ(Collation("fr_FR.UTF-8@euro").LocaleName(), "fr_FR");
}

TEST(CollationTest, NamesAreWindows1252AndTheLocaleDecides) {
  // "été" in Windows-1252: an accent weighs less than a letter.
  EXPECT_EQ(Sorted({"_f", "_\xE9t\xE9", "_ete"}, Collation("C")),
            (std::vector<std::string>{"_ete", "_\xE9t\xE9", "_f"}));
  // "ä" is a letter of its own after "z" in Swedish, an "a" elsewhere.
  EXPECT_EQ(Sorted({"_z", "_\xE4"}, Collation("C")), (std::vector<std::string>{"_\xE4", "_z"}));
  EXPECT_EQ(Sorted({"_z", "_\xE4"}, Collation("sv_SE.UTF-8")),
            (std::vector<std::string>{"_z", "_\xE4"}));
}

class EnvironmentGuard {
 public:
  EnvironmentGuard() {
    for (const char* v : kVariables) {
      const char* value = getenv(v);
      saved_.push_back(value ? std::optional<std::string>(value) : std::nullopt);
    }
  }
  ~EnvironmentGuard() {
    for (std::size_t i = 0; i < saved_.size(); ++i) {
      if (saved_[i]) setenv(kVariables[i], saved_[i]->c_str(), 1);
      else unsetenv(kVariables[i]);
    }
  }

 private:
  static constexpr const char* kVariables[] = {"LC_ALL", "LC_COLLATE", "LANG"};
  std::vector<std::optional<std::string>> saved_;
};

TEST(CollationTest, TheLocaleComesFromLcAllThenLcCollateThenLang) {
  EnvironmentGuard guard;
  setenv("LC_ALL", "", 1);
  setenv("LC_COLLATE", "sv_SE.UTF-8", 1);
  setenv("LANG", "fr_FR.UTF-8", 1);
  EXPECT_EQ(platform::CollationLocaleFromEnvironment(), "sv_SE.UTF-8");
  EXPECT_EQ(Collation().LocaleName(), "sv_SE");
  setenv("LC_ALL", "de_DE.UTF-8", 1);
  EXPECT_EQ(platform::CollationLocaleFromEnvironment(), "de_DE.UTF-8");
  unsetenv("LC_ALL");
  unsetenv("LC_COLLATE");
  EXPECT_EQ(platform::CollationLocaleFromEnvironment(), "fr_FR.UTF-8");
  unsetenv("LANG");
  EXPECT_EQ(Collation().LocaleName(), "root");
}

// The block sort of keys must give exactly the order of a stable sort by
// pairwise comparison, on names with long shared beginnings, duplicates and
// names that are beginnings of others.
TEST(CollationTest, OrderIsAStableSortByComparison) {
  std::mt19937 random(12345);
  const std::vector<std::string> stems = {"_GetWindowTextLength", "_GetWindowText", "_a", "_A",
                                          "_Function000", "_\xC9t\xE9", "_"};
  std::vector<std::string> texts;
  for (int i = 0; i < 3000; ++i) {
    std::string s = stems[random() % stems.size()];
    if (random() % 3) s += std::to_string(random() % 50);
    if (random() % 4 == 0) s += "@" + std::to_string(4 * (random() % 4));
    texts.push_back(s);
  }
  const Collation collation("en_US.UTF-8");
  std::vector<std::int32_t> expected(texts.size());
  for (std::size_t i = 0; i < texts.size(); ++i) expected[i] = static_cast<std::int32_t>(i);
  std::stable_sort(expected.begin(), expected.end(), [&](std::int32_t a, std::int32_t b) {
    return collation.Compare(texts[static_cast<std::size_t>(a)], texts[static_cast<std::size_t>(b)]) < 0;
  });
  EXPECT_EQ(CollationOrder(texts, collation), expected);
}

}  // namespace
