// libmorph-cli check: what the loader will make of each import of a
// library, against the DLLs it imports from.
#include <cstdio>

#include "check/library_check.h"
#include "cli/commands.h"
#include "cli/exit_status.h"
#include "cli/library_files.h"
#include "files/file_kind.h"

namespace cli {

namespace {

// Findings checked by exit status 1 once printed.
constexpr int kExitFindings = 1;

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
  return text + "\n";
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
  options.Machine = lib.SourceMachine;
  const check::Report report = check::Check(lib.Fonctions, dlls, options);

  if (arguments.format == "tsv") {
    Write("finding\tsymbol\tdll\tlookup\tmessage\n");
    for (const check::Finding& f : report.Findings) {
      const std::string lookup = f.Entry == check::kNoEntry ? std::string()
                                 : f.ByOrdinal              ? "@" + std::to_string(f.Ordinal)
                                                            : f.Asked;
      Write(std::string(check::ProblemKeyword(f.What)) + "\t" + Field(f.Symbol) + "\t" + Field(f.Dll) + "\t" +
            Field(lookup) + "\t" + Field(check::Describe(f)) + "\n");
    }
  } else {
    const std::string prefix = "libmorph-cli: " + arguments.library + ": ";
    for (const check::Finding& f : report.Findings)
      Write(prefix + (f.Entry == check::kNoEntry ? "" : f.Symbol + ": ") + check::Describe(f) + "\n");
    Write(prefix + Summary(report));
  }
  if (std::fflush(stdout) != 0) {
    std::perror("libmorph-cli: standard output");
    return kExitFileError;
  }
  return report.Passed(arguments.strict) ? kExitOk : kExitFindings;
}

}  // namespace cli
