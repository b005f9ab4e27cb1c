// `libmorph-cli dlltool`: GNU dlltool's and llvm-dlltool's command lines as
// build systems write them (mingw-w64's CRT, rustc, winebuild, ReactOS),
// making what llvm-dlltool makes of the same .def, byte for byte. Options
// are read by hand: "-lX", "--as-flags=--64" and unique prefixes of long
// options are getopt's rules, which no general parser follows.
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "cli/dropin.h"
#include "cli/exit_status.h"
#include "cli/library_files.h"
#include "cli/warnings.h"
#include "coff/coff.h"
#include "model/decorated_names.h"
#include "model/file_bytes.h"
#include "model/hybrid_views.h"
#include "model/import_lookup.h"
#include "model/microsoft_symbol.h"

namespace cli {

namespace {

enum class Opt {
  Def, Lib, DelayLib, Machine, KillAt, DllName, NativeDef, NoUnderscore, LeadingUnderscore, AddUnderscore,
  AddStdcallUnderscore, PrefixAlias, Identify, IdentifyStrict, Ignored, IgnoredFlag, NonDeterministic, Help,
  Version
};

struct OptionRule {
  char letter;  // 0: long form only
  const char* name;
  bool takesValue;
  Opt id;
  // Said as a warning when given: what the option does in GNU dlltool that
  // no import library holds, so that it changes nothing here.
  const char* noEffect = nullptr;
};

// GNU dlltool's long names, llvm-dlltool's short ones, and the options
// whose work an assembler would do, which a short-format library needs
// none of: taken and ignored, so the callers' command lines run unchanged.
constexpr OptionRule kOptions[] = {
    {'d', "input-def", true, Opt::Def},
    {0, "def", true, Opt::Def},
    {'l', "output-lib", true, Opt::Lib},
    {'y', "output-delaylib", true, Opt::DelayLib},
    {'m', "machine", true, Opt::Machine},
    {'k', "kill-at", false, Opt::KillAt},
    {'D', "dllname", true, Opt::DllName},
    {'N', "input-native-def", true, Opt::NativeDef},
    {0, "no-leading-underscore", false, Opt::NoUnderscore},
    {0, "leading-underscore", false, Opt::LeadingUnderscore},
    {'U', "add-underscore", false, Opt::AddUnderscore},
    {0, "add-stdcall-underscore", false, Opt::AddStdcallUnderscore},
    {'A', "add-stdcall-alias", false, Opt::IgnoredFlag,
     "it adds names without \"@N\" to a DLL's export table (dlltool -e), which is not written here; "
     "the import library is the same without it"},
    {'p', "ext-prefix-alias", true, Opt::PrefixAlias},
    {'I', "identify", true, Opt::Identify},
    {0, "identify-strict", false, Opt::IdentifyStrict},
    {'f', "as-flags", true, Opt::Ignored},
    {'S', "as", true, Opt::Ignored},
    {'t', "temp-prefix", true, Opt::Ignored},
    {'v', "verbose", false, Opt::IgnoredFlag},
    {0, "deterministic-libraries", false, Opt::IgnoredFlag},
    {0, "non-deterministic-libraries", false, Opt::NonDeterministic},
    {'h', "help", false, Opt::Help},
    {'V', "version", false, Opt::Version},
};

constexpr char kUsage[] =
    "Usage: libmorph-cli dlltool -d FILE.def [-l LIB] [-y DELAYLIB] [-m MACHINE] [-k] [-D DLL]\n"
    "                            [--no-leading-underscore | --leading-underscore] [-U]\n"
    "                            [--add-stdcall-underscore] [-p PREFIX] [-N NATIVE.def]\n"
    "       libmorph-cli dlltool -I LIB [--identify-strict]\n"
    "Writes the import library of a .def file as llvm-dlltool does (time stamps 0 unless\n"
    "SOURCE_DATE_EPOCH is set); -y writes a delay-load library in GNU's form.\n"
    "  -d, --input-def, --def FILE   the .def file\n"
    "  -l, --output-lib FILE         the import library to write\n"
    "  -y, --output-delaylib FILE    the delay-load library to write (i386, i386:x86-64, arm64)\n"
    "  -m, --machine MACHINE         i386, i386:x86-64, arm64 or arm64ec (default: the target of\n"
    "                                the program's name, else i386:x86-64)\n"
    "  -k, --kill-at                 32-bit Intel: import \"Foo@8\" by the name \"Foo\"\n"
    "  -D, --dllname DLL             the DLL imported from, over the .def's LIBRARY\n"
    "  -N, --input-native-def FILE   with -m arm64ec: the ARM64 view of an ARM64X library\n"
    "  --no-leading-underscore       32-bit Intel: names are the symbols, no '_' added\n"
    "  --leading-underscore          x64, ARM64: symbols get the '_' 32-bit Intel's get\n"
    "  -U, --add-underscore          the loader looks up each name with a '_' before it\n"
    "                                (not \"@f@8\", nor a name given by \"==\")\n"
    "  --add-stdcall-underscore      the same for the names that hold an at sign only\n"
    "  -p, --ext-prefix-alias PREFIX each import also under PREFIX + its symbol (after the\n"
    "                                '_' of 32-bit Intel), importing the same export\n"
    "  Without -l or -y, the .def file is read and checked, and nothing is written.\n"
    "  -I, --identify LIB            print the DLLs the library imports from\n"
    "  --identify-strict             with -I: fail when there are several\n"
    "Accepted and ignored: -f/--as-flags, -S/--as, -t/--temp-prefix, -v, "
    "--deterministic-libraries;\n"
    "-A/--add-stdcall-alias with a warning.\n";

struct DlltoolOptions {
  std::string def, lib, delayLib, dll, nativeDef, identify, machineWord, prefixAlias;
  // Whether symbols take 32-bit Intel's '_': the last of
  // --leading-underscore and --no-leading-underscore; unset, the machine's.
  std::optional<bool> underscores;
  bool killAt = false, identifyStrict = false, nondeterministic = false;
  bool addUnderscore = false, addStdcallUnderscore = false;
  bool help = false, version = false;
};

class UsageProblem {
 public:
  explicit UsageProblem(std::string why) : why_(std::move(why)) {}
  const std::string& why() const { return why_; }

