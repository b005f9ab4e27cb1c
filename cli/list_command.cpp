#include <cstdio>

#include "cli/commands.h"
#include "cli/exit_status.h"
#include "cli/library_files.h"
#include "cli/warnings.h"

namespace cli {

namespace {

constexpr char kPascal[] = "_pascal";
constexpr char kStdcall[] = "_stdcall";

// What the loader will look up in the DLL. An entry without an export of
// its own gets the name the COFF writer makes for it.
std::string ImportColumn(const TFonctionLib& entry) {
  const ImportBinding& import = entry.Import;
  // An export without a name can only be reached by its ordinal.
  const bool byOrdinal = import.ByOrdinal || import.NoName;
  std::string text = byOrdinal ? "@" + std::to_string(import.Ordinal) : LookupName(entry);
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
  line += '\t';
  line += ImportColumn(entry);
  line += '\t';
  line += KindColumn(entry.Import.Kind);
  line += '\t';
  line += entry.Import.Dll;
  line += '\n';
  return line;
}

int RunList(const ListArguments& arguments) {
  TFichierLib lib;
  if (!ReadListFile(lib, arguments.file, arguments.asDef)) return kExitFileError;
  for (std::uint32_t i = 0; i < lib.Fonctions.Count; ++i) {
    // Names are bytes and may hold any of them: written, not formatted.
    const std::string line = ListLine(lib.Fonctions.Item(i));
    std::fwrite(line.data(), 1, line.size(), stdout);
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
