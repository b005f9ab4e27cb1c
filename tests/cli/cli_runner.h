// Runs libmorph-cli as a separate process and keeps what it printed on
// each stream apart, for tests that check the exact output.
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
