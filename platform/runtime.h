// Runtime helpers in the manner of the desktop framework the tool grew up
// with: byte strings, integer conversions, trimming and the two errors
// that abandon a command.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

// A byte string in the Windows-1252 code page.
using AnsiString = std::string;

// Base of the errors shown by the application's general error display.
class Exception : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A text that is not a 32-bit signed integer.
class EConvertError : public Exception {
 public:
  using Exception::Exception;
};

// An index outside a text or an array.
class ERangeError : public Exception {
 public:
  ERangeError();
};

// Decimal (optionally signed, leading blanks allowed) or hexadecimal with
// a "$" or "0x" prefix. Raises EConvertError for anything else, the empty
// text included, and for values outside the 32-bit signed range.
std::int32_t StrToInt(std::string_view text);
std::int32_t StrToIntDef(std::string_view text, std::int32_t fallback);

// Parses like StrToInt without raising; false when text is no integer.
bool TryStrToInt(std::string_view text, std::int32_t& value);

AnsiString IntToStr(std::int64_t value);

// Removes every leading and trailing byte of value 32 or less.
AnsiString Trim(std::string_view text);
