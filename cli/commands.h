// The two commands, once their arguments are parsed. Each answers the
// program's exit status (cli/exit_status.h).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "model/fonction_lib.h"
#include "model/machine.h"

namespace cli {

struct ListArguments {
  std::string file;
  bool asDef = false;
};

struct ConvertArguments {
  // As parsed: INPUT OUTPUT, or with outDir every input (an "@FILE" names
  // a file of inputs, one per line).
  std::vector<std::string> files;
  std::string outDir;
  std::string input;
  std::string output;
  bool asDef = false;
  std::string to;  // "coff", "omf", "def"; empty: by OUTPUT's name
  std::vector<std::string> conventionFiles;
  std::vector<std::string> pascal;   // NAME=BYTES
  std::vector<std::string> stdcall;  // NAME
  bool strict = false;
  std::string machine;  // "i386", "x64", "arm64", "arm64ec", "arm64x"; empty: INPUT's own
  // Writing a library: the .def file of an ARM64X library's ARM64 view
  // (INPUT gives the ARM64EC one). Writing a .def file: where an ARM64X
  // list's ARM64 view goes.
  std::string nativeDef;
  bool delay = false;  // a delay-load library (GNU form)
};

struct CheckArguments {
  std::string library;
  std::vector<std::string> dlls;
  bool asDef = false;
  std::string format = "text";  // "text", "tsv" or "json"
  bool strict = false;
};

// One line of the listing, line feed included: Name, convention,
// ArgLength, Microsoft symbol, Borland symbol, what the loader looks up
// ("@N" and " NONAME" for an import by ordinal), the import's kind, the
// DLL (empty when the entry names none), separated by tabs.
// The symbols are those of the list's machine (0: 32-bit Intel).
std::string ListLine(const TFonctionLib& entry, Machine machine = Machine::Unknown);
// The same line, appended to line.
void AppendListLine(const TFonctionLib& entry, Machine machine, std::string& line);

// Prints the listing, then one warning per entry whose convention was
// guessed.
int RunList(const ListArguments& arguments);

// Raises UsageError for --pascal or --stdcall values that are wrong, or
// for a wrong count of files. With an outDir, RunBatch.
int RunConvert(const ConvertArguments& arguments);

// Converts every input into outDir, each output named after its input,
// across the machine's cores (LIBMORPH_THREADS sets how many threads).
int RunBatch(const ConvertArguments& arguments);
// What convert --help says of it.
const char* BatchHelp();

// Prints one line per finding and a summary (or a table under --format
// tsv); kExitOk when every import binds to the function it names and no
// stack mismatch was found, 1 otherwise (under --strict, also for the
// informative findings).
int RunCheck(const CheckArguments& arguments);

}  // namespace cli
