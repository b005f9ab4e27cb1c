#include "cli/warnings.h"

#include <cstdio>

namespace cli {

namespace {

constexpr char kEllipsis[] = "\u2026";

void PrintLine(bool asError, std::size_t count, const char* singular, const char* plural,
               const std::vector<AnsiString>& names) {
  std::fprintf(stderr, "libmorph-cli: %s: %zu %s: %s\n", asError ? "error" : "warning", count,
               count == 1 ? singular : plural, NameListText(names).c_str());
}

}  // namespace

std::string NameListText(const std::vector<AnsiString>& names) {
  std::string text;
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (i > 0) text += ", ";
    if (i == kNamesShown) {
      text += kEllipsis;
      break;
    }
    text += names[i];
  }
  return text;
}

bool ReportUnmatched(const ConventionReport& report, bool asErrors) {
  if (!report.UnmatchedEntries.empty())
    PrintLine(asErrors, report.UnmatchedEntries.size(),
              "entry is named by no conventions source and keeps its convention",
              "entries are named by no conventions source and keep their conventions",
              report.UnmatchedEntries);
  if (!report.UnusedNames.empty())
    PrintLine(asErrors, report.UnusedNames.size(), "name given matches no entry",
              "names given match no entry", report.UnusedNames);
  std::fflush(stderr);
  return !report.UnmatchedEntries.empty() || !report.UnusedNames.empty();
}

}  // namespace cli
