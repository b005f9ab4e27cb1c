#include "platform/command_line.h"

namespace platform {

std::vector<std::string> ProgramArguments(int argc, char** argv) { return {argv, argv + argc}; }

void UseUtf8Console() {}

}  // namespace platform
