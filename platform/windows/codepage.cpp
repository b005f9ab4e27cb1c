// Windows-1252 through the system's own converter: the same two tables as
// on Linux, filled by MultiByteToWideChar instead of ICU.
#include "platform/codepage.h"

#include <array>

#include "platform/windows/system.h"

namespace {

struct Tables {
  std::array<char16_t, 256> toUnicode{};
  std::array<unsigned char, 0x10000> fromUnicode{};  // 0 = not representable
  Tables() {
    const std::u16string table = platform::windows::Cp1252Table();
    for (int b = 0; b < 256; ++b) toUnicode[b] = table[static_cast<std::size_t>(b)];
    for (int b = 255; b >= 1; --b) fromUnicode[toUnicode[b]] = static_cast<unsigned char>(b);
  }
};

const Tables& Cp1252() {
  static const Tables tables;
  return tables;
}

}  // namespace

std::string Utf8ToAnsi(std::string_view utf8) {
  const Tables& t = Cp1252();
  std::string out;
  out.reserve(utf8.size());
  const std::u16string text = platform::windows::Utf16(utf8);
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char16_t c = text[i];
    if (c == 0) {
      out.push_back('\0');
    } else if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
               text[i + 1] <= 0xDFFF) {
      out.push_back('?');  // one character beyond the first plane
      ++i;
    } else {
      const unsigned char b = t.fromUnicode[c];
      out.push_back(b != 0 ? static_cast<char>(b) : '?');
    }
  }
  return out;
}

std::string AnsiToUtf8(std::string_view ansi) {
  const Tables& t = Cp1252();
  std::u16string text;
  text.reserve(ansi.size());
  for (char b : ansi) text.push_back(t.toUnicode[static_cast<unsigned char>(b)]);
  return platform::windows::Utf8(text);
}
