// Writes and reads back a .def file of 100,000 export lines and prints the
// times and the file size. Prints figures; passes or fails nothing.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>

#include "model/fichier_lib.h"

namespace fs = std::filesystem;

namespace {

constexpr int kEntries = 100000;
constexpr int kRuns = 5;

double Seconds(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

int main() {
  const fs::path dir = fs::temp_directory_path() / ("libmorph-def-bench-" + std::to_string(getpid()));
  fs::create_directories(dir);
  const std::string path = (dir / "big.def").string();

  TFichierLib lib;
  for (int i = 0; i < kEntries; ++i) {
    TFonctionLib& e = lib.Fonctions.Item(static_cast<std::uint32_t>(i));
    e.Name = "ExportedFunction" + std::to_string(i);
    e.ArgLength = 0;
    e.IsPascal = true;
  }

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
  std::printf(".def write: %d lines, %ju bytes in %.4f s (best of %d)\n", kEntries,
              static_cast<std::uintmax_t>(fs::file_size(path)), writeBest, kRuns);
  std::printf(".def read: %u entries in %.4f s (best of %d)\n", count, readBest, kRuns);
  fs::remove_all(dir);
  return count == kEntries ? 0 : 1;
}
