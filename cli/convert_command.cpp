#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "cli/commands.h"
#include "cli/convert_one.h"
#include "cli/exit_status.h"
#include "cli/library_files.h"
#include "cli/overrides.h"
#include "cli/warnings.h"
#include "model/hybrid_views.h"
#include "model/machine.h"
#include "model/machine_change.h"

namespace cli {

bool GatherConventions(const std::vector<std::string>& conventionFiles, const ConventionTable& overrides,
                       ConventionTable& table) {
  for (const std::string& file : conventionFiles) {
    TFichierLib source;
    if (!ReadConventionsFile(source, file)) return false;
    table.SetAll(source.Fonctions);
  }
  for (const TFonctionLib& entry : overrides.Entries()) table.Set(entry);
  return true;
}

namespace {

// --to when given; otherwise a ".def" name writes a definition file and
// anything else a COFF library, as before --to existed.
OutputForm FormOf(const ConvertArguments& arguments) {
  if (arguments.to == "omf") return OutputForm::Omf;
  if (arguments.to == "def") return OutputForm::Def;
  if (arguments.to == "gnu") return OutputForm::Gnu;
  if (arguments.to.empty() && HasDefExtension(arguments.output)) return OutputForm::Def;
  return OutputForm::Coff;
}

// --machine's machine; Unknown when not given.
Machine MachineOf(const std::string& option) {
  return MachineOfWord(option).value_or(Machine::Unknown);
}

}  // namespace

bool DelayFormAllowed(const ConvertArguments& arguments) {
  // A delay-load library is GNU's form, which ld.bfd links; Microsoft's
  // linkers delay-load a DLL from an ordinary library.
  if (!arguments.delay || arguments.to.empty() || arguments.to == "gnu") return true;
  Print("libmorph-cli: --delay writes GNU's form (--to gnu), which GNU ld links; for lld-link or link.exe "
        "write an ordinary library (--to %s without --delay) and link with /DELAYLOAD:DLL\n",
        arguments.to.c_str());
  return false;
}

namespace {

ListForm ListFormOf(OutputForm form) {
  switch (form) {
    case OutputForm::Omf: return ListForm::Omf;
    case OutputForm::Def: return ListForm::Def;
    case OutputForm::Gnu: return ListForm::Gnu;
    case OutputForm::Coff: break;
  }
  return ListForm::Coff;
}

}  // namespace

int ConvertOne(const ConvertArguments& arguments, const ConventionTable* table,
               std::optional<std::vector<AnsiString>>* unusedNames) {
  TFichierLib lib;
  // A .def file is read in the machine's own dialect ("Bar@8" is the
  // export "Bar@8" on x64); other files say their machine, which may then
  // change below.
  Machine machine = MachineOf(arguments.machine);
  const OutputForm form = arguments.delay ? OutputForm::Gnu : FormOf(arguments);
  // An ARM64X library of a list of one view: INPUT is its ARM64EC view
  // (an x64 list becomes one), --native-def its ARM64 view, if any.
  const bool hybrid = form != OutputForm::Def && (!arguments.nativeDef.empty() || machine == Machine::Arm64x);
  if (hybrid && machine != Machine::Unknown && machine != Machine::Arm64x) {
    ReportFileError(arguments.nativeDef, "--native-def makes an ARM64X library, not one for " + MachineName(machine));
    return kExitFileError;
  }
  if (!ReadListFile(lib, arguments.input, arguments.asDef, hybrid ? Machine::Arm64ec : machine))
    return kExitFileError;
  if (hybrid) {
    machine = Machine::Unknown;
    if (lib.SourceMachine == Machine::Arm64x && !arguments.nativeDef.empty()) {
      ReportFileError(arguments.input, "an ARM64X list has its ARM64 view already; --native-def adds none");
      return kExitFileError;
    }
    if (lib.SourceMachine != Machine::Arm64x) {
      if (const std::string why = WhyNotMachine(lib, Machine::Arm64ec); !why.empty()) {
        ReportFileError(arguments.input, why);
        return kExitFileError;
      }
      ChangeMachine(lib, Machine::Arm64ec);
      TFichierLib native;
      if (!arguments.nativeDef.empty() && !ReadListFile(native, arguments.nativeDef, true, Machine::Arm64))
        return kExitFileError;
      JoinViews(lib, native, lib);
    }
  } else if (!arguments.nativeDef.empty() && lib.SourceMachine != Machine::Arm64x &&
             machine != Machine::Arm64x) {
    ReportFileError(arguments.input, "a list for " + MachineName(lib.SourceMachine) +
                                         " has no ARM64 view of its own for --native-def");
    return kExitFileError;
  }
  if (arguments.delay) {
    // Only code can wait for its first call: a variable's address is read
    // without any call, so data imports stay ordinary ones.
    const std::vector<AnsiString> data = DelayLoad(lib);
    if (!data.empty())
      Print("libmorph-cli: warning: %s: %zu data imports cannot be delay-loaded and stay ordinary imports: %s\n",
            arguments.input.c_str(), data.size(), NameListText(data).c_str());
  }
  if (machine != Machine::Unknown) {
    if (const std::string why = WhyNotMachine(lib, machine); !why.empty()) {
      ReportFileError(arguments.input, why);
      return kExitFileError;
    }
    const std::vector<AnsiString> changed = ChangeMachine(lib, machine);
    if (!changed.empty())
      Print("libmorph-cli: warning: %s: %zu symbols lose their 32-bit Intel decorations for %s and are the "
            "names the DLL exports: %s\n",
            arguments.input.c_str(), changed.size(), MachineName(machine).c_str(), NameListText(changed).c_str());
  }
  // Said before any conventions are applied, with what can still be done.
  if (const std::string why = lib.WrongMachine(ListFormOf(form)); !why.empty()) {
    ReportFileError(arguments.input, why + " (--to def writes its exports as a definition file)");
    return kExitFileError;
  }

  bool refused = false;
  // Without any source this is a plain change of format: nothing to apply
  // and nothing to warn about.
  if (table != nullptr) {
    ConventionReport report = ApplyConventions(lib.Fonctions, *table);
    // A convention a source names is known, no longer a guess.
    for (std::uint32_t i = 0; i < lib.Fonctions.Count; ++i)
      if (table->Find(lib.Fonctions.Item(i).Name)) lib.Fonctions.Item(i).Unsure = false;
    // A batch says the names that no input has once, for the whole run.
    if (unusedNames != nullptr) {
      *unusedNames = std::move(report.UnusedNames);
      report.UnusedNames.clear();
    }
    refused = ReportUnmatched(report, arguments.strict) && arguments.strict;
  }
  refused = (ReportGuessed(GuessedNames(lib.Fonctions), arguments.strict) && arguments.strict) ||
            refused;
  WarnLengthDisagreements(LengthDisagreements(lib.Fonctions));
  refused = (ReportLosses(LossesOf(lib.Fonctions, ListFormOf(form), lib.SourceMachine), arguments.strict) &&
             arguments.strict) ||
            refused;
  if (refused) {
    Print("libmorph-cli: %s not written (--strict)\n", arguments.output.c_str());
    return kExitFileError;
  }

  if (form == OutputForm::Def && !arguments.nativeDef.empty())
    return WriteHybridDefFiles(lib, arguments.output, arguments.nativeDef) ? kExitOk : kExitFileError;
  return WriteListFile(lib, arguments.output, form) ? kExitOk : kExitFileError;
}

int RunConvert(const ConvertArguments& given) {
  if (!given.outDir.empty()) return RunBatch(given);
  ConvertArguments arguments = given;
  if (!given.files.empty()) {
    if (given.files.size() != 2) throw UsageError("convert wants INPUT OUTPUT, or INPUT... --out-dir DIR");
    arguments.input = given.files[0];
    arguments.output = given.files[1];
  }
  // Wrong values are a usage error, found before any file is touched.
  const ConventionTable overrides = ParseOverrides(arguments.pascal, arguments.stdcall);
  if (!DelayFormAllowed(arguments)) return kExitUsage;
  ConventionTable table;
  const bool conventions = !arguments.conventionFiles.empty() || !overrides.Empty();
  if (conventions && !GatherConventions(arguments.conventionFiles, overrides, table)) return kExitFileError;
  return ConvertOne(arguments, conventions ? &table : nullptr, nullptr);
}

}  // namespace cli
