// The program under the names of the librarians build systems call:
// `dlltool` (GNU's and LLVM's options) and `lib` (llvm-lib's), by
// subcommand or by the name it was started under. Each takes the whole
// command line after its name and answers the exit status.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "def/def.h"
#include "files/fichier_lib.h"
#include "model/export_list.h"
#include "model/machine.h"

namespace cli {

enum class Personality { Own, Dlltool, Lib };

struct ProgramName {
  Personality personality = Personality::Own;
  // The machine a target prefix names ("x86_64-w64-mingw32-dlltool").
  std::optional<Machine> machine;
  // A prefix of a target this program writes no library for ("armv7-"):
  // without -m that is a refusal, not a silent x64 library.
  std::string unsupportedTarget;
};

// What argv[0] asks for: a name ending in "dlltool", with or without a
// target prefix; "lib" or "llvm-lib"; ".exe" and letter case aside.
ProgramName PersonalityOf(std::string_view argv0);

// The arguments with every "@file" replaced by the words of that file, as
// GNU's tools split them: blanks separate, single and double quotes group,
// a backslash takes the next character as it is (when backslashes is
// false, as Windows' tools read a response file, it is an ordinary
// character). A file that cannot be read stays an argument, as GNU's do.
std::vector<std::string> ExpandResponseFiles(const std::vector<std::string>& arguments, bool backslashes);

// Builds that compare bytes get the same ones on every run, as LLVM's
// librarians write them: time stamps 0, unless SOURCE_DATE_EPOCH says
// otherwise.
void UseZeroTimeStamps();

// The list and every import of it come from dll (-D, /name:).
void SetDll(ExportList& list, const std::string& dll);
// Whether the list or any import names its DLL (a .def's LIBRARY line does).
bool NamesADll(ExportList& list);

// How a .def's names become 32-bit Intel symbols and lookups: as
// llvm-dlltool -k reads them, as llvm-dlltool without -k, or as llvm-lib
// (def::NameRules).
using DefRules = def::NameRules;
// The list the .def reader read as 32-bit Intel's, read again by the rules;
// underscores false: no '_' is put before any name (--no-leading-underscore).
void ReadAs32BitIntel(TFichierLib& lib, const std::string& defFile, DefRules rules, bool underscores);

int RunDlltool(const std::vector<std::string>& arguments, const ProgramName& name);
int RunLib(const std::vector<std::string>& arguments);

}  // namespace cli
