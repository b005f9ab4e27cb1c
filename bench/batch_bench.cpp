// A toolchain's import libraries in one run: Debian's x86_64 mingw-w64
// import libraries, written as .def files by convert itself, converted
// back to COFF by one batch (convert ... --out-dir), beside llvm-dlltool
// run once per file, as a build runs it, and beside our own command run
// once per file; then the .a files themselves to COFF in one batch; then,
// where scripts/fetch-mingw-w64-crt left it, the .def files mingw-w64's
// CRT builds its x64 libraries from (lib64's own), the same two ways.
// Prints figures; passes or fails nothing.
//
//   build/bench/batch_bench build/cli/libmorph-cli [LIBDIR]
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
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

// lib64's .def files, its .def.in files preprocessed as the CRT's build
// does; empty when the CRT is not in the cache.
std::vector<std::string> CrtLib64Defs(const fs::path& dir) {
  const char* given = std::getenv("LIBMORPH_MINGW_CRT");
  const fs::path crt = given ? fs::path(given) : fs::path("/var/cache/libmorph/mingw-w64-crt");
  std::vector<std::string> defs;
  if (!fs::exists(crt / "lib64")) return defs;
  fs::create_directories(dir / "crt64");
  for (const auto& entry : fs::directory_iterator(crt / "lib64")) {
    const std::string name = entry.path().filename().string();
    if (name.ends_with(".def")) {
      defs.push_back(entry.path().string());
    } else if (name.ends_with(".def.in")) {
      const fs::path out = dir / "crt64" / name.substr(0, name.size() - 3);
      if (std::system(("cpp -x c " + Quoted(entry.path().string()) + " -Wp,-w -undef -P -I" +
                       Quoted((crt / "def-include").string()) + " > " + Quoted(out.string()))
                          .c_str()) == 0)
        defs.push_back(out.string());
    }
  }
  std::sort(defs.begin(), defs.end());
  return defs;
}

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

  const std::vector<std::string> crt = CrtLib64Defs(dir);
  if (crt.empty()) {
    std::printf("mingw-w64's CRT is not in the cache (scripts/fetch-mingw-w64-crt): its lib64 set left out\n");
  } else {
    WriteList(dir / "crt64.txt", crt);
    const std::string list = Quoted((dir / "crt64.txt").string());
    const double crtOurs = bench::TimeCommand(cli + " convert @" + list + " --machine x64 --out-dir " +
                                                  Quoted((dir / "crt-ours").string()) + quiet, 3);
    fs::create_directories(dir / "crt-peer");
    const double crtPeer = bench::TimeCommand(
        "while read f; do n=${f##*/}; " + dlltool + " -m i386:x86-64 -k -d \"$f\" -l " +
            Quoted((dir / "crt-peer").string()) + "/${n%.def}.a; done < " + list + quiet, 1);
    std::printf("mingw-w64 CRT lib64, %zu .def files, one process: %8.3f s (%zu written)\n", crt.size(), crtOurs,
                CountFiles(dir / "crt-ours"));
    std::printf("llvm-dlltool-22, one process each:  %8.3f s   %.1f times faster\n", crtPeer, crtPeer / crtOurs);
  }
  fs::remove_all(dir);
  return 0;
}
