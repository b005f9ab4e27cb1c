#include "cli/warnings.h"

#include <cstdio>

namespace cli {

namespace {

constexpr char kEllipsis[] = "\u2026";

const char* Severity(bool asError) { return asError ? "error" : "warning"; }

void PrintLine(bool asError, std::size_t count, const char* singular, const char* plural,
               const std::vector<AnsiString>& names) {
  std::fprintf(stderr, "libmorph-cli: %s: %zu %s: %s\n", Severity(asError), count,
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

std::vector<AnsiString> GuessedNames(TTableau<TFonctionLib>& list) {
  std::vector<AnsiString> names;
  for (std::uint32_t i = 0; i < list.Count; ++i)
    if (list.Item(i).Unsure) names.push_back(list.Item(i).Name);
  return names;
}

bool ReportGuessed(const std::vector<AnsiString>& names, bool asErrors) {
  if (names.empty()) return false;
  PrintLine(asErrors, names.size(), "entry's convention guessed, check it",
            "entries' conventions guessed, check them", names);
  std::fflush(stderr);
  return true;
}

void WarnGuessed(const AnsiString& name) {
  std::fprintf(stderr, "libmorph-cli: warning: %s: convention guessed, check it\n", name.c_str());
  std::fflush(stderr);
}

}  // namespace cli
