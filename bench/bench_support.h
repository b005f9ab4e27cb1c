// What the benchmarks share: wall-clock seconds, the best time of a peer's
// command line, and where the peers are.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <string>

namespace bench {

using Clock = std::chrono::steady_clock;

inline double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

// Best time of a shell command run a few times; negative when it fails.
inline double TimeCommand(const std::string& command, int runs) {
  double best = 1e9;
  for (int run = 0; run < runs; ++run) {
    const auto start = Clock::now();
    if (std::system(command.c_str()) != 0) return -1;
    best = std::min(best, Seconds(Clock::now() - start));
  }
  return best;
}

// An LLVM tool by path: the plain names on Debian 12 are LLVM 14's, and
// the figures compare with the version the tests check against.
inline std::string Llvm(const std::string& tool) { return "/usr/lib/llvm-22/bin/" + tool; }

}  // namespace bench
