// What the program answers to the script that runs it.
#pragma once

namespace cli {

// Written or listed.
inline constexpr int kExitOk = 0;
// A file could not be opened, read or written (or --strict refused the
// conversion); nothing was written.
inline constexpr int kExitFileError = 1;
// The command line was wrong; the usage text was printed.
inline constexpr int kExitUsage = 2;

}  // namespace cli
