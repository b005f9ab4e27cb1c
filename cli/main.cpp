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

constexpr char kListSummary[] = "Print the export list of a library or .def file";
constexpr char kListFooter[] =
    "Prints the export list of FILE, one entry per line: Name, convention (_pascal or _stdcall), "
    "argument length, Microsoft symbol, Borland symbol, separated by tabs. FILE is read as a "
    "definition file with --def or when its name ends in .def; otherwise as a COFF import "
    "library when it starts with the archive signature, as an OMF import library if not.";

constexpr char kConvertSummary[] =
    "Convert a library or .def file, applying conventions from elsewhere";
constexpr char kConvertDescription[] =
    "Reads INPUT as list does, gives its entries the conventions and argument lengths named by "
    "--conventions, --pascal and --stdcall, and writes OUTPUT: a definition file when its name "
    "ends in .def, otherwise a COFF import library for 32-bit Intel code whose DLL name comes "
    "from OUTPUT's file name. OUTPUT is used as given; no extension is added.";

constexpr char kConvertFooter[] =
    "A symbol file holds one symbol per line; blank lines, lines starting with ';' and an "
    "EXPORTS line are skipped, and of the others only the first word counts, up to any '='.\n\n"
    "--pascal and --stdcall win over the files, and a later file over an earlier one. "
    "Entries that no source names keep what they had and are listed as a warning, as are names "
    "given that match no entry; --strict makes both an error and writes nothing.\n\n"
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
               "COFF form, or to and from a .def file.",
               kProgram);
  app.set_version_flag("--version", std::string(kProgram) + " " + LIBMORPH_VERSION);
  app.require_subcommand(1);

  cli::ListArguments list;
  CLI::App* listCommand = app.add_subcommand("list", kListSummary);
  listCommand->footer(kListFooter);
  listCommand->add_flag("--def", list.asDef, "Read FILE as a definition file whatever its name");
  listCommand->add_option("FILE", list.file, "Library or definition file")->required();

  cli::ConvertArguments convert;
  CLI::App* convertCommand = app.add_subcommand("convert", kConvertSummary);
  convertCommand->footer(std::string(kConvertDescription) + "\n\n" + kConvertFooter);
  convertCommand->add_flag("--def", convert.asDef, "Read INPUT as a definition file whatever its name");
  convertCommand->add_option("INPUT", convert.input, "Library or definition file to read")
      ->required();
  convertCommand->add_option("OUTPUT", convert.output, "COFF import library or .def file to write")
      ->required();
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
  convertCommand->add_flag("--strict", convert.strict,
                           "Refuse to write when a name matches nothing, on either side");

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& error) {
    if (error.get_exit_code() == 0) return app.exit(error);  // --help, --version
    PrintUsageError(error.what(), app);
    return cli::kExitUsage;
  }

  try {
    cli::CoreMessages messages;
    if (listCommand->parsed()) return cli::RunList(list, messages);
    return cli::RunConvert(convert, messages);
  } catch (const cli::UsageError& error) {
    PrintUsageError(error.what(), app);
    return cli::kExitUsage;
  } catch (const std::exception& error) {
    std::fprintf(stderr, "%s: %s\n", kProgram, error.what());
    return cli::kExitFileError;
  }
}
