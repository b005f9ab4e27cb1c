// Many runs of the program on one library at once, as a parallel build
// makes them: readers of one file, and saves of one target with readers
// beside them. No run may fail for the others' sake, and every reader sees
// a whole file: the old one or the new one.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "files/file_kind.h"
#include "tests/cli/cli_runner.h"
#include "tests/support/test_files.h"

namespace {

// A library of n functions named after prefix, written by the core.
void MakeLibrary(const std::string& path, const std::string& prefix, int n) {
  TFichierLib lib;
  std::vector<TFonctionLib> entries;
  for (int i = 0; i < n; ++i) entries.push_back(Entry(prefix + std::to_string(i), 4 * (i % 5), true));
  SetList(lib, entries);
  ASSERT_TRUE(lib.WriteCoffLibrary(path));
}

// Runs body(worker, run) in workers threads, runs times each; each body
// answers an empty text or what went wrong. The failures, counted.
struct Failures {
  std::atomic<int> count{0};
  std::mutex lock;
  std::string first;
  void Note(const std::string& what) {
    if (count++ == 0) {
      std::lock_guard<std::mutex> hold(lock);
      first = what;
    }
  }
};

// Under Wine each run starts a whole Windows process: fewer runs there
// keep the test within minutes, with as many at once.
int Runs(int native) {
  const char* wine = std::getenv("LIBMORPH_CLI_WINE");
  return wine && *wine ? std::max(native / 4, 5) : native;
}

void InParallel(int workers, int runs, const std::function<std::string(int, int)>& body, Failures& failures) {
  std::vector<std::thread> threads;
  for (int w = 0; w < workers; ++w)
    threads.emplace_back([&, w] {
      for (int r = 0; r < runs; ++r)
        if (std::string what = body(w, r); !what.empty()) failures.Note(what);
    });
  for (std::thread& t : threads) t.join();
}

std::string Failed(const std::vector<std::string>& arguments, const CliResult& result) {
  if (result.status == 0 && result.err.empty()) return {};
  return Describe(arguments, result);
}

TEST(ParallelUseTest, EightProcessesReadOneLibraryWhileConvertingToTheirOwnOutputs) {
  TempDir dir;
  const std::string shared = dir.File("shared.lib");
  MakeLibrary(shared, "Shared", 300);
  Failures failures;
  const int kWorkers = 8, kRuns = Runs(100);
  InParallel(kWorkers, kRuns, [&](int w, int r) {
    const std::string out = dir.File("out-" + std::to_string(w) + "-" + std::to_string(r % 4) + ".lib");
    const std::vector<std::string> arguments = r % 2 ? std::vector<std::string>{"list", shared}
                                                     : std::vector<std::string>{"convert", shared, out};
    return Failed(arguments, RunCli(arguments));
  }, failures);
  EXPECT_EQ(failures.count, 0) << "of " << kWorkers * kRuns << " runs; the first:\n" << failures.first;

  TFichierLib original, converted;
  FileKind kind;
  ASSERT_TRUE(ReadByContent(original, shared, kind));
  for (int w = 0; w < kWorkers; ++w) {
    const std::string out = dir.File("out-" + std::to_string(w) + "-0.lib");
    ASSERT_TRUE(ReadByContent(converted, out, kind)) << out;
    EXPECT_EQ(ListOf(converted), ListOf(original)) << out;
  }
}

TEST(ParallelUseTest, TwoProcessesSaveOneTargetWhileOthersReadIt) {
  TempDir dir;
  const std::string a = dir.File("a.lib"), b = dir.File("b.lib"), target = dir.File("target.lib");
  MakeLibrary(a, "Alpha", 400);
  MakeLibrary(b, "Beta", 250);
  const std::string listA = RunCli({"list", a}).out, listB = RunCli({"list", b}).out;
  ASSERT_NE(listA, listB);
  ASSERT_TRUE(RunCli({"convert", a, target}).status == 0);

  Failures failures;
  std::atomic<bool> saving{true};
  // Readers go on while the saves last: each sees one library whole.
  std::vector<std::thread> readers;
  std::atomic<int> reads{0};
  for (int i = 0; i < 2; ++i)
    readers.emplace_back([&] {
      while (saving) {
        const std::vector<std::string> arguments{"list", target};
        const CliResult result = RunCli(arguments);
        ++reads;
        if (std::string what = Failed(arguments, result); !what.empty()) failures.Note(what);
        else if (result.out != listA && result.out != listB) failures.Note("a reader saw neither library:\n" + result.out.substr(0, 300));
      }
    });
  const int kSavers = 2, kSaves = Runs(20);
  InParallel(kSavers, kSaves, [&](int w, int) {
    const std::vector<std::string> arguments{"convert", w == 0 ? a : b, target};
    return Failed(arguments, RunCli(arguments));
  }, failures);
  saving = false;
  for (std::thread& t : readers) t.join();
  EXPECT_EQ(failures.count, 0) << "of " << kSavers * kSaves << " saves and " << reads
                               << " reads; the first:\n" << failures.first;
  const std::string last = RunCli({"list", target}).out;
  EXPECT_TRUE(last == listA || last == listB);
  // Nothing left behind but the sources and the target.
  EXPECT_EQ(dir.Entries(), (std::vector<std::string>{"a.lib", "b.lib", "target.lib"}));
}

}  // namespace
