// Writes and reads back COFF import libraries of 1,000, 10,000 and 100,000
// entries and, in the same run, times llvm-dlltool -m i386 making a library
// of the same entries from a .def file. Prints figures; passes or fails
// nothing.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "files/fichier_lib.h"
#include "model/machine.h"
#include "model/machine_change.h"

namespace fs = std::filesystem;
using Seconds = std::chrono::duration<double>;

namespace {

// Half _stdcall, half _pascal with a length, names of 12 to 20 characters.
void FillList(TFichierLib& lib, int n) {
  lib.Fonctions.Clear();
  for (int i = 0; i < n; ++i) {
    TFonctionLib& e = lib.Fonctions.Item(static_cast<std::uint32_t>(i));
    char name[64];
    std::snprintf(name, sizeof name, i % 3 ? "Function%07d" : "GetSomethingFor%07d", (i * 7919) % n);
    e.Name = name;
    e.IsPascal = i % 2 == 1;
    e.ArgLength = e.IsPascal ? 4 * (i % 5) : 0;
  }
}

void WriteDef(const TFichierLib& lib, const std::string& path) {
  std::ofstream out(path);
  out << "LIBRARY bench.dll\nEXPORTS\n";
  for (std::uint32_t i = 0; i < lib.Fonctions.Count; ++i) {
    const TFonctionLib& e = lib.Fonctions.Data[i];
    out << "  " << e.Name;
    if (e.IsPascal) out << '@' << e.ArgLength;
    out << '\n';
  }
}

template <typename F>
double Time(F&& f) {
  // The best of three, for ours and the peer's alike: one run is at the
  // mercy of whatever else the machine does.
  double best = 0;
  for (int run = 0; run < 3; ++run) {
    auto start = std::chrono::steady_clock::now();
    f();
    const double s = Seconds(std::chrono::steady_clock::now() - start).count();
    if (run == 0 || s < best) best = s;
  }
  return best;
}

long MaxRssKb() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

// Extra peak memory of one write, measured in a child of its own so that
// earlier runs do not hide it. Answers kilobytes, or -1.
long WritePeakKb(int n, const std::string& path) {
  int pipeFds[2];
  if (pipe(pipeFds) != 0) return -1;
  pid_t pid = fork();
  if (pid == 0) {
    close(pipeFds[0]);
    TFichierLib lib;
    FillList(lib, n);
    long before = MaxRssKb();
    lib.WriteCoffLibrary(path);
    long extra = MaxRssKb() - before;
    (void)!write(pipeFds[1], &extra, sizeof extra);
    _exit(0);
  }
  close(pipeFds[1]);
  long extra = -1;
  if (read(pipeFds[0], &extra, sizeof extra) != sizeof extra) extra = -1;
  close(pipeFds[0]);
  waitpid(pid, nullptr, 0);
  return extra;
}

}  // namespace

int main() {
  const fs::path dir = fs::temp_directory_path() / ("libmorph-coff-bench-" + std::to_string(getpid()));
  fs::create_directories(dir);
  const bool haveDlltool = std::system(("command -v " + bench::Llvm("llvm-dlltool") + " >/dev/null 2>&1").c_str()) == 0;
  std::printf("%8s %10s %10s %10s %12s %11s %10s %12s\n", "entries", "write s", "read s",
              "dlltool s", "write/tool", "read/tool", "file MB", "write peak MB");
  for (int n : {1000, 10000, 100000}) {
    TFichierLib lib;
    FillList(lib, n);
    const std::string ours = (dir / "bench.lib").string();
    const std::string def = (dir / "bench.def").string();
    const std::string theirs = (dir / "tool.lib").string();

    const double write = Time([&] { lib.WriteCoffLibrary(ours); });
    // Each read into a list of its own, as a window or a command reads.
    std::vector<std::unique_ptr<TFichierLib>> fresh;
    for (int run = 0; run < 3; ++run) fresh.push_back(std::make_unique<TFichierLib>());
    std::size_t next = 0;
    const double read = Time([&] { fresh[next++]->ReadCoffLibrary(ours); });
    const TFichierLib& back = *fresh.back();
    if (back.Fonctions.Count != lib.Fonctions.Count)
      std::printf("read back %u entries of %d!\n", back.Fonctions.Count, n);

    double tool = -1;
    if (haveDlltool) {
      WriteDef(lib, def);
      const std::string command = bench::Llvm("llvm-dlltool") + " -m i386 -d '" + def + "' -l '" + theirs + "'";
      tool = Time([&] { (void)!std::system(command.c_str()); });
    }
    const double sizeMb = static_cast<double>(fs::file_size(ours)) / 1e6;
    const long peakKb = WritePeakKb(n, ours);
    std::printf("%8d %10.4f %10.4f %10.4f %12.3f %11.3f %10.2f %12.2f\n", n, write, read, tool,
                tool > 0 ? write / tool : 0.0, tool > 0 ? read / tool : 0.0, sizeMb,
                static_cast<double>(peakKb) / 1000.0);
  }
  // The same 100,000 entries as an x64 list, beside llvm-dlltool -m i386:x86-64.
  {
    constexpr int n = 100000;
    TFichierLib lib;
    FillList(lib, n);
    const std::string def = (dir / "bench64.def").string();
    if (haveDlltool) WriteDef(lib, def);
    ChangeMachine(lib, Machine::Amd64);
    const std::string ours = (dir / "bench64.lib").string();
    const double write = Time([&] { lib.WriteCoffLibrary(ours); });
    double tool = -1;
    if (haveDlltool) {
      const std::string command =
          bench::Llvm("llvm-dlltool") + " -m i386:x86-64 -d '" + def + "' -l '" + (dir / "tool64.lib").string() + "'";
      tool = Time([&] { (void)!std::system(command.c_str()); });
    }
    std::printf("x64 %d entries: write %.4f s, llvm-dlltool %.4f s, write/tool %.3f, file %.2f MB\n", n,
                write, tool, tool > 0 ? write / tool : 0.0,
                static_cast<double>(fs::file_size(ours)) / 1e6);
  }
  if (!haveDlltool) std::printf("llvm-dlltool not found: no comparison\n");
  fs::remove_all(dir);
  return 0;
}
