#include <cstdio>

#include "cli/commands.h"
#include "cli/exit_status.h"
#include "cli/library_files.h"

namespace cli {

namespace {

constexpr char kPascal[] = "_pascal";
constexpr char kStdcall[] = "_stdcall";

std::string ListLine(const TFonctionLib& entry) {
  std::string line = entry.Name;
  line += '\t';
  line += entry.IsPascal ? kPascal : kStdcall;
  line += '\t';
  line += IntToStr(entry.ArgLength);
  line += '\t';
  line += MicrosoftName(entry);
  line += '\t';
  line += BorlandName(entry);
  line += '\n';
  return line;
}

}  // namespace

int RunList(const ListArguments& arguments, const CoreMessages& messages) {
  TFichierLib lib;
  if (!ReadListFile(lib, arguments.file, arguments.asDef, messages)) return kExitFileError;
  for (std::uint32_t i = 0; i < lib.Fonctions.Count; ++i) {
    // Names are bytes and may hold any of them: written, not formatted.
    const std::string line = ListLine(lib.Fonctions.Item(i));
    std::fwrite(line.data(), 1, line.size(), stdout);
  }
  if (std::fflush(stdout) != 0) {
    std::perror("libmorph-cli: standard output");
    return kExitFileError;
  }
  return kExitOk;
}

}  // namespace cli
