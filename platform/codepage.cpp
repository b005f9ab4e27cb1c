#include "platform/codepage.h"

#include <unicode/ucnv.h>
#include <unicode/utf8.h>

#include <array>

namespace {

// The whole code page as two tables, built once from ICU's converter, so
// that converting a long list costs a table look-up per character.
struct Tables {
  std::array<char16_t, 256> toUnicode{};
  std::array<unsigned char, 0x10000> fromUnicode{};  // 0 = not representable
  Tables() {
    for (int b = 0; b < 256; ++b) toUnicode[b] = static_cast<char16_t>(b);
    UErrorCode status = U_ZERO_ERROR;
    UConverter* cnv = ucnv_open("windows-1252", &status);
    if (U_SUCCESS(status)) {
      for (int b = 0x80; b < 0xA0; ++b) {
        char in = static_cast<char>(b);
        UChar out[2];
        status = U_ZERO_ERROR;
        ucnv_setToUCallBack(cnv, UCNV_TO_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &status);
        status = U_ZERO_ERROR;
        int32_t n = ucnv_toUChars(cnv, out, 2, &in, 1, &status);
        // Bytes the code page leaves undefined keep their own value.
        if (U_SUCCESS(status) && n == 1) toUnicode[b] = static_cast<char16_t>(out[0]);
      }
      ucnv_close(cnv);
    }
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
  int32_t i = 0;
  const auto length = static_cast<int32_t>(utf8.size());
  const auto* s = reinterpret_cast<const uint8_t*>(utf8.data());
  while (i < length) {
    UChar32 c;
    U8_NEXT(s, i, length, c);
    if (c == 0) out.push_back('\0');
    else if (c > 0 && c < 0x10000 && t.fromUnicode[static_cast<std::size_t>(c)] != 0)
      out.push_back(static_cast<char>(t.fromUnicode[static_cast<std::size_t>(c)]));
    else out.push_back('?');  // not in the code page, or not valid UTF-8
  }
  return out;
}

std::string AnsiToUtf8(std::string_view ansi) {
  const Tables& t = Cp1252();
  std::string out;
  out.reserve(ansi.size() + ansi.size() / 4);
  for (char b : ansi) {
    char16_t c = t.toUnicode[static_cast<unsigned char>(b)];
    if (c < 0x80) {
      out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (c >> 6)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xE0 | (c >> 12)));
      out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
  }
  return out;
}
