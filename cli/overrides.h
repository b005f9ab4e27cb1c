// The conventions given one by one on the command line:
//   --pascal NAME=BYTES   NAME is _pascal with BYTES of arguments
//   --stdcall NAME        NAME is _stdcall
#pragma once

#include <stdexcept>
#include <string>
#include <vector>

#include "model/conventions.h"

namespace cli {

// A value that cannot be understood, or two values that contradict each
// other; the command line is wrong.
class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// One entry per name. BYTES is a non-negative integer; a name given twice
// must be given the same way both times. Raises UsageError otherwise.
ConventionTable ParseOverrides(const std::vector<std::string>& pascal,
                               const std::vector<std::string>& stdcall);

}  // namespace cli
