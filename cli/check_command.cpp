// libmorph-cli check: what the loader will make of each import of a
// library, against the DLLs it imports from.
#include <cstdio>
#include <map>
#include <utility>

#include <nlohmann/json.hpp>

#include "check/library_check.h"
#include "cli/commands.h"
#include "cli/exit_status.h"
#include "cli/library_files.h"
#include "files/file_kind.h"
#include "model/hybrid_views.h"

namespace cli {

namespace {

// Findings checked by exit status 1 once printed.
constexpr int kExitFindings = 1;

// Past this many findings of one kind for one DLL, the text says them in
// one line: a library made for the wrong DLL gives one per import.
constexpr std::size_t kOneLineAbove = 20;
// The names that line gives.
constexpr std::size_t kNamesShown = 10;

void Write(const std::string& text) { std::fwrite(text.data(), 1, text.size(), stdout); }

// Tabs and line feeds inside a name would break the line for tools.
std::string Field(std::string text) {
  for (char& c : text)
    if (c == '\t' || c == '\n' || c == '\r') c = ' ';
  return text;
}

std::string Plural(std::uint32_t n, const char* one, const char* many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}

std::string Summary(const check::Report& r) {
  using check::Problem;
  std::string text = Plural(r.Imports, "import", "imports") + ", " + std::to_string(r.Bound) + " bind; " +
                     std::to_string(r.Count(Problem::NotExported)) + " do not bind, " +
                     std::to_string(r.Count(Problem::OtherFunction)) + " bind to another function, " +
                     std::to_string(r.Count(Problem::WrongDll)) + " wrong DLL, " +
                     std::to_string(r.Count(Problem::CodeOrData)) + " code or data, " +
                     Plural(r.Count(Problem::StackMismatch), "stack mismatch", "stack mismatches") + "; " +
                     std::to_string(r.Count(Problem::Forwarded)) + " forwarded; conventions checked for " +
                     std::to_string(r.StackChecked);
  if (r.StackUnknown != 0) text += ", not told by the code for " + std::to_string(r.StackUnknown);
  if (const std::uint32_t n = r.Count(Problem::WrongMachine); n != 0)
    text += "; " + Plural(n, "DLL", "DLLs") + " of another machine";
  return text + "\n";
}

// What each finding of a kind says, for the line that sums them up.
const char* ManyOf(check::Problem problem) {
  using check::Problem;
  switch (problem) {
    case Problem::NotExported: return "imports do not bind";
    case Problem::OtherFunction: return "imports bind to another function";
    case Problem::WrongDll: return "imports name this DLL, which none of the DLLs given is (wrong DLL)";
    case Problem::CodeOrData: return "imports take code for data or data for code";
    case Problem::StackMismatch: return "stack mismatches";
    case Problem::Forwarded: return "imports are forwarded";
    default: return "findings";
  }
}

std::string Lookup(const check::Finding& f) {
  return f.ByOrdinal ? "@" + std::to_string(f.Ordinal) : f.Asked;
}

void WriteText(const std::string& library, const check::Report& report) {
  const std::string prefix = "libmorph-cli: " + library + ": ";
  std::map<std::pair<check::Problem, std::string>, std::vector<const check::Finding*>> kinds;
  for (const check::Finding& f : report.Findings)
    if (f.Entry != check::kNoEntry) kinds[{f.What, f.Dll}].push_back(&f);
  for (const check::Finding& f : report.Findings) {
    if (f.Entry == check::kNoEntry) {
      Write(prefix + check::Describe(f) + "\n");
      continue;
    }
    const std::vector<const check::Finding*>& same = kinds[{f.What, f.Dll}];
    if (same.size() <= kOneLineAbove) {
      Write(prefix + f.Symbol + ": " + check::Describe(f) + "\n");
      continue;
    }
    if (same.front() != &f) continue;  // said with the first
    std::string line = prefix + f.Dll + ": " + std::to_string(same.size()) + " " + ManyOf(f.What) + ": ";
    for (std::size_t i = 0; i < kNamesShown; ++i) line += same[i]->Symbol + ", ";
    Write(line + "… (--format tsv or json lists each)\n");
  }
  Write(prefix + Summary(report));
}

void WriteTsv(const check::Report& report) {
  Write("finding\tsymbol\tdll\tlookup\tmessage\n");
  for (const check::Finding& f : report.Findings) {
    const std::string lookup = f.Entry == check::kNoEntry ? std::string() : Lookup(f);
    Write(std::string(check::ProblemKeyword(f.What)) + "\t" + Field(f.Symbol) + "\t" + Field(f.Dll) + "\t" +
          Field(lookup) + "\t" + Field(check::Describe(f)) + "\n");
  }
}

nlohmann::ordered_json FindingJson(const check::Finding& f) {
  using check::Problem;
  nlohmann::ordered_json j;
  j["finding"] = check::ProblemKeyword(f.What);
  j["failing"] = !check::IsInformative(f.What);
  const bool aboutEntry = f.Entry != check::kNoEntry;
  j["symbol"] = aboutEntry ? nlohmann::ordered_json(f.Symbol) : nullptr;
  j["dll"] = f.Dll;
  j["lookup"] = aboutEntry ? nlohmann::ordered_json(Lookup(f)) : nullptr;
  j["message"] = check::Describe(f);
  if (f.View != HybridView::Both) j["view"] = std::string(ViewWord(f.View));
  switch (f.What) {
    case Problem::NotExported:
    case Problem::OtherFunction:
    case Problem::Forwarded:
      if (!f.Other.empty()) j["other"] = f.Other;
      break;
    case Problem::StackMismatch:
      j["client_bytes"] = f.ClientBytes;
      j["function_bytes"] = f.CodeBytes;
      j["told_by"] = f.Source == check::StackSource::Code ? "code" : "export-name";
      if (f.Source == check::StackSource::ExportName) j["other"] = f.Other;
      break;
    case Problem::WrongMachine:
      j["library_machine"] = MachineName(f.LibraryMachine);
      j["dll_machine"] = MachineName(f.DllMachine);
      break;
    case Problem::NotImported:
      j["count"] = f.Count;
      j["names"] = f.Names;
      break;
    default: break;
  }
  return j;
}

void WriteJson(const CheckArguments& arguments, const check::Report& report) {
  using check::Problem;
  nlohmann::ordered_json doc;
  doc["library"] = arguments.library;
  doc["dlls"] = arguments.dlls;
  nlohmann::ordered_json& summary = doc["summary"];
  summary["passed"] = report.Passed(arguments.strict);
  summary["imports"] = report.Imports;
  summary["bound"] = report.Bound;
  summary["conventions_checked"] = report.StackChecked;
  summary["conventions_unknown"] = report.StackUnknown;
  nlohmann::ordered_json& counts = summary["counts"];
  for (Problem p : {Problem::NotExported, Problem::OtherFunction, Problem::WrongDll, Problem::CodeOrData,
                    Problem::StackMismatch, Problem::WrongMachine, Problem::Forwarded, Problem::PackedCode,
                    Problem::NotImported})
    counts[check::ProblemKeyword(p)] = report.Count(p);
  nlohmann::ordered_json& findings = doc["findings"] = nlohmann::ordered_json::array();
  for (const check::Finding& f : report.Findings) findings.push_back(FindingJson(f));
  // Names are bytes: one that is not UTF-8 (a legacy code page) has each
  // such byte written as U+FFFD, so that the document stays valid JSON;
  // --format tsv keeps the bytes.
  Write(doc.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace) + "\n");
}

}  // namespace

