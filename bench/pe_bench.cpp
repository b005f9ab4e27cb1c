// Listing a DLL of 65,000 exports (lld-link from a .def, every export
// pointing into one small object of stdcall and cdecl functions), against
// the time gendef takes to write a .def of the same DLL on the same
// machine. With a path to libmorph-cli as argument, its `list` is timed
// as well.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "bench/bench_support.h"
#include "files/fichier_lib.h"

namespace {

constexpr int kExports = 65000;
constexpr int kRuns = 5;
constexpr const char* kFunctions[] = {"s1", "s2", "c1", "c2"};

using bench::Clock;

using bench::Seconds;

using bench::TimeCommand;

}  // namespace

int main(int argc, char** argv) {
  namespace fs = std::filesystem;
  const fs::path dir = fs::temp_directory_path() / ("libmorph-pe-bench-" + std::to_string(getpid()));
  fs::create_directories(dir);
  const std::string source = (dir / "f.c").string(), object = (dir / "f.obj").string();
  const std::string def = (dir / "big.def").string(), dll = (dir / "big.dll").string();
  std::ofstream(source) << "int __stdcall s1(int a, int b) { return a + b; }\n"
                           "int __stdcall s2(int a) { return a * 3; }\n"
                           "int c1(int a, int b) { return a * b; }\n"
                           "int c2(int a) { return a - 1; }\n";
  {
    std::ofstream out(def);
    out << "LIBRARY big.dll\nEXPORTS\n";
    for (int i = 0; i < kExports; ++i) out << "Function" << i << '=' << kFunctions[i % 4] << '\n';
  }
  const std::string build = bench::Llvm("clang") + " --target=i686-pc-windows-msvc -O2 -c '" + source + "' -o '" + object +
                            "' && " + bench::Llvm("lld-link") + " -dll -noentry -nodefaultlib -def:'" + def + "' -out:'" + dll + "' '" +
                            object + "' >/dev/null 2>&1";
  if (std::system(build.c_str()) != 0) {
    std::printf("clang or lld-link failed or is missing: no DLL to list\n");
    fs::remove_all(dir);
    return 1;
  }

  double best = 1e9;
  std::uint32_t count = 0, unsure = 0;
  std::size_t printed = 0;
  for (int run = 0; run < kRuns; ++run) {
    TFichierLib lib;
    const auto start = Clock::now();
    lib.ReadDllFile(dll);
    // The lines `libmorph-cli list` prints, made and thrown away.
    std::string text;
    for (std::uint32_t i = 0; i < lib.Fonctions.Count; ++i) {
      const TFonctionLib& e = lib.Fonctions.Item(i);
      text += e.Name + '\t' + (e.IsPascal ? "_pascal" : "_stdcall") + '\t' + IntToStr(e.ArgLength) + '\t' +
              MicrosoftName(e) + '\t' + BorlandName(e) + '\n';
    }
    best = std::min(best, Seconds(Clock::now() - start));
    count = lib.Fonctions.Count;
    printed = text.size();
    unsure = 0;
    for (std::uint32_t i = 0; i < count; ++i) unsure += lib.Fonctions.Item(i).Unsure;
  }
  std::printf("DLL list: %d exports, %u entries (%u unsure), %zu bytes of text in %.4f s (best of %d)\n",
              kExports, count, unsure, printed, best, kRuns);

  const double gendef = TimeCommand("gendef - '" + dll + "' >/dev/null 2>&1", 3);
  if (gendef >= 0) {
    std::printf("gendef: %.4f s (best of 3)\n", gendef);
    std::printf("ratio list / gendef: %.4f (target under 0.25)\n", best / gendef);
  } else {
    std::printf("gendef failed or is missing: no ratio\n");
  }
  if (argc > 1) {
    const std::string list = "'" + std::string(argv[1]) + "' list '" + dll + "'";
    const std::string lines = (dir / "lines").string();
    // Timed only when it lists the DLL whole.
    const bool lists = std::system((list + " 2>/dev/null | wc -l >'" + lines + "'").c_str()) == 0 &&
                       std::ifstream(lines).good() &&
                       [&] { std::uint32_t n = 0; std::ifstream(lines) >> n; return n == count; }();
    const double cli = lists ? TimeCommand(list + " >/dev/null 2>&1", 3) : -1;
    if (cli >= 0)
      std::printf("libmorph-cli list: %.4f s (best of 3)\n", cli);
    else
      std::printf("libmorph-cli list does not list this DLL\n");
  }
  fs::remove_all(dir);
  return count == kExports && gendef >= 0 ? 0 : 1;
}
