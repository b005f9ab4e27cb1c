// The two commands, once their arguments are parsed. Each answers the
// program's exit status (cli/exit_status.h).
#pragma once

#include <string>
#include <vector>

#include "cli/core_messages.h"

namespace cli {

struct ListArguments {
  std::string file;
  bool asDef = false;
};

struct ConvertArguments {
  std::string input;
  std::string output;
  bool asDef = false;
  std::vector<std::string> conventionFiles;
  std::vector<std::string> pascal;   // NAME=BYTES
  std::vector<std::string> stdcall;  // NAME
  bool strict = false;
};

// Prints one line per entry: Name, convention, ArgLength, Microsoft symbol,
// Borland symbol, separated by tabs.
int RunList(const ListArguments& arguments, const CoreMessages& messages);

// Raises UsageError for --pascal or --stdcall values that are wrong.
int RunConvert(const ConvertArguments& arguments, const CoreMessages& messages);

}  // namespace cli
