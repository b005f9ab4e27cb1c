// Reading an OMF import library of 100,000 import definitions (one module
// each, page size 16), against the time llvm-dlltool takes to write a
// library of as many entries from a .def file on the same machine.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "files/fichier_lib.h"

namespace {

constexpr int kEntries = 100000;
constexpr std::size_t kPageSize = 16;
constexpr int kRuns = 5;

using Clock = std::chrono::steady_clock;

std::string FunctionName(int i) { return "Function" + std::to_string(i); }

void AppendRecord(std::vector<std::uint8_t>& out, std::uint8_t type,
                  const std::vector<std::uint8_t>& body) {
  const std::size_t start = out.size();
  const std::size_t length = body.size() + 1;
  out.push_back(type);
  out.push_back(static_cast<std::uint8_t>(length));
  out.push_back(static_cast<std::uint8_t>(length >> 8));
  out.insert(out.end(), body.begin(), body.end());
  std::uint8_t sum = 0;
  for (std::size_t i = start; i < out.size(); ++i) sum = static_cast<std::uint8_t>(sum + out[i]);
  out.push_back(static_cast<std::uint8_t>(-sum));
}

void AppendCounted(std::vector<std::uint8_t>& out, const std::string& text) {
  out.push_back(static_cast<std::uint8_t>(text.size()));
  out.insert(out.end(), text.begin(), text.end());
}

std::vector<std::uint8_t> BuildLibrary() {
  std::vector<std::uint8_t> out;
  AppendRecord(out, 0xF0, std::vector<std::uint8_t>(kPageSize - 4, 0));  // library header
  for (int i = 0; i < kEntries; ++i) {
    const std::string internal = (i % 2 ? "_" : "") + FunctionName(i);
    std::vector<std::uint8_t> name;
    AppendCounted(name, internal);
    AppendRecord(out, 0x80, name);  // THEADR
    std::vector<std::uint8_t> definition = {0x00, 0xA0, 0x01, 0x00};
    AppendCounted(definition, internal);
    AppendCounted(definition, "BIG.DLL");
    AppendCounted(definition, "");
    AppendRecord(out, 0x88, definition);
    AppendRecord(out, 0x8A, {0x00});  // MODEND
    out.resize((out.size() + kPageSize - 1) / kPageSize * kPageSize, 0);
  }
  AppendRecord(out, 0xF1, {});
  return out;
}

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

}  // namespace

int main() {
  namespace fs = std::filesystem;
  const fs::path dir = fs::temp_directory_path() / ("libmorph-omf-bench-" + std::to_string(getpid()));
  fs::create_directories(dir);
  const std::string libPath = (dir / "big.lib").string();
  const std::string defPath = (dir / "big.def").string();
  const std::string outPath = (dir / "dlltool.lib").string();

  const std::vector<std::uint8_t> library = BuildLibrary();
  std::ofstream(libPath, std::ios::binary)
      .write(reinterpret_cast<const char*>(library.data()),
             static_cast<std::streamsize>(library.size()));

  double readBest = 1e9;
  std::uint32_t count = 0;
  for (int run = 0; run < kRuns; ++run) {
    TFichierLib lib;
    const auto start = Clock::now();
    lib.ReadOmfLibrary(libPath);
    readBest = std::min(readBest, Seconds(Clock::now() - start));
    count = lib.Fonctions.Count;
  }
  std::printf("OMF read: %d definitions, %zu bytes: %u entries in %.4f s (best of %d)\n",
              kEntries, library.size(), count, readBest, kRuns);

  {
    std::ofstream def(defPath);
    def << "LIBRARY BIG.DLL\nEXPORTS\n";
    for (int i = 0; i < kEntries; ++i) def << FunctionName(i) << "@8\n";
  }
  const std::string command =
      bench::Llvm("llvm-dlltool") + " -m i386 -d '" + defPath + "' -l '" + outPath + "' >/dev/null 2>&1";
  double toolBest = 1e9;
  bool toolOk = true;
  for (int run = 0; run < 3 && toolOk; ++run) {
    const auto start = Clock::now();
    toolOk = std::system(command.c_str()) == 0;
    toolBest = std::min(toolBest, Seconds(Clock::now() - start));
  }
  if (toolOk) {
    std::printf("llvm-dlltool -m i386: %d entries written in %.4f s (best of 3)\n", kEntries,
                toolBest);
    std::printf("ratio read / dlltool: %.4f (target under 0.1)\n", readBest / toolBest);
  } else {
    std::printf("llvm-dlltool failed or is missing: no ratio\n");
  }
  fs::remove_all(dir);
  return count == kEntries && toolOk ? 0 : 1;
}
