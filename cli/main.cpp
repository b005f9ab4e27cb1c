// libmorph-cli: the import library conversions of Libmorph for scripts
// and build systems. Argument parsing only; the work is in commands.
#include <CLI/CLI.hpp>

#include <cstdio>
#include <exception>
#include <string>

#include "cli/commands.h"
#include "cli/exit_status.h"
#include "cli/overrides.h"

namespace {

constexpr char kProgram[] = "libmorph-cli";

constexpr char kListSummary[] = "Print the export list of a library, DLL or .def file";
constexpr char kListFooter[] =
    "Prints the export list of FILE, one entry per line, separated by tabs: Name, convention "
    "(_pascal or _stdcall), argument length, Microsoft symbol, Borland symbol, what the loader "
    "looks up in the DLL (the export name, or @N for an import by ordinal, followed by NONAME "
    "when the export has no name), the kind of import (code, data or const), and the DLL when "
    "the entry names one.\n\n"
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
    "default), a COFF import library for the list's machine (32-bit Intel, x64 or ARM64); omf, an OMF import library; def, a "
    "definition file. Without --to, an OUTPUT whose name ends in .def is a definition file. "
    "OUTPUT is used as given; no extension is added.\n\n"
    "Each import keeps the DLL that INPUT names for it: converting from a DLL, the DLL named in "
    "OUTPUT is the DLL's own file name, not OUTPUT's; from a library, the DLL it imports from. "
    "Only entries that name no DLL (a .def file without LIBRARY) take it from OUTPUT's file "
    "name.\n\n"
    "The machine is INPUT's: a COFF library's, a DLL's; 32-bit Intel for a .def file or an OMF "
    "library. --machine sets it for a .def file, and turns a 32-bit Intel list into an x64 or "
    "ARM64 one (its decorations dropped, as a warning says); a list read for x64 or ARM64 keeps "
    "its machine. OMF libraries are for 32-bit Intel only; ARM64EC libraries are not written "
    "yet.\n\n"
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

  cli::ListArguments list;
  CLI::App* listCommand = app.add_subcommand("list", kListSummary);
  listCommand->footer(kListFooter);
  listCommand->add_flag("--def", list.asDef, "Read FILE as a definition file whatever its content");
  listCommand->add_option("FILE", list.file, "Import library, DLL or definition file")->required();

  cli::ConvertArguments convert;
  CLI::App* convertCommand = app.add_subcommand("convert", kConvertSummary);
  convertCommand->footer(std::string(kConvertDescription) + "\n\n" + kConvertFooter);
  convertCommand->add_flag("--def", convert.asDef, "Read INPUT as a definition file whatever its content");
  convertCommand->add_option("INPUT", convert.input, "Import library, DLL or definition file to read")
      ->required();
  convertCommand->add_option("OUTPUT", convert.output, "Import library or .def file to write")
      ->required();
  convertCommand->add_option("--to", convert.to, "Form of OUTPUT: coff, omf or def")
      ->type_name("FORM")
      ->check(CLI::IsMember({"coff", "omf", "def"}));
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
                   "Machine of OUTPUT's imports: i386, x64, arm64 or arm64ec (default: INPUT's)")
      ->type_name("MACHINE")
      ->check(CLI::IsMember({"i386", "x64", "arm64", "arm64ec"}));
  convertCommand->add_flag("--strict", convert.strict,
                           "Refuse to write when a name matches nothing, on either side, or a convention was guessed");

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& error) {
    if (error.get_exit_code() == 0) return app.exit(error);  // --help, --version
    PrintUsageError(error.what(), app);
    return cli::kExitUsage;
  }

  try {
    if (listCommand->parsed()) return cli::RunList(list);
    return cli::RunConvert(convert);
  } catch (const cli::UsageError& error) {
    PrintUsageError(error.what(), app);
    return cli::kExitUsage;
  } catch (const std::exception& error) {
    std::fprintf(stderr, "%s: %s\n", kProgram, error.what());
    return cli::kExitFileError;
  }
}
