// Runs libmorph-cli as a separate process and keeps what it printed on
// each stream apart, for tests that check the exact output.
//
// With LIBMORPH_CLI_WINE set (32 or 64), the program run is that .exe of
// scripts/build-windows under Wine (wine, or wine64): the same tests then
// check the .exe. Its CRLF line ends read as "\n".
#pragma once

#include <string>
#include <vector>

struct CliResult {
  int status = -1;  // exit status; -1 when it did not exit normally
  std::string out;  // standard output, as bytes
  std::string err;  // standard error, as bytes
};

// Arguments are handed over as they are: no shell, no quoting.
CliResult RunCli(const std::vector<std::string>& arguments);

// For failure messages: the command line and both streams.
std::string Describe(const std::vector<std::string>& arguments, const CliResult& result);

// The system's reason for a refused file, in the words of the system the
// program runs on: errno's texts on Linux, FormatMessage's (Wine's
// wording) for the .exe.
enum class SystemReason { NoSuchFile, NoSuchFolder, IsAFolder, AccessDenied };
std::string ReasonText(SystemReason reason);