 private:
  std::string why_;
};

void Take(DlltoolOptions& o, const OptionRule& rule, const std::string& value) {
  if (rule.noEffect)
    std::fprintf(stderr, "libmorph-cli dlltool: warning: --%s changes nothing: %s\n", rule.name, rule.noEffect);
  switch (rule.id) {
    case Opt::Def: o.def = value; break;
    case Opt::Lib: o.lib = value; break;
    case Opt::DelayLib: o.delayLib = value; break;
    case Opt::Machine: o.machineWord = value; break;
    case Opt::KillAt: o.killAt = true; break;
    case Opt::DllName: o.dll = value; break;
    case Opt::NativeDef: o.nativeDef = value; break;
    case Opt::NoUnderscore: o.underscores = false; break;
    case Opt::LeadingUnderscore: o.underscores = true; break;
    case Opt::AddUnderscore: o.addUnderscore = true; break;
    case Opt::AddStdcallUnderscore: o.addStdcallUnderscore = true; break;
    case Opt::PrefixAlias: o.prefixAlias = value; break;
    case Opt::Identify: o.identify = value; break;
    case Opt::IdentifyStrict: o.identifyStrict = true; break;
    case Opt::NonDeterministic: o.nondeterministic = true; break;
    case Opt::Help: o.help = true; break;
    case Opt::Version: o.version = true; break;
    case Opt::Ignored:
    case Opt::IgnoredFlag: break;
  }
}

// An exact long name, or else the one long name it begins (getopt's
// abbreviations: "--output-d" is --output-delaylib).
const OptionRule& LongOption(const std::string& name) {
  const OptionRule* found = nullptr;
  int matches = 0;
  for (const OptionRule& rule : kOptions) {
    const std::string_view full = rule.name;
    if (full == name) return rule;
    if (full.starts_with(name)) {
      ++matches;
      found = &rule;
    }
  }
  if (matches == 1) return *found;
  throw UsageProblem(matches ? "option --" + name + " is ambiguous" : "unknown option --" + name);
}

const OptionRule& ShortOption(char letter) {
  for (const OptionRule& rule : kOptions)
    if (rule.letter == letter) return rule;
  throw UsageProblem(std::string("unknown option -") + letter);
}

DlltoolOptions Parse(const std::vector<std::string>& args) {
  DlltoolOptions o;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    auto next = [&](const std::string& option) -> const std::string& {
      if (i + 1 >= args.size()) throw UsageProblem("option " + option + " needs a value");
      return args[++i];
    };
    if (arg.starts_with("--") && arg.size() > 2) {
      const std::size_t equals = arg.find('=');
      const OptionRule& rule = LongOption(arg.substr(2, equals == std::string::npos ? std::string::npos : equals - 2));
      if (!rule.takesValue && equals != std::string::npos)
        throw UsageProblem(std::string("option --") + rule.name + " takes no value");
      Take(o, rule,
           !rule.takesValue ? std::string() : equals != std::string::npos ? arg.substr(equals + 1) : next(arg));
    } else if (arg.size() > 1 && arg[0] == '-') {
      // "-kv" is -k and -v; "-lfoo.a" is -l foo.a; "-l foo.a" too.
      for (std::size_t at = 1; at < arg.size(); ++at) {
        const OptionRule& rule = ShortOption(arg[at]);
        if (!rule.takesValue) {
          Take(o, rule, {});
          continue;
        }
        Take(o, rule, at + 1 < arg.size() ? arg.substr(at + 1) : next(arg));
        break;
      }
    } else {
      throw UsageProblem("'" + arg +
                         "': object files are not taken; the exports come from a .def file (-d)");
    }
  }
  return o;
}

// dlltool's machine names.
Machine MachineOfDlltoolWord(const std::string& word) {
  if (word == "i386") return Machine::I386;
  if (word == "i386:x86-64") return Machine::Amd64;
  if (word == "arm64") return Machine::Arm64;
  if (word == "arm64ec") return Machine::Arm64ec;
  if (word == "arm" || word == "arm_interwork" || word == "thumb")
    throw UsageProblem("-m " + word + ": libraries for 32-bit ARM (Windows RT) are not written; "
                       "i386, i386:x86-64, arm64 and arm64ec are");
  if (word == "arm64x")
    throw UsageProblem("-m arm64x: an ARM64X library is -m arm64ec with -N NATIVE.def (its ARM64 view)");
  throw UsageProblem("-m " + word + ": unknown machine; i386, i386:x86-64, arm64 or arm64ec");
}

int Identify(const DlltoolOptions& o) {
  std::vector<std::string> dlls;
  if (FileBytes bytes; ReadFileBytes(o.identify, bytes)) dlls = coff::NamedDlls(bytes.View());
  // Any other library: the DLLs its imports name (an OMF library's
  // module names).
  if (dlls.empty()) {
    TFichierLib lib;
    if (!ReadListFile(lib, o.identify, false)) return kExitFileError;
    for (std::uint32_t i = 0; i < lib.Fonctions.Count; ++i) {
      const std::string& dll = lib.Fonctions.Item(i).Import.Dll;
      if (!dll.empty() && std::find(dlls.begin(), dlls.end(), dll) == dlls.end()) dlls.push_back(dll);
    }
  }
  if (dlls.empty()) {
    ReportFileError(o.identify, "names no DLL");
    return kExitFileError;
  }
  if (o.identifyStrict && dlls.size() > 1) {
    ReportFileError(o.identify, "imports from " + std::to_string(dlls.size()) + " DLLs (--identify-strict)");
    return kExitFileError;
  }
  for (const std::string& dll : dlls) std::printf("%s\n", dll.c_str());
  return kExitOk;
}

// What the loader looks up for the entry, as the library writer chooses
// it; empty for an import by ordinal.
std::string LookupOf(const TFonctionLib& entry, Machine machine) {
  const std::string symbol(MicrosoftName(entry, machine));
  return LookedUpName(ChooseImportLookup(entry, machine, symbol), symbol);
}

// Which entries, by their place in the list, say with "==" (or EXPORTAS)
// what the loader looks up: off 32-bit Intel every other name is its own
// export, so a reading for x64 shows them. GNU dlltool's renamings leave
// those lookups as written.
std::vector<bool> GivenLookups(const std::string& defFile, std::uint32_t count) {
  std::vector<bool> given(count, false);
  TFichierLib plain;
  if (!plain.ReadDefFile(defFile, Machine::Amd64) || plain.Fonctions.Count != count) return given;
  for (std::uint32_t i = 0; i < count; ++i) {
    const TFonctionLib& e = plain.Fonctions.Item(i);
    given[i] = !e.Import.ExportName.empty() && e.Import.ExportName != MicrosoftName(e, Machine::Amd64);
  }
  return given;
}

// --leading-underscore off 32-bit Intel: each symbol gets the '_' that
// 32-bit Intel's would (not a C++ one, nor a fastcall one), and still
// imports the export it did.
void AddSymbolUnderscores(TFichierLib& lib, Machine machine) {
  for (std::uint32_t i = 0; i < lib.Fonctions.Count; ++i) {
    TFonctionLib& e = lib.Fonctions.Item(i);
    const std::string symbol(MicrosoftName(e, machine));
    if (symbol.starts_with('?') || symbol.starts_with('@')) continue;
    if (const std::string lookup = LookupOf(e, machine); !lookup.empty()) e.Import.ExportName = lookup;
    e.Import.Symbol = "_" + symbol;
  }
}

// -U (onlyStdcall false) and --add-stdcall-underscore: the loader looks up
// '_' and the name it did, for every name or for those with an at sign;
// never for a fastcall name, nor for a name "==" gives. Each entry given
// the '_' is marked in underscored.
void AddLookupUnderscores(TFichierLib& lib, Machine machine, bool onlyStdcall, const std::vector<bool>& given,
                          std::vector<bool>& underscored) {
  for (std::uint32_t i = 0; i < lib.Fonctions.Count; ++i) {
    TFonctionLib& e = lib.Fonctions.Item(i);
    const std::string symbol(MicrosoftName(e, machine));
    if (given[i] || symbol.starts_with('@') || (onlyStdcall && symbol.find('@') == std::string::npos)) continue;
    if (const std::string lookup = LookupOf(e, machine); !lookup.empty()) e.Import.ExportName = "_" + lookup;
    underscored[i] = true;
  }
}

// -p PREFIX: each import also under the symbol [_]PREFIX + its own, GNU's
// spelling, '_' of 32-bit Intel inside it included ("_pre__Foo"); the
// alias imports what its import does. With -k GNU dlltool cuts the "@N"
// off a line's name in place as it makes the lookup, and makes the alias
// of what is left; not when the lookup is "=='s", nor when it copied the
// name to put '_' before it: those are marked in uncut.
void AddPrefixAliases(TFichierLib& lib, Machine machine, const std::string& prefix, bool underscores, bool killAt,
                      const std::vector<bool>& uncut) {
  const std::uint32_t count = lib.Fonctions.Count;
  for (std::uint32_t i = 0; i < count; ++i) {
    TFonctionLib alias = lib.Fonctions.Item(i);
    if (alias.Import.Private) continue;
    std::string symbol(MicrosoftName(alias, machine));
    const std::size_t at = symbol.rfind('@');
    if (killAt && !uncut[i] && at != std::string::npos && at + 1 < symbol.size() &&
        std::isdigit(static_cast<unsigned char>(symbol[at + 1])))
      symbol.resize(at);
    if (const std::string lookup = LookupOf(alias, machine); !lookup.empty()) alias.Import.ExportName = lookup;
    symbol = (underscores ? "_" : "") + prefix + symbol;
    const TFonctionLib named = FromClientSymbol(symbol);
    alias.Name = named.Name;
    alias.ArgLength = named.ArgLength;
    alias.IsPascal = named.IsPascal;
    alias.Import.Symbol = symbol;
    lib.Fonctions.Item(lib.Fonctions.Count) = alias;
  }
}

int Usage(const std::string& why) {
  std::fprintf(stderr, "libmorph-cli dlltool: %s (libmorph-cli dlltool --help lists the options)\n", why.c_str());
  return kExitUsage;
}

}  // namespace