int RunCheck(const CheckArguments& arguments) {
  TFichierLib lib;
  FileKind kind = FileKind::Unknown;
  if (arguments.asDef) {
    if (!ReadListFile(lib, arguments.library, true)) return kExitFileError;
    kind = FileKind::DefinitionText;
  } else {
    if (!ReadListFile(lib, arguments.library, false)) return kExitFileError;
    DetectFileKind(arguments.library, kind);
  }

  std::vector<check::Dll> dlls(arguments.dlls.size());
  for (std::size_t i = 0; i < dlls.size(); ++i) {
    if (Outcome o = dlls[i].Open(arguments.dlls[i]); !o) {
      ReportFileError(arguments.dlls[i], Describe(o));
      return kExitFileError;
    }
  }

  check::Options options;
  // An OMF library or an old list of names gives a _pascal function
  // without its argument length.
  options.ArgLengthsKnown = kind != FileKind::OmfLibrary && kind != FileKind::DefinitionText;
  options.ListMachine = lib.SourceMachine;
  const check::Report report = check::Check(lib.Fonctions, dlls, options);

  if (arguments.format == "tsv")
    WriteTsv(report);
  else if (arguments.format == "json")
    WriteJson(arguments, report);
  else
    WriteText(arguments.library, report);
  if (std::fflush(stdout) != 0) {
    std::perror("libmorph-cli: standard output");
    return kExitFileError;
  }
  return report.Passed(arguments.strict) ? kExitOk : kExitFindings;
}

}  // namespace cli
