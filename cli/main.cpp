// libmorph-cli: the import library conversions of Libmorph for scripts
// and build systems. Argument parsing only; the work is in commands.
#include <CLI/CLI.hpp>

#include <algorithm>
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/dropin.h"
#include "cli/exit_status.h"
#include "cli/overrides.h"
#include "model/machine.h"
#include "platform/command_line.h"

namespace {

// The machines --machine names: every one a library can be written for.
std::vector<std::string> MachineWords() {
  std::vector<std::string> words;
  for (const MachineFacts& facts : KnownMachines()) words.emplace_back(facts.word);
  return words;
}

constexpr char kProgram[] = "libmorph-cli";

constexpr char kListSummary[] = "Print the export list of a library, DLL or .def file";
constexpr char kListFooter[] =
    "Prints the export list of FILE, one entry per line, separated by tabs: Name, convention "
    "(_pascal or _stdcall), argument length, Microsoft symbol, Borland symbol, what the loader "
    "looks up in the DLL (the export name, or @N for an import by ordinal, followed by NONAME "
    "when the export has no name), the kind of import (code, data or const), and the DLL when "
    "the entry names one; for a hybrid ARM64X list, last, the view whose clients import it (arm64, "
    "arm64ec or both).\n\n"
    "FILE is read by its content, whatever its name: a COFF or OMF import library, a DLL (its "
    "exports) or a definition file; with --def, as a definition file. Entries whose convention "
    "was guessed from the DLL's other functions follow the list as warnings on stderr. A list "
    "for a machine other than 32-bit Intel (x64, ARM64) says so on stderr first; its symbols "
    "carry no decorations.";

constexpr char kConvertSummary[] =
    "Convert a library, DLL or .def file, applying conventions from elsewhere";
constexpr char kConvertDescription[] =
    "Reads INPUT as list does, gives its entries the conventions and argument lengths named by "
    "--conventions, --pascal and --stdcall, and writes OUTPUT in the form --to names: coff (the "
    "default), a COFF import library for the list's machine (32-bit Intel, x64, ARM64, ARM64EC or ARM64X); gnu, "
    "an import library in GNU's long format (head, one object per import, tail) for GNU ld, "
    "32-bit Intel, x64 or ARM64; omf, an OMF import library; def, a "
    "definition file. Without --to, an OUTPUT whose name ends in .def is a definition file. "
    "OUTPUT is used as given; no extension is added.\n\n"
    "Each import keeps the DLL that INPUT names for it: converting from a DLL, the DLL named in "
    "OUTPUT is the DLL's own file name, not OUTPUT's; from a library, the DLL it imports from. "
    "Only entries that name no DLL (a .def file without LIBRARY) take it from OUTPUT's file "
    "name.\n\n"
    "The machine is INPUT's: a COFF library's, a DLL's; 32-bit Intel for a .def file or an OMF "
    "library. --machine sets it for a .def file, and turns a 32-bit Intel list into an x64, "
    "ARM64 or ARM64EC one (its decorations dropped, as a warning says); an x64 list may become "
    "an ARM64EC one and back, and a hybrid ARM64X library's list an ARM64 or ARM64EC one; "
    "any other list keeps its machine. OMF libraries are for 32-bit Intel only.\n\n"
    "A hybrid ARM64X library holds an ARM64 view and an ARM64EC view: --native-def FILE makes one "
    "of INPUT (its ARM64EC view) and FILE (a .def file, its ARM64 view); an ARM64X list written "
    "as a .def file gives its ARM64EC view, and --native-def FILE its ARM64 view beside it.\n\n"
    "Example (an x64 import library from a 64-bit DLL):\n"
    "  libmorph-cli convert mylib.dll mylib.lib";

constexpr char kConvertFooter[] =
    "A symbol file holds one symbol per line; blank lines, lines starting with ';' and an "
    "EXPORTS line are skipped, and of the others only the first word counts, up to any '='.\n\n"
    "--pascal and --stdcall win over the files, and a later file over an earlier one. "
    "Entries that no source names keep what they had and are listed as a warning, as are names "
    "given that match no entry and, from a DLL, entries whose convention was guessed and that "
    "no source names; --strict makes all of these an error and writes nothing.\n\n"
    "Example (an OMF import library and the decorated names of the same DLL):\n"
    "  libmorph-cli convert borland/mylib.lib mylib.lib --conventions mylib-symbols.txt";

constexpr char kCheckSummary[] =
    "Check a library against its DLLs: what the loader will make of each import";
constexpr char kCheckFooter[] =
    "Reads LIBRARY as list does and tells, one line per finding, each import that will fail or "
    "misbehave when the program runs:\n"
    "  does not bind: the DLL does not export the name or ordinal the import asks for (the "
    "export that differs only by decoration is named when there is one);\n"
    "  binds to another function: imported by ordinal, and the DLL's name at that ordinal is "
    "another one (a library for another version of the DLL);\n"
    "  wrong DLL: the import names a DLL that none of the DLLs given is (letter case aside);\n"
    "  code or data: a code import of a data export, or a data import of code;\n"
    "  stack mismatch (32-bit Intel): the client's symbol (_Name@N, _Name, @Name@N) pops another "
    "number of bytes than the function's code (its ret N) or, where the code cannot tell "
    "(packed), than its export name says (_Name@4);\n"
    "  wrong machine: the DLL is for another machine than the library (one line per DLL);\n"
    "and, for information: forwarded exports, DLLs whose code is packed (only conventions that "
    "export names spell can be checked), and the exports no import asks for. A summary line "
    "with the counts follows. More than 20 findings of one kind for one DLL are said in one "
    "line with the first names; --format tsv (a table) and --format json (one document: a "
    "summary and every finding) list each.\n\n"
    "Exit status: 0 when every import binds to the function it names, no stack mismatch was "
    "found and each DLL is for the library's machine; 1 otherwise, or when a file cannot be "
    "read; 2 for a wrong command line. --strict also fails on the informative findings.\n\n"
    "Example (after a conversion, check the result against the DLL):\n"
    "  libmorph-cli convert borland/fmod.lib fmod.lib\n"
    "  libmorph-cli check fmod.lib fmod.dll";

// The usage text of the command named, when one was (the parser's help
// goes to the selected subcommand), otherwise of the program.
void PrintUsageError(const std::string& message, const CLI::App& app) {
  std::fprintf(stderr, "%s: error: %s\n\n%s", kProgram, message.c_str(), app.help().c_str());
  std::fflush(stderr);
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app("Converts the import library of a Windows DLL between the OMF form and the "
               "COFF form, or to and from a .def file, or makes one from the DLL itself.",
               kProgram);
  app.set_version_flag("--version", std::string(kProgram) + " " + LIBMORPH_VERSION);
  app.require_subcommand(1);
  app.footer("libmorph-cli dlltool ... and libmorph-cli lib ... take the command lines of dlltool "
             "and lib (see libmorph-cli dlltool --help, libmorph-cli lib /help); so does the program "
             "started under a name ending in dlltool (x86_64-w64-mingw32-dlltool) or lib (lib, llvm-lib).");
  // On Windows the parser would take "/name" for an option: a path from
  // the root of the drive (or a Unix path under Wine) must stay a path.
  // Subcommands inherit this.
  app.allow_windows_style_options(false);

  cli::ListArguments list;
  CLI::App* listCommand = app.add_subcommand("list", kListSummary);
  listCommand->footer(kListFooter);
  listCommand->add_flag("--def", list.asDef, "Read FILE as a definition file whatever its content");
  listCommand->add_option("FILE", list.file, "Import library, DLL or definition file")->required();

  cli::ConvertArguments convert;
  CLI::App* convertCommand = app.add_subcommand("convert", kConvertSummary);
  convertCommand->footer(std::string(kConvertDescription) + "\n\n" + cli::BatchHelp() + "\n\n" + kConvertFooter);
  convertCommand->add_flag("--def", convert.asDef, "Read INPUT as a definition file whatever its content");
  convertCommand
      ->add_option("INPUT OUTPUT", convert.files,
                   "Import library, DLL or definition file to read, and the import library or .def file "
                   "to write; with --out-dir, every INPUT to read (@FILE: the paths FILE lists, one per line)")
      ->type_name("")
      ->required();
  convertCommand->add_option("--out-dir", convert.outDir, "Convert every INPUT into DIR, each named after its INPUT")
      ->type_name("DIR");
  convertCommand->add_option("--to", convert.to, "Form of OUTPUT: coff, gnu, omf or def")
      ->type_name("FORM")
      ->check(CLI::IsMember({"coff", "gnu", "omf", "def"}));
  convertCommand
      ->add_option("--conventions", convert.conventionFiles,
                   "Where decorated names come from: a COFF import library, or a text file of "
                   "Microsoft symbols (_Name@Bytes or _Name), one per line; repeatable")
      ->type_name("FILE")
      ->allow_extra_args(false);
  convertCommand
      ->add_option("--pascal", convert.pascal, "Entry NAME is _pascal with BYTES of arguments; repeatable")
      ->type_name("NAME=BYTES")
      ->allow_extra_args(false);
  convertCommand
      ->add_option("--stdcall", convert.stdcall, "Entry NAME is _stdcall; repeatable")
      ->type_name("NAME")
      ->allow_extra_args(false);
  convertCommand
      ->add_option("--machine", convert.machine,
                   "Machine of OUTPUT's imports: i386, x64, arm64, arm64ec or arm64x (default: INPUT's)")
      ->type_name("MACHINE")
      ->check(CLI::IsMember(MachineWords()));
  convertCommand
      ->add_option("--native-def", convert.nativeDef,
                   "ARM64X: the .def file of the ARM64 view, INPUT giving the ARM64EC one; with --to def, "
                   "where the ARM64 view is written")
      ->type_name("FILE");
  convertCommand->add_flag("--delay", convert.delay,
                           "Write a delay-load library (GNU form, for GNU ld): each function's DLL is "
                           "loaded at its first call. lld-link and link.exe take an ordinary library "
                           "and /DELAYLOAD:DLL instead");
  convertCommand->add_flag("--strict", convert.strict,
                           "Refuse to write when a name matches nothing, on either side, or a convention was guessed");

  cli::CheckArguments check;
  CLI::App* checkCommand = app.add_subcommand("check", kCheckSummary);
  checkCommand->footer(kCheckFooter);
  checkCommand->add_flag("--def", check.asDef, "Read LIBRARY as a definition file whatever its content");
  checkCommand->add_option("--format", check.format, "Output: text (the default), tsv (a table) or json, for tools")
      ->type_name("FORMAT")
      ->check(CLI::IsMember({"text", "tsv", "json"}));
  checkCommand->add_flag("--strict", check.strict,
                         "Also fail on forwarded exports, packed code and exports not imported");
  checkCommand->add_option("LIBRARY", check.library, "Import library, DLL or definition file to check")
      ->required();
  checkCommand->add_option("DLL", check.dlls, "The DLLs it imports from")->required();

  platform::UseUtf8Console();
  // File names in UTF-8 on every system, accents included; the parser
  // takes the arguments after the program's name, last first.
  std::vector<std::string> arguments = platform::ProgramArguments(argc, argv);
  // Started as "dlltool" or "lib" (a link), or asked for one of them: that
  // program's own command line, which the parser below does not read.
  const cli::ProgramName name = cli::PersonalityOf(arguments.empty() ? std::string() : arguments.front());
  if (!arguments.empty()) arguments.erase(arguments.begin());
  cli::Personality personality = name.personality;
  if (personality == cli::Personality::Own && !arguments.empty() &&
      (arguments.front() == "dlltool" || arguments.front() == "lib")) {
    personality = arguments.front() == "lib" ? cli::Personality::Lib : cli::Personality::Dlltool;
    arguments.erase(arguments.begin());
  }
  try {
    if (personality == cli::Personality::Dlltool) return cli::RunDlltool(arguments, name);
    if (personality == cli::Personality::Lib) return cli::RunLib(arguments);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "%s: %s\n", kProgram, error.what());
    return cli::kExitFileError;
  }
  std::reverse(arguments.begin(), arguments.end());

  try {
    app.parse(arguments);
  } catch (const CLI::ParseError& error) {
    if (error.get_exit_code() == 0) return app.exit(error);  // --help, --version
    PrintUsageError(error.what(), app);
    return cli::kExitUsage;
  }

  try {
    if (listCommand->parsed()) return cli::RunList(list);
    if (checkCommand->parsed()) return cli::RunCheck(check);
    return cli::RunConvert(convert);
  } catch (const cli::UsageError& error) {
    PrintUsageError(error.what(), app);
    return cli::kExitUsage;
  } catch (const std::exception& error) {
    std::fprintf(stderr, "%s: %s\n", kProgram, error.what());
    return cli::kExitFileError;
  }
}
