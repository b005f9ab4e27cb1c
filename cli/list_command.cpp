#include <cstdio>

#include "cli/commands.h"
#include "cli/exit_status.h"
#include "cli/library_files.h"
#include "cli/warnings.h"
#include "model/hybrid_views.h"
#include "model/machine.h"

namespace cli {

namespace {

constexpr char kPascal[] = "_pascal";
constexpr char kStdcall[] = "_stdcall";

// What the loader will look up in the DLL. An entry without an export of
// its own gets the name the COFF writer makes for it.
std::string ImportColumn(const TFonctionLib& entry, Machine machine) {
  const ImportBinding& import = entry.Import;
  // An export without a name can only be reached by its ordinal.
  const bool byOrdinal = import.ByOrdinal || import.NoName;
  std::string text = byOrdinal ? "@" + std::to_string(import.Ordinal) : LookupName(entry, machine);
  if (import.NoName) text += " NONAME";
  return text;
}

const char* KindColumn(ImportKind kind) {
  switch (kind) {
    case ImportKind::Data: return "data";
    case ImportKind::Const: return "const";
    case ImportKind::Code: break;
  }
  return "code";
}

}  // namespace

std::string ListLine(const TFonctionLib& entry, Machine machine) {
  std::string line;
  AppendListLine(entry, machine, line);
  return line;
}

void AppendListLine(const TFonctionLib& entry, Machine machine, std::string& line) {
  line += entry.Name;
  line += '\t';
  line += entry.IsPascal ? kPascal : kStdcall;
  line += '\t';
  line += IntToStr(entry.ArgLength);
  line += '\t';
  line += MicrosoftName(entry, machine);
  line += '\t';
  line += BorlandName(entry, machine);
  line += '\t';
  line += ImportColumn(entry, machine);
  line += '\t';
  line += entry.Import.Delayed ? "delayed" : KindColumn(entry.Import.Kind);
  line += '\t';
  line += entry.Import.Dll;
  // A hybrid list says which clients import each entry.
  if (machine == Machine::Arm64x) {
    line += '\t';
    line += ViewWord(entry.Import.View);
  }
  line += '\n';
}

int RunList(const ListArguments& arguments) {
  TFichierLib lib;
  if (!ReadListFile(lib, arguments.file, arguments.asDef)) return kExitFileError;
  // The columns stay those of every list; a machine other than 32-bit
  // Intel is said beside them, before the list.
  if (!Decorates(lib.SourceMachine)) {
    std::fprintf(stderr, "libmorph-cli: %s: imports for %s\n", arguments.file.c_str(),
                 MachineName(lib.SourceMachine).c_str());
    std::fflush(stderr);
  }
  // Names are bytes and may hold any of them: written, not formatted, a
  // batch of lines at a time.
  constexpr std::size_t kBatch = 1 << 16;
  std::string lines;
  lines.reserve(2 * kBatch);
  for (std::uint32_t i = 0; i < lib.Fonctions.Count; ++i) {
    AppendListLine(lib.Fonctions.Item(i), lib.SourceMachine, lines);
    if (lines.size() >= kBatch || i + 1 == lib.Fonctions.Count) {
      std::fwrite(lines.data(), 1, lines.size(), stdout);
      lines.clear();
    }
  }
  if (std::fflush(stdout) != 0) {
    std::perror("libmorph-cli: standard output");
    return kExitFileError;
  }
  if (lib.CodePacked && !GuessedNames(lib.Fonctions).empty())
    std::fprintf(stderr, "libmorph-cli: warning: %s: the code is packed: conventions cannot be checked\n",
                 arguments.file.c_str());
  for (std::uint32_t i = 0; i < lib.Fonctions.Count; ++i)
    if (lib.Fonctions.Item(i).Unsure) WarnGuessed(lib.Fonctions.Item(i).Name);
  return kExitOk;
}

}  // namespace cli
