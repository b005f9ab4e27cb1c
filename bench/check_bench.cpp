// Checking a library of 3,664 imports against its DLL (lld-link from a
// .def, every export pointing into one small object of stdcall and cdecl
// functions; the library from llvm-dlltool -k), beside reading the same
// library as `list` does. With a path to libmorph-cli as argument, both
// commands are timed as processes as well.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "check/library_check.h"
#include "bench/bench_support.h"
#include "files/file_kind.h"

namespace {

constexpr int kImports = 3664;
constexpr int kRuns = 5;

using bench::Clock;
using bench::Seconds;

double TimeCommand(const std::string& command) { return bench::TimeCommand(command, kRuns); }

}  // namespace

int main(int argc, char** argv) {
  namespace fs = std::filesystem;
  const fs::path dir = fs::temp_directory_path() / ("libmorph-check-bench-" + std::to_string(getpid()));
  fs::create_directories(dir);
  const std::string d = dir.string();
  std::ofstream(d + "/f.c") << "int __stdcall s1(int a, int b) { return a + b; }\n"
                               "int __stdcall s2(int a) { return a * 3; }\n"
                               "int c1(int a, int b) { return a * b; }\n";
  {
    std::ofstream dll(d + "/big.def"), lib(d + "/lib.def");
    dll << "LIBRARY big.dll\nEXPORTS\n";
    lib << "LIBRARY big.dll\nEXPORTS\n";
    const char* targets[] = {"s1", "s2", "c1"};
    const char* lengths[] = {"@8", "@4", ""};
    for (int i = 0; i < kImports; ++i) {
      dll << "f" << i << "=" << targets[i % 3] << "\n";
      lib << "f" << i << lengths[i % 3] << "\n";
    }
  }
  const std::string build = "cd " + d + " && " + bench::Llvm("clang") +
                            " --target=i686-pc-windows-msvc -O2 -c f.c -o f.obj && " + bench::Llvm("lld-link") +
                            " -dll -noentry -nodefaultlib -out:big.dll f.obj -def:big.def >/dev/null && " +
                            bench::Llvm("llvm-dlltool") + " -m i386 -k -d lib.def -l big.lib";
  if (std::system(build.c_str()) != 0) {
    std::fprintf(stderr, "check_bench: clang, lld-link and llvm-dlltool are needed\n");
    return 1;
  }

  double listBest = 1e9, checkBest = 1e9;
  std::size_t findings = 0;
  for (int run = 0; run < kRuns; ++run) {
    const auto start = Clock::now();
    TFichierLib lib;
    FileKind kind;
    if (!ReadByContent(lib, d + "/big.lib", kind)) return 1;
    const auto read = Clock::now();
    std::vector<check::Dll> dlls(1);
    if (!dlls[0].Open(d + "/big.dll")) return 1;
    const check::Report report = check::Check(lib.Fonctions, dlls);
    const auto done = Clock::now();
    findings = report.Findings.size();
    listBest = std::min(listBest, Seconds(read - start));
    checkBest = std::min(checkBest, Seconds(done - start));
  }
  std::printf("%d imports: read the library %.4f s; read it and check it against its DLL %.4f s (%zu findings)\n",
              kImports, listBest, checkBest, findings);
  if (argc > 1) {
    const std::string cli = argv[1];
    std::printf("libmorph-cli list %.4f s, libmorph-cli check %.4f s\n",
                TimeCommand(cli + " list " + d + "/big.lib >/dev/null"),
                TimeCommand(cli + " check " + d + "/big.lib " + d + "/big.dll >/dev/null"));
  }
  fs::remove_all(dir);
  return 0;
}
