// Conversions between UTF-8 (file names, the toolkit's texts) and the
// Windows-1252 bytes that names are kept and written in.
#pragma once

#include <string>
#include <string_view>

// A character that Windows-1252 cannot hold (or a byte that is not valid
// UTF-8) becomes "?".
std::string Utf8ToAnsi(std::string_view utf8);
// Every byte maps to a character; the five bytes Windows-1252 leaves
// undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D) map to the C1 control with
// their value, so that no byte is ever lost.
std::string AnsiToUtf8(std::string_view ansi);
