// A toolchain's import libraries in one run: Debian's x86_64 mingw-w64
// import libraries, written as .def files by convert itself, converted
// back to COFF by one batch (convert ... --out-dir), beside llvm-dlltool
// run once per file, as a build runs it, and beside our own command run
// once per file; then the .a files themselves to COFF in one batch.
// Prints figures; passes or fails nothing.
//
//   build/bench/batch_bench build/cli/libmorph-cli [LIBDIR]
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "bench/bench_support.h"

namespace fs = std::filesystem;

namespace {

// The import libraries of the folder: libX.dll.a rather than libX.a where
// both are there (they would give one output name).
std::vector<std::string> Libraries(const fs::path& folder) {
  std::set<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) {
    const std::string name = entry.path().filename().string();
    if (name.starts_with("lib") && name.ends_with(".a")) names.insert(name);
  }
  std::vector<std::string> chosen;
  for (const std::string& name : names)
    if (name.ends_with(".dll.a") || !names.count(name.substr(0, name.size() - 2) + ".dll.a"))
      chosen.push_back((folder / name).string());
  return chosen;
}

void WriteList(const fs::path& file, const std::vector<std::string>& paths) {
  std::ofstream out(file);
  for (const std::string& path : paths) out << path << '\n';
}

std::size_t CountFiles(const fs::path& folder) {
  std::size_t count = 0;
  for (const auto& entry : fs::directory_iterator(folder)) count += entry.path().extension() != "";
  return count;
}

std::string Quoted(const std::string& text) { return "'" + text + "'"; }

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s LIBMORPH-CLI [LIBDIR]\n", argv[0]);
    return 2;
  }
  const std::string cli = fs::absolute(argv[1]).string();
  const fs::path libDir = argc > 2 ? argv[2] : "/usr/x86_64-w64-mingw32/lib";
  const fs::path dir = fs::temp_directory_path() / ("libmorph-batch-bench-" + std::to_string(getpid()));
  fs::create_directories(dir);
  const std::vector<std::string> libraries = Libraries(libDir);
  WriteList(dir / "libraries.txt", libraries);

  // Setup: each import library as a .def file (the static libraries among
  // them are refused and left out).
  const std::string quiet = " >/dev/null 2>&1";
  (void)!std::system((cli + " convert @" + Quoted((dir / "libraries.txt").string()) + " --out-dir " +
                      Quoted((dir / "defs").string()) + " --to def" + quiet)
                         .c_str());
  std::vector<std::string> defs;
  std::size_t exports = 0;
  for (const auto& entry : fs::directory_iterator(dir / "defs")) {
    defs.push_back(entry.path().string());
    std::ifstream in(entry.path());
    for (std::string line; std::getline(in, line);) exports += line.starts_with("  ");
  }
  std::sort(defs.begin(), defs.end());
  WriteList(dir / "defs.txt", defs);
  std::printf("%zu libraries in %s, %zu convertible, %zu exports\n", libraries.size(), libDir.c_str(),
              defs.size(), exports);

  const std::string defList = Quoted((dir / "defs.txt").string());
  const std::string batch = cli + " convert @" + defList + " --machine x64 --out-dir " +
                            Quoted((dir / "ours").string()) + quiet;
  const double ours = bench::TimeCommand(batch, 3);
  const std::size_t written = CountFiles(dir / "ours");

  // One process per file, as a build calls a librarian.
  const auto perFile = [&](const std::string& tool, const std::string& out) {
    fs::create_directories(dir / out);
    return "while read f; do n=${f##*/}; " + tool + " -l " + Quoted((dir / out).string()) +
           "/${n%.def}.lib || exit 1; done < " + defList + quiet;
  };
  const std::string dlltool = bench::Llvm("llvm-dlltool");
  const double peer = bench::TimeCommand(perFile(dlltool + " -m i386:x86-64 -d \"$f\"", "peer"), 1);
  fs::create_directories(dir / "single");
  const double oursPerFile = bench::TimeCommand(
      "while read f; do n=${f##*/}; " + cli + " convert \"$f\" " + Quoted((dir / "single").string()) +
          "/${n%.def}.lib --machine x64 || exit 1; done < " + defList + quiet,
      1);

  std::printf(".def to COFF, one process:          %8.3f s (%zu libraries written)\n", ours, written);
  if (peer > 0)
    std::printf("llvm-dlltool-22, one process each:  %8.3f s   ours/peer %.3f, %.1f times faster\n", peer,
                ours / peer, peer / ours);
  else
    std::printf("llvm-dlltool-22 failed or is missing: no comparison\n");
  if (oursPerFile > 0)
    std::printf("ours, one process each:             %8.3f s\n", oursPerFile);

  // The .a files themselves, read and written as COFF in one batch (it
  // says the static libraries among them are no import libraries).
  const double fromArchives =
      bench::TimeCommand(cli + " convert @" + Quoted((dir / "libraries.txt").string()) + " --out-dir " +
                             Quoted((dir / "from-a").string()) + quiet + " || true",
                         3);
  std::printf(".a to COFF, one process:            %8.3f s (%zu of %zu libraries; the others are static "
              "libraries)\n",
              fromArchives, CountFiles(dir / "from-a"), libraries.size());
  fs::remove_all(dir);
  return 0;
}
