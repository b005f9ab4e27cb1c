// What a command-line program needs of the system before it parses its
// arguments.
#pragma once

#include <string>
#include <vector>

namespace platform {

// The arguments in UTF-8, the program's name first. On Linux they are
// argv as given; on Windows they are read from the wide command line, since
// argv there is in the ANSI code page and loses what that cannot hold.
std::vector<std::string> ProgramArguments(int argc, char** argv);

// Makes a console show the UTF-8 this program prints (file names with
// accents); output sent to a file or a pipe is UTF-8 either way. Nothing
// to do on Linux. Windows' console setting is put back at exit.
void UseUtf8Console();

}  // namespace platform
