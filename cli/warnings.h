// What a conversion reports about names that matched nothing: a warning,
// or under --strict an error.
#pragma once

#include <string>
#include <vector>

#include "model/conventions.h"

namespace cli {

// At most this many names are spelled out; "…" stands for the rest.
inline constexpr std::size_t kNamesShown = 20;

// "A, B, C", cut after kNamesShown names with ", …". Names are their bytes.
std::string NameListText(const std::vector<AnsiString>& names);

// Prints one line on stderr for each side of the report that is not
// empty, as warnings or, when asErrors, as errors. Answers whether
// anything was printed.
bool ReportUnmatched(const ConventionReport& report, bool asErrors);

}  // namespace cli
