#include "platform/runtime.h"

#include <cstddef>
#include <limits>

ERangeError::ERangeError() : Exception("Erreur de vérification d'étendue") {}

namespace {

bool IsBlank(unsigned char c) { return c <= 32; }

int DigitValue(char c, int base) {
  int v = -1;
  if (c >= '0' && c <= '9') v = c - '0';
  else if (c >= 'a' && c <= 'f') v = c - 'a' + 10;
  else if (c >= 'A' && c <= 'F') v = c - 'A' + 10;
  return v < base ? v : -1;
}

}  // namespace

bool TryStrToInt(std::string_view text, std::int32_t& value) {
  std::size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  int base = 10;
  if (i < text.size() && text[i] == '$') {
    base = 16;
    ++i;
  } else if (i + 1 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
    base = 16;
    i += 2;
  }
  if (i == text.size()) return false;
  // Hexadecimal texts name a bit pattern: "$FFFFFFFF" is -1.
  const std::uint64_t limit = base == 16 ? 0xFFFFFFFFull
                              : negative ? 0x80000000ull
                                         : 0x7FFFFFFFull;
  std::uint64_t magnitude = 0;
  for (; i < text.size(); ++i) {
    int d = DigitValue(text[i], base);
    if (d < 0) return false;
    magnitude = magnitude * static_cast<unsigned>(base) + static_cast<unsigned>(d);
    if (magnitude > limit) return false;
  }
  std::int64_t result = base == 16 ? static_cast<std::int32_t>(static_cast<std::uint32_t>(magnitude))
                                   : static_cast<std::int64_t>(magnitude);
  if (negative) result = -result;
  if (result < std::numeric_limits<std::int32_t>::min() ||
      result > std::numeric_limits<std::int32_t>::max())
    return false;
  value = static_cast<std::int32_t>(result);
  return true;
}

std::int32_t StrToInt(std::string_view text) {
  std::int32_t value = 0;
  if (!TryStrToInt(text, value))
    throw EConvertError("'" + std::string(text) + "' n'est pas une valeur entière correcte");
  return value;
}

std::int32_t StrToIntDef(std::string_view text, std::int32_t fallback) {
  std::int32_t value = 0;
  return TryStrToInt(text, value) ? value : fallback;
}

AnsiString IntToStr(std::int64_t value) { return std::to_string(value); }

AnsiString Trim(std::string_view text) {
  std::size_t first = 0;
  std::size_t last = text.size();
  while (first < last && IsBlank(static_cast<unsigned char>(text[first]))) ++first;
  while (last > first && IsBlank(static_cast<unsigned char>(text[last - 1]))) --last;
  return AnsiString(text.substr(first, last - first));
}
