#include <cstdio>

#include "cli/commands.h"
#include "cli/exit_status.h"
#include "cli/library_files.h"
#include "cli/overrides.h"
#include "cli/warnings.h"

namespace cli {

namespace {

// The files first, in the order given, a later one winning over an
// earlier one; then the names given one by one, which win over the files.
bool GatherConventions(const ConvertArguments& arguments, const ConventionTable& overrides,
                       const CoreMessages& messages, ConventionTable& table) {
  for (const std::string& file : arguments.conventionFiles) {
    TFichierLib source;
    if (!ReadConventionsFile(source, file, messages)) return false;
    table.SetAll(source.Fonctions);
  }
  for (const TFonctionLib& entry : overrides.Entries()) table.Set(entry);
  return true;
}

}  // namespace

int RunConvert(const ConvertArguments& arguments, const CoreMessages& messages) {
  // Wrong values are a usage error, found before any file is touched.
  const ConventionTable overrides = ParseOverrides(arguments.pascal, arguments.stdcall);

  TFichierLib lib;
  if (!ReadListFile(lib, arguments.input, arguments.asDef, messages)) return kExitFileError;

  // Without any source this is a plain change of format: nothing to apply
  // and nothing to warn about.
  if (!arguments.conventionFiles.empty() || !overrides.Empty()) {
    ConventionTable table;
    if (!GatherConventions(arguments, overrides, messages, table)) return kExitFileError;
    const ConventionReport report = ApplyConventions(lib.Fonctions, table);
    if (ReportUnmatched(report, arguments.strict) && arguments.strict) {
      std::fprintf(stderr, "libmorph-cli: %s not written (--strict)\n", arguments.output.c_str());
      return kExitFileError;
    }
  }

  return WriteListFile(lib, arguments.output) ? kExitOk : kExitFileError;
}

}  // namespace cli
