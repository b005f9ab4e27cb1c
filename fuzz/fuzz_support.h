// What every fuzz target shares: the input goes through a real file, so
// the readers run exactly the code path the window and the command line
// use, and message boxes are swallowed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Writes data to this process's scratch file and answers its path.
const std::string& ScratchFile(const std::uint8_t* data, std::size_t size);

// A second scratch path for targets that write a file of their own.
const std::string& ScratchOutput();

// Installs a message box handler that shows nothing.
void SilenceMessageBoxes();
