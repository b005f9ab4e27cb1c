// The order in which names are sorted for the user: the collation of the
// user's locale, case-sensitive, letters before case ("_alpha" comes
// before "_Beta"), not an order of character codes.
//
// The locale is the first of LC_ALL, LC_COLLATE and LANG that is set and
// not empty. The C and POSIX locales, an empty one and one that has no
// collation of its own get the root collation, which every locale's
// collation is built on.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// The locale name the environment selects ("" when none is set).
std::string CollationLocaleFromEnvironment();

class Collation {
 public:
  // The collation of the environment's locale.
  Collation();
  // The collation of a POSIX locale name such as "fr_FR.UTF-8@euro".
  explicit Collation(const std::string& posixLocale);
  ~Collation();
  Collation(const Collation&) = delete;
  Collation& operator=(const Collation&) = delete;

  // The ICU locale in use ("root" for the root collation).
  const std::string& LocaleName() const { return localeName_; }

  // Appends the sort key of a Windows-1252 text, with its closing zero
  // byte. Keys compare with strcmp as the texts compare.
  void AppendSortKey(std::string_view ansi, std::string& keys) const;

  // Negative, zero or positive, as a comes before, with or after b.
  int Compare(std::string_view ansiA, std::string_view ansiB) const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
  std::string localeName_;
};

// The stable order of texts under a collation: order[k] is the index of
// the text at sorted position k; equal texts keep their index order.
std::vector<std::int32_t> CollationOrder(const std::vector<std::string>& ansiTexts,
                                         const Collation& collation);

}  // namespace platform
