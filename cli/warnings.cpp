#include "cli/warnings.h"

#include <cstdarg>
#include <cstdio>

namespace cli {

namespace {

thread_local std::string* captured = nullptr;

constexpr char kEllipsis[] = "\u2026";

const char* Severity(bool asError) { return asError ? "error" : "warning"; }

void PrintLine(bool asError, std::size_t count, const char* singular, const char* plural,
               const std::vector<AnsiString>& names) {
  Print("libmorph-cli: %s: %zu %s: %s\n", Severity(asError), count,
               count == 1 ? singular : plural, NameListText(names).c_str());
}

}  // namespace

void Print(const char* format, ...) {
  va_list arguments;
  va_start(arguments, format);
  if (captured == nullptr) {
    std::vfprintf(stderr, format, arguments);
  } else {
    va_list again;
    va_copy(again, arguments);
    const int size = std::vsnprintf(nullptr, 0, format, again);
    va_end(again);
    if (size > 0) {
      const std::size_t at = captured->size();
      captured->resize(at + static_cast<std::size_t>(size) + 1);
      std::vsnprintf(captured->data() + at, static_cast<std::size_t>(size) + 1, format, arguments);
      captured->resize(at + static_cast<std::size_t>(size));
    }
  }
  va_end(arguments);
}

Capture::Capture() : previous_(captured) { captured = &text_; }

Capture::~Capture() { captured = previous_; }

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
  return true;
}

bool ReportLosses(const std::vector<FormLoss>& losses, bool asErrors) {
  for (const FormLoss& loss : losses) {
    switch (loss.Kind) {
      case LossKind::ArgumentLength:
        PrintLine(asErrors, loss.Names.size(),
                  "entry's argument length is not spelled by its export name and is lost",
                  "entries' argument lengths are not spelled by their export names and are lost",
                  loss.Names);
        break;
      case LossKind::DataImport:
        PrintLine(asErrors, loss.Names.size(), "data import would become code",
                  "data imports would become code", loss.Names);
        break;
      case LossKind::ExportName:
        PrintLine(asErrors, loss.Names.size(),
                  "entry's export name cannot be said in a .def file; its symbol is kept",
                  "entries' export names cannot be said in a .def file; their symbols are kept",
                  loss.Names);
        break;
      case LossKind::ConstImport:
        PrintLine(asErrors, loss.Names.size(), "constant import would become data",
                  "constant imports would become data", loss.Names);
        break;
      case LossKind::DelayLoad:
        PrintLine(asErrors, loss.Names.size(),
                  "delay-loaded import would be loaded with the program (link with /DELAYLOAD, or --to gnu)",
                  "delay-loaded imports would be loaded with the program (link with /DELAYLOAD, or --to gnu)",
                  loss.Names);
        break;
      default:
        PrintLine(asErrors, loss.Names.size(), "entry loses part of its import",
                  "entries lose part of their imports", loss.Names);
        break;
    }
  }
  return !losses.empty();
}

void WarnLengthDisagreements(const std::vector<AnsiString>& names) {
  if (names.empty()) return;
  PrintLine(false, names.size(),
            "entry's argument length differs from the one its export name spells (kept)",
            "entries' argument lengths differ from the ones their export names spell (kept)",
            names);
}

void WarnLeftOut(const std::string& fileName, const std::vector<std::string>& modules) {
  if (modules.empty()) return;
  const std::vector<AnsiString> names(modules.begin(), modules.end());
  Print("libmorph-cli: warning: %s: %zu %s: %s\n", fileName.c_str(),
               modules.size(),
               modules.size() == 1 ? "object module that is not an import was left out"
                                   : "object modules that are not imports were left out",
               NameListText(names).c_str());
}

void WarnGuessed(const AnsiString& name) {
  Print("libmorph-cli: warning: %s: convention guessed, check it\n", name.c_str());
}

}  // namespace cli
