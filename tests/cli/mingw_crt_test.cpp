// mingw-w64's own import libraries, built from its CRT's .def files the way
// its build does (cpp with each machine's define, then dlltool with the
// CRT's flags), once through `libmorph-cli dlltool` and once through
// llvm-dlltool with the same command line: every import must be the same
// (symbol, what the loader looks up, kind, DLL). A tenth of the files also
// go through `libmorph-cli lib` and llvm-lib: the same bytes. scripts/fetch-mingw-w64-crt
// puts the CRT in the cache the test reads.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <mutex>
#include <set>
#include <sstream>
#include <thread>
#include <tuple>

#include "tests/support/archive_members.h"
#include "tests/support/peers.h"
#include "tests/support/test_files.h"

namespace fs = std::filesystem;

namespace {

fs::path CrtFolder() {
  if (const char* given = std::getenv("LIBMORPH_MINGW_CRT")) return given;
  if (const char* cache = std::getenv("LIBMORPH_CACHE")) return fs::path(cache) / "mingw-w64-crt";
  if (fs::exists("/var/cache/libmorph/mingw-w64-crt")) return "/var/cache/libmorph/mingw-w64-crt";
  const char* home = std::getenv("HOME");
  return fs::path(home ? home : "/") / ".cache/libmorph/mingw-w64-crt";
}

// One import as a short import member states it.
using Import = std::tuple<std::string, std::string, int, std::string>;  // symbol, lookup, kind, DLL

std::string Lookup(const std::string& symbol, int nameType, std::uint16_t ordinalOrHint, const std::string& exportAs) {
  if (nameType == 0) return "@" + std::to_string(ordinalOrHint);
  if (nameType == 4) return exportAs;
  std::string name = symbol;
  if (nameType >= 2 && !name.empty() && (name[0] == '?' || name[0] == '@' || name[0] == '_')) name.erase(0, 1);
  if (nameType == 3) name = name.substr(0, name.find('@'));
  return name;
}

// The short import members of an archive; other members (descriptor and
// thunk objects) are the writers' own business.
std::multiset<Import> ImportsOf(const std::string& path) {
  std::multiset<Import> imports;
  for (const ArchiveMember& member : SplitArchive(ReadFileBytes(path))) {
    const Bytes& d = member.data;
    if (d.size() < 20 || Le16(d, 0) != 0 || Le16(d, 2) != 0xFFFF) continue;
    const std::vector<std::string> names = NamesFrom(d, 20);
    if (names.size() < 2) continue;
    const std::uint16_t bits = Le16(d, 18);
    const int nameType = (bits >> 2) & 7;
    const std::string exportAs = names.size() > 2 ? names[2] : "";
    imports.emplace(names[0], Lookup(names[0], nameType, Le16(d, 16), exportAs), bits & 3, names[1]);
  }
  return imports;
}

struct CrtMachine {
  const char* name;
  const char* folder;  // the machine's own .def files, ahead of lib-common's
  const char* define;  // what lib-common's .def.in files are preprocessed with
  const char* flags;   // the CRT's dlltool flags for the machine
  bool delay;          // the CRT also asks for a delay library
  const char* lib;     // lib's /machine:
};

class MingwCrtTest : public ::testing::TestWithParam<CrtMachine> {};

TEST_P(MingwCrtTest, EveryImportLibraryEqualsLlvmDlltoolsImportForImport) {
  const CrtMachine machine = GetParam();
  const std::string dlltool = Peer("llvm-dlltool");
  ASSERT_TRUE(Installed({dlltool, "cpp"}));
  const fs::path crt = CrtFolder();
  ASSERT_TRUE(fs::exists(crt / "lib-common")) << crt << " holds no mingw-w64 CRT: scripts/fetch-mingw-w64-crt fetches it";

  // The .def files the machine's libraries come from, preprocessed as the
  // CRT's makefile does; a machine's own file hides lib-common's.
  TempDir dir;
  std::map<std::string, fs::path> defs;  // library name -> .def
  auto take = [&](const fs::path& folder, const std::string& define, bool own) {
    if (!fs::exists(folder)) return;
    for (const auto& file : fs::directory_iterator(folder)) {
      std::string name = file.path().filename().string();
      const bool in = name.size() > 7 && name.ends_with(".def.in");
      if (!in && !name.ends_with(".def")) continue;
      name = name.substr(0, name.size() - (in ? 7 : 4));
      if (!own && defs.count(name)) continue;
      fs::path def = file.path();
      if (in) {
        def = fs::path(dir.Path()) / (name + ".def");
        std::string log;
        ASSERT_EQ(RunCommand("cpp -x c " + file.path().string() + " -Wp,-w -undef -P -I" + (crt / "def-include").string() +
                                 (define.empty() ? "" : " -D" + define) + " > " + def.string(), &log), 0) << log;
      }
      defs[name] = def;
    }
  };
  take(crt / machine.folder, "", true);
  take(crt / "lib-common", machine.define, false);
  ASSERT_GT(defs.size(), 400u);

  const std::string ours = std::string(LIBMORPH_CLI) + " dlltool";
  const std::string ourLib = std::string(LIBMORPH_CLI) + " lib", peerLib = Peer("llvm-lib");
  // Every tenth file also through lib and llvm-lib, byte for byte.
  std::vector<std::string> libFaults;
  std::size_t libCompared = 0;
  std::vector<std::pair<std::string, fs::path>> work(defs.begin(), defs.end());
  std::atomic<std::size_t> next{0};
  std::mutex lock;
  std::vector<std::string> faults;
  std::size_t imports = 0, sameBytes = 0;
  auto worker = [&] {
    for (std::size_t i; (i = next++) < work.size();) {
      const auto& [name, def] = work[i];
      const std::string lib = (fs::path(dir.Path()) / ("lib" + name)).string();
      const std::string common = std::string(" ") + machine.flags + " -k --as=as --temp-prefix " + name + " --input-def " + def.string();
      std::string ourLog, peerLog;
      const int ourStatus = RunCommand(ours + common + " --output-lib " + lib + ".a" +
                                       (machine.delay ? " --output-delaylib " + lib + ".a.delayimp.a" : ""), &ourLog);
      const int peerStatus = RunCommand(dlltool + common + " --output-lib " + lib + ".peer.a", &peerLog);
      std::string fault;
      std::multiset<Import> mine, theirs;
      if ((ourStatus == 0) != (peerStatus == 0)) {
        fault = name + ": libmorph exit " + std::to_string(ourStatus) + " (" + ourLog + "), llvm-dlltool exit " +
                std::to_string(peerStatus) + " (" + peerLog + ")";
      } else if (ourStatus == 0) {
        mine = ImportsOf(lib + ".a");
        theirs = ImportsOf(lib + ".peer.a");
        if (mine != theirs) {
          std::ostringstream out;
          out << name << ": " << mine.size() << " imports against " << theirs.size();
          std::vector<Import> only;
          std::set_symmetric_difference(mine.begin(), mine.end(), theirs.begin(), theirs.end(), std::back_inserter(only));
          for (std::size_t k = 0; k < only.size() && k < 4; ++k)
            out << (mine.count(only[k]) ? "; ours only: " : "; llvm-dlltool's only: ") << std::get<0>(only[k]) << " -> "
                << std::get<1>(only[k]) << " kind " << std::get<2>(only[k]) << " " << std::get<3>(only[k]);
          fault = out.str();
        } else if (machine.delay && !FileExists(lib + ".a.delayimp.a")) {
          fault = name + ": no delay library";
        }
      }
      const bool same = ourStatus == 0 && fault.empty() && ReadFileBytes(lib + ".a") == ReadFileBytes(lib + ".peer.a");
      std::string libFault;
      const bool viaLib = i % 10 == 0;
      if (viaLib) {
        const std::string args = std::string(" /machine:") + machine.lib + " /def:" + def.string() + " /out:" + lib;
        std::string log;
        if (RunCommand(peerLib + args + ".peer.lib", &log) == 0 &&
            (RunCommand(ourLib + args + ".lib", &log) != 0 || ReadFileBytes(lib + ".lib") != ReadFileBytes(lib + ".peer.lib")))
          libFault = name + (log.empty() ? "" : ": " + log);
      }
      std::lock_guard<std::mutex> hold(lock);
      libCompared += viaLib;
      if (!libFault.empty()) libFaults.push_back(libFault);
      if (!fault.empty()) faults.push_back(fault);
      imports += theirs.size();
      sameBytes += same;
    }
  };
  std::vector<std::thread> threads(std::max(2u, std::thread::hardware_concurrency()));
  for (auto& t : threads) t = std::thread(worker);
  for (auto& t : threads) t.join();

  std::sort(faults.begin(), faults.end());
  std::ostringstream all;
  for (std::size_t k = 0; k < faults.size() && k < 30; ++k) all << "\n  " << faults[k];
  EXPECT_TRUE(faults.empty()) << faults.size() << " of " << work.size() << " libraries differ:" << all.str();
  std::sort(libFaults.begin(), libFaults.end());
  EXPECT_TRUE(libFaults.empty()) << libFaults.size() << " of " << libCompared << " libraries differ from llvm-lib's, "
                                 << (libFaults.empty() ? "" : libFaults.front());
  std::cout << machine.name << ": " << work.size() << " libraries, " << imports << " imports compared, " << sameBytes
            << " byte for byte equal to llvm-dlltool's; " << libCompared << " through lib equal to llvm-lib's\n";
}

INSTANTIATE_TEST_SUITE_P(
    Machines, MingwCrtTest,
    ::testing::Values(CrtMachine{"i386", "lib32", "DEF_I386", "--as-flags=--32 -m i386", true, "x86"},
                      CrtMachine{"x64", "lib64", "DEF_X64", "--as-flags=--64 -m i386:x86-64", true, "x64"},
                      CrtMachine{"arm64", "libarm64", "DEF_ARM64", "-m arm64", false, "arm64"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
