#include "platform/system_error.h"

#include <cstring>

namespace platform {

std::string SystemErrorText(int code) { return std::strerror(code); }

}  // namespace platform