int RunDlltool(const std::vector<std::string>& arguments, const ProgramName& name) {
  DlltoolOptions o;
  Machine machine = name.machine.value_or(Machine::Amd64);
  try {
    o = Parse(ExpandResponseFiles(arguments, true));
    if (o.help || o.version) {
      if (o.help) std::printf("%s", kUsage);
      else std::printf("libmorph-cli dlltool %s\n", LIBMORPH_VERSION);
      return kExitOk;
    }
    if (!o.machineWord.empty()) machine = MachineOfDlltoolWord(o.machineWord);
    else if (!name.unsupportedTarget.empty())
      throw UsageProblem("no library is written for the target " + name.unsupportedTarget + "; name one with -m");
    if (!o.identify.empty()) return Identify(o);
    if (o.def.empty()) throw UsageProblem("no .def file (-d)");
    if (!o.nativeDef.empty() && machine != Machine::Arm64ec)
      throw UsageProblem("-N gives the ARM64 view of an ARM64X library: it needs -m arm64ec");
    if (!o.delayLib.empty() && (machine == Machine::Arm64ec || !o.nativeDef.empty()))
      throw UsageProblem("-y: delay-load libraries are written for i386, i386:x86-64 and arm64");
  } catch (const UsageProblem& problem) {
    return Usage(problem.why());
  }
  if (!o.nondeterministic) UseZeroTimeStamps();

  const bool hybrid = !o.nativeDef.empty();
  TFichierLib lib;
  if (!ReadListFile(lib, o.def, true, machine)) return kExitFileError;
  // Nothing to write: as GNU dlltool, the .def file is only checked.
  if (o.lib.empty() && o.delayLib.empty()) return kExitOk;
  const bool underscores = o.underscores.value_or(machine == Machine::I386);
  if (machine == Machine::I386)
    ReadAs32BitIntel(lib, o.def, o.killAt ? DefRules::KillAt : DefRules::Mingw, underscores);
  else if (underscores)
    AddSymbolUnderscores(lib, machine);
  if (o.addUnderscore || o.addStdcallUnderscore || !o.prefixAlias.empty()) {
    const std::vector<bool> given = GivenLookups(o.def, lib.Fonctions.Count);
    std::vector<bool> uncut = given;
    if (o.addUnderscore || o.addStdcallUnderscore) AddLookupUnderscores(lib, machine, !o.addUnderscore, given, uncut);
    if (!o.prefixAlias.empty()) AddPrefixAliases(lib, machine, o.prefixAlias, underscores, o.killAt, uncut);
  }
  if (!o.dll.empty()) SetDll(lib, o.dll);
  if (!NamesADll(lib)) {
    ReportFileError(o.def, "names no DLL: give it a LIBRARY line or name the DLL with -D");
    return kExitFileError;
  }
  if (hybrid) {
    TFichierLib native;
    if (!ReadListFile(native, o.nativeDef, true, Machine::Arm64)) return kExitFileError;
    SetDll(native, o.dll.empty() ? DllFor(lib, o.lib) : o.dll);
    JoinViews(lib, native, lib);
  }
  if (!o.lib.empty() && !WriteCoffAsPeers(lib, o.lib)) return kExitFileError;
  if (o.delayLib.empty()) return kExitOk;
  // Only code can wait for its first call: a variable's address is read
  // without any call, so data imports stay ordinary ones.
  const std::vector<AnsiString> data = DelayLoad(lib);
  if (!data.empty())
    std::fprintf(stderr, "libmorph-cli: warning: %s: %zu data imports cannot be delay-loaded and stay ordinary "
                         "imports: %s\n",
                 o.def.c_str(), data.size(), NameListText(data).c_str());
  return WriteListFile(lib, o.delayLib, OutputForm::Gnu) ? kExitOk : kExitFileError;
}

}  // namespace cli
