// `libmorph-cli lib`: the command line of llvm-lib (and of the librarian
// it stands in for) as build scripts make import libraries with it:
// /def:, /out:, /machine:, /name:, /defArm64Native:, each with '/' or '-'
// and in any letter case. The library is laid out as llvm-lib lays it out.
#include <cctype>
#include <cstdio>
#include <string>
#include <vector>

#include "cli/dropin.h"
#include "cli/exit_status.h"
#include "cli/library_files.h"
#include "model/dll_names.h"
#include "model/hybrid_views.h"

namespace cli {

namespace {

constexpr char kUsage[] =
    "Usage: libmorph-cli lib /def:FILE.def /out:FILE.lib /machine:MACHINE [/name:DLL]\n"
    "                        [/defArm64Native:NATIVE.def]\n"
    "Writes the import library of a .def file as llvm-lib does (time stamps 0 unless\n"
    "SOURCE_DATE_EPOCH is set). MACHINE: x86, x64, arm64, arm64ec or arm64x. Options start\n"
    "with '/' or '-', in any letter case; /nologo, /WX, /ignore:..., /ltcg and /verbose are\n"
    "accepted and ignored.\n";

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

struct LibOptions {
  std::string def, out, machine, name, nativeDef;
  std::vector<std::string> inputs;
  bool help = false;
};

// Options taking a value after ':', and those taken and ignored.
constexpr const char* kIgnored[] = {"nologo", "wx", "wx:no", "ltcg", "verbose"};

// False (with why) for an option that is none of ours. An argument that
// is no option at all is an input: on Linux "/home/x.obj" is a path.
bool TakeOption(const std::string& arg, LibOptions& o, std::string& why) {
  const std::string body = arg.substr(1);
  const std::size_t colon = body.find(':');
  const std::string key = Lower(body.substr(0, colon));
  const std::string value = colon == std::string::npos ? std::string() : body.substr(colon + 1);
  for (const char* ignored : kIgnored)
    if (Lower(body) == ignored) return true;
  if (key == "ignore" && colon != std::string::npos) return true;
  if (key == "help" || key == "?") {
    o.help = true;
    return true;
  }
  std::string* field = key == "def" ? &o.def
                       : key == "out" ? &o.out
                       : key == "machine" ? &o.machine
                       : key == "name" ? &o.name
                       : key == "defarm64native" ? &o.nativeDef
                                                 : nullptr;
  if (field == nullptr) {
    why = "option " + arg + " is not taken: only import libraries are made here, from /def:";
    return false;
  }
  if (value.empty()) {
    why = "option " + arg.substr(0, colon + 1) + " needs a value after ':'";
    return false;
  }
  *field = value;
  return true;
}

// "/nologo" is an option; "/home/me/x.obj" is not, and stays a path.
bool LooksLikeOption(const std::string& arg) {
  if (arg.size() < 2 || (arg[0] != '/' && arg[0] != '-')) return false;
  if (arg[0] == '-') return true;
  const std::string key = Lower(arg.substr(1, arg.find(':') == std::string::npos ? std::string::npos
                                                                                  : arg.find(':') - 1));
  for (const char* known : {"def", "out", "machine", "name", "defarm64native", "ignore", "help", "?", "nologo",
                            "wx", "ltcg", "verbose", "libpath", "list", "llvmlibthin", "export", "include",
                            "subsystem", "nodefaultlib", "remove", "extract", "errorreport", "deffile"})
    if (key == known) return true;
  // A path has another '/' in it or names a file that is there.
  return arg.find('/', 1) == std::string::npos && arg.find('.') == std::string::npos;
}

std::optional<Machine> MachineOfLibWord(const std::string& word) {
  const std::string w = Lower(word);
  if (w == "x86" || w == "i386") return Machine::I386;
  if (w == "x64" || w == "amd64") return Machine::Amd64;
  if (w == "arm64") return Machine::Arm64;
  if (w == "arm64ec") return Machine::Arm64ec;
  if (w == "arm64x") return Machine::Arm64x;
  return std::nullopt;
}

int Usage(const std::string& why) {
  std::fprintf(stderr, "libmorph-cli lib: %s (libmorph-cli lib /help lists the options)\n", why.c_str());
  return kExitUsage;
}

}  // namespace

int RunLib(const std::vector<std::string>& arguments) {
#ifdef _WIN32
  constexpr bool kBackslashEscapes = false;  // paths are full of them
#else
  constexpr bool kBackslashEscapes = true;
#endif
  LibOptions o;
  for (const std::string& arg : ExpandResponseFiles(arguments, kBackslashEscapes)) {
    std::string why;
    if (!LooksLikeOption(arg)) o.inputs.push_back(arg);
    else if (!TakeOption(arg, o, why)) return Usage(why);
  }
  if (o.help) {
    std::printf("%s", kUsage);
    return kExitOk;
  }
  if (!o.inputs.empty())
    return Usage("'" + o.inputs.front() + "': objects and libraries are not merged here; name a .def with /def:");
  if (o.def.empty()) return Usage("no /def: file");
  if (o.out.empty()) return Usage("no /out: file");
  if (o.machine.empty()) return Usage("/def: needs /machine: (x86, x64, arm64, arm64ec or arm64x)");
  const std::optional<Machine> machine = MachineOfLibWord(o.machine);
  if (!machine)
    return Usage("/machine:" + o.machine + ": unknown or unsupported machine; x86, x64, arm64, arm64ec or arm64x");
  if (!o.nativeDef.empty() && *machine != Machine::Arm64x && *machine != Machine::Arm64ec)
    return Usage("/defArm64Native: gives the ARM64 view of an ARM64X library: it needs /machine:arm64x");
  UseZeroTimeStamps();

  const bool hybrid = *machine == Machine::Arm64x || !o.nativeDef.empty();
  TFichierLib lib;
  if (!ReadListFile(lib, o.def, true, hybrid ? Machine::Arm64ec : *machine)) return kExitFileError;
  if (*machine == Machine::I386) ReadAs32BitIntel(lib, o.def, DefRules::Msvc, true);
  // An import from a DLL without a name loads nothing: the output's name
  // stands in, and the user is told.
  std::string dll = o.name;
  if (dll.empty() && !NamesADll(lib)) {
    dll = DefaultDllName(o.out);
    std::fprintf(stderr, "libmorph-cli: %s: no LIBRARY line and no /name:, importing from %s after the output's name\n",
                 o.def.c_str(), dll.c_str());
  }
  if (!dll.empty()) SetDll(lib, dll);
  if (hybrid) {
    TFichierLib native;
    if (!o.nativeDef.empty() && !ReadListFile(native, o.nativeDef, true, Machine::Arm64)) return kExitFileError;
    SetDll(native, DllFor(lib, o.out));
    JoinViews(lib, native, lib);
  }
  return WriteCoffAsPeers(lib, o.out) ? kExitOk : kExitFileError;
}

}  // namespace cli
