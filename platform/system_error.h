// The system's own words for an error code that a file call left: errno's
// text on Linux, FormatMessage's on Windows (where the code is the one
// GetLastError answers).
#pragma once

#include <string>

namespace platform {

std::string SystemErrorText(int code);

}  // namespace platform
