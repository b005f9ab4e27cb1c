// Writes and reads back .def files of 100,000 export lines, once as lists
// made by hand and once with every line saying how it is imported, and
// prints the times and the file sizes. Prints figures; passes or fails
// nothing.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>

#include "files/fichier_lib.h"

namespace fs = std::filesystem;

namespace {

constexpr int kEntries = 100000;
constexpr int kRuns = 5;

double Seconds(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

// Best write and read times of list through path, printed under label;
// answers whether every entry read back.
bool Measure(const char* label, TFichierLib& lib, const std::string& path) {
  double writeBest = 1e9;
  double readBest = 1e9;
  std::uint32_t count = 0;
  for (int run = 0; run < kRuns; ++run) {
    auto start = std::chrono::steady_clock::now();
    lib.WriteDefFile(path);
    writeBest = std::min(writeBest, Seconds(start));
    TFichierLib back;
    start = std::chrono::steady_clock::now();
    back.ReadDefFile(path);
    readBest = std::min(readBest, Seconds(start));
    count = back.Fonctions.Count;
  }
  std::printf(".def write%s: %d lines, %ju bytes in %.4f s (best of %d)\n", label, kEntries,
              static_cast<std::uintmax_t>(fs::file_size(path)), writeBest, kRuns);
  std::printf(".def read%s: %u entries in %.4f s (best of %d)\n", label, count, readBest, kRuns);
  return count == kEntries;
}

int main() {
  const fs::path dir =
      fs::temp_directory_path() / ("libmorph-def-bench-" + std::to_string(getpid()));
  fs::create_directories(dir);
  const std::string path = (dir / "big.def").string();

  TFichierLib lib;
  for (int i = 0; i < kEntries; ++i) {
    TFonctionLib& e = lib.Fonctions.Item(static_cast<std::uint32_t>(i));
    e.Name = "ExportedFunction" + std::to_string(i);
    e.ArgLength = 0;
    e.IsPascal = true;
  }
  bool whole = Measure("", lib, path);

  for (int i = 0; i < kEntries; ++i) {
    TFonctionLib& e = lib.Fonctions.Item(static_cast<std::uint32_t>(i));
    e.ArgLength = 4 * (i % 8);
    e.Import.Dll = "big.dll";
    e.Import.ExportName = e.Name;
    e.Import.Ordinal = static_cast<std::uint16_t>(i % 65535 + 1);
    e.Import.Kind = i % 10 == 0 ? ImportKind::Data : ImportKind::Code;
  }
  whole = Measure(" (bound)", lib, path) && whole;
  fs::remove_all(dir);
  return whole ? 0 : 1;
}
