// Whole commands as a build runs them, on a 32-bit Intel .def of 100,000
// exports (functions with lengths, data, ordinals, plain names), beside
// llvm-dlltool-22 on the same file in the same run: our dlltool, convert
// to COFF and to GNU's form; then the in-process read and write, and the
// proof that every write makes (read back, compared import by import)
// with its share of each. Ratios are to llvm-dlltool's whole command.
// Prints figures; passes or fails nothing.
//
//   build/bench/command_bench build/cli/libmorph-cli
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "coff/coff.h"
#include "files/fichier_lib.h"
#include "files/write_proof.h"

namespace fs = std::filesystem;

namespace {

constexpr int kEntries = 100000;
constexpr int kRuns = 5;

void WriteDef(const fs::path& file) {
  std::ofstream out(file);
  out << "LIBRARY big.dll\nEXPORTS\n";
  for (int i = 0; i < kEntries; ++i) switch (i % 4) {
      case 0: out << "Func" << i << "@" << 4 * (i % 5) << "\n"; break;
      case 1: out << "Data" << i << " DATA\n"; break;
      case 2: out << "Ord" << i << " @" << i % 60000 + 1 << "\n"; break;
      default: out << "Plain" << i << "\n"; break;
    }
}

template <typename F>
double Best(F&& f) {
  double best = 1e9;
  for (int run = 0; run < kRuns; ++run) {
    const auto start = bench::Clock::now();
    f();
    best = std::min(best, bench::Seconds(bench::Clock::now() - start));
  }
  return best;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: command_bench LIBMORPH-CLI\n");
    return 2;
  }
  const std::string cli = argv[1];
  const fs::path dir = fs::temp_directory_path() / ("libmorph-command-bench-" + std::to_string(getpid()));
  fs::create_directories(dir);
  const std::string def = (dir / "big.def").string();
  WriteDef(def);
  const auto in = [&dir](const char* name) { return "'" + (dir / name).string() + "'"; };

  const double peer = bench::TimeCommand(bench::Llvm("llvm-dlltool") + " -m i386 -d " + in("big.def") + " -l " +
                                             in("peer.lib"), kRuns);
  std::printf("%d exports, 32-bit Intel, best of %d runs\n", kEntries, kRuns);
  std::printf("  %-44s %8.3f s\n", "llvm-dlltool-22 -m i386 -d X.def -l X.lib", peer);
  struct Command {
    const char* label;
    std::string line;
  };
  const std::vector<Command> commands = {
      {"libmorph-cli dlltool -m i386 -d X.def -l X.lib", "'" + cli + "' dlltool -m i386 -d " + in("big.def") + " -l " + in("dt.lib")},
      {"libmorph-cli convert X.def X.lib", "'" + cli + "' convert " + in("big.def") + " " + in("cv.lib")},
      {"libmorph-cli convert X.def X.a --to gnu", "'" + cli + "' convert " + in("big.def") + " " + in("cv.a") + " --to gnu"},
  };
  std::vector<double> whole;
  for (const Command& c : commands) {
    whole.push_back(bench::TimeCommand(c.line + " 2>/dev/null", kRuns));
    std::printf("  %-44s %8.3f s  %5.2fx llvm-dlltool's\n", c.label, whole.back(), whole.back() / peer);
  }

  // In process: the read, the write with its proof, and the proof alone.
  TFichierLib lib;
  const double read = Best([&] { lib.ReadDefFile(def); });
  const std::string out = (dir / "inproc.lib").string();
  const double write = Best([&] { lib.WriteCoffLibrary(out); });
  std::vector<std::uint8_t> bytes;
  coff::BuildLibrary(out, lib, coff::CoffLayout::Own, bytes);
  bool proven = true;
  const double proof = Best([&] { proven = proven && ProveWrite(lib, ListForm::Coff, out, bytes); });
  TFichierLib back;
  const double readCoff = Best([&] { back.ReadCoffLibrary(out); });
  std::printf("  %-44s %8.3f s  %5.2fx\n", "in process: read the .def", read, read / peer);
  std::printf("  %-44s %8.3f s  %5.2fx\n", "in process: write COFF, proof included", write, write / peer);
  std::printf("  %-44s %8.3f s  %5.2fx\n", "in process: read the COFF library", readCoff, readCoff / peer);
  std::printf("  %-44s %8.3f s  %s, %.0f%% of the write, %.0f%% of convert, %.0f%% of dlltool\n",
              "the proof alone", proof, proven ? "proven" : "NOT PROVEN", 100 * proof / write,
              100 * proof / whole[1], 100 * proof / whole[0]);
  fs::remove_all(dir);
  return 0;
}
