// Writing the largest OMF import library one file holds (65,535 modules:
// every module needs a page and page numbers have 16 bits), beside our
// COFF writer and llvm-dlltool -m i386 writing the COFF library of the
// same list, in the same run.
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

constexpr int kEntries = 65535;
constexpr int kRuns = 5;
using Clock = std::chrono::steady_clock;

std::string FunctionName(int i) { return "Function" + std::to_string(i); }

template <typename Write>
double Best(int runs, Write write, bool& ok) {
  double best = 1e9;
  for (int run = 0; run < runs && ok; ++run) {
    const auto start = Clock::now();
    ok = write();
    best = std::min(best, std::chrono::duration<double>(Clock::now() - start).count());
  }
  return best;
}

}  // namespace

int main() {
  namespace fs = std::filesystem;
  const fs::path dir = fs::temp_directory_path() / ("libmorph-omfw-bench-" + std::to_string(getpid()));
  fs::create_directories(dir);
  const std::string omfPath = (dir / "big.lib").string();
  const std::string coffPath = (dir / "bigcoff.lib").string();
  const std::string defPath = (dir / "big.def").string();
  const std::string toolPath = (dir / "dlltool.lib").string();

  TFichierLib lib;
  for (int i = 0; i < kEntries; ++i) {
    TFonctionLib& e = lib.Fonctions.Item(static_cast<std::uint32_t>(i));
    e.Name = FunctionName(i);
    e.ArgLength = 8;
    e.IsPascal = true;
  }
  {
    std::ofstream def(defPath);
    def << "LIBRARY BIG.DLL\nEXPORTS\n";
    for (int i = 0; i < kEntries; ++i) def << FunctionName(i) << "@8\n";
  }

  bool omfOk = true, coffOk = true, toolOk = true;
  const double omf = Best(kRuns, [&] { return bool(lib.WriteBorlandLibrary(omfPath)); }, omfOk);
  const double coff = Best(kRuns, [&] { return bool(lib.WriteCoffLibrary(coffPath)); }, coffOk);
  const std::string command =
      bench::Llvm("llvm-dlltool") + " -m i386 -d '" + defPath + "' -l '" + toolPath + "' >/dev/null 2>&1";
  const double tool = Best(3, [&] { return std::system(command.c_str()) == 0; }, toolOk);

  std::printf("%-34s %10s %12s\n", "writer (65,535 entries)", "seconds", "bytes");
  const auto Row = [](const char* name, bool ok, double s, const std::string& path) {
    if (ok)
      std::printf("%-34s %10.4f %12ju\n", name, s, static_cast<std::uintmax_t>(fs::file_size(path)));
    else
      std::printf("%-34s %10s\n", name, "failed");
  };
  Row("OMF (WriteBorlandLibrary)", omfOk, omf, omfPath);
  Row("COFF (WriteCoffLibrary)", coffOk, coff, coffPath);
  Row("llvm-dlltool -m i386", toolOk, tool, toolPath);
  if (omfOk && coffOk) std::printf("ratio OMF / COFF: %.3f (target at most 1)\n", omf / coff);
  fs::remove_all(dir);
  return omfOk && coffOk ? 0 : 1;
}
