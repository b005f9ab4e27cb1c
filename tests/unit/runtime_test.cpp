#include <gtest/gtest.h>

#include "platform/codepage.h"
#include "platform/runtime.h"

namespace {

TEST(RuntimeTest, StrToIntAcceptsIntegersOnly) {
  struct Case {
    const char* text;
    bool ok;
    std::int32_t value;
  };
  for (const Case& c : {Case{"0", true, 0}, Case{"12", true, 12}, Case{"-4", true, -4},
                        Case{"+7", true, 7}, Case{"  8", true, 8}, Case{"$1F", true, 31},
                        Case{"0x10", true, 16}, Case{"2147483647", true, 2147483647},
                        Case{"-2147483648", true, -2147483647 - 1}, Case{"$FFFFFFFF", true, -1},
                        Case{"", false, 0}, Case{"-", false, 0}, Case{" ", false, 0},
                        Case{"1 2", false, 0}, Case{"8 ", false, 0}, Case{"abc", false, 0},
                        Case{"2147483648", false, 0}, Case{"-2147483649", false, 0},
                        Case{"$", false, 0}, Case{"$100000000", false, 0}, Case{"1.5", false, 0}}) {
    SCOPED_TRACE(c.text);
    if (c.ok) {
      EXPECT_EQ(StrToInt(c.text), c.value);
      EXPECT_EQ(StrToIntDef(c.text, 99), c.value);
    } else {
      EXPECT_THROW(StrToInt(c.text), EConvertError);
      EXPECT_EQ(StrToIntDef(c.text, 99), 99);
    }
  }
}

TEST(RuntimeTest, ConversionErrorIsAnException) {
  try {
    StrToInt("x");
    FAIL();
  } catch (const Exception& e) {
    EXPECT_NE(std::string(e.what()).find("'x'"), std::string::npos);
  }
}

TEST(RuntimeTest, TrimRemovesEveryByteUpToSpace) {
  EXPECT_EQ(Trim(" \t\r\n\x01" "Foo Bar\x1f \x0b"), "Foo Bar");
  EXPECT_EQ(Trim("\xa0x\xa0"), "\xa0x\xa0");  // high bytes are characters
  EXPECT_EQ(Trim("   "), "");
  EXPECT_EQ(Trim(std::string("\0a\0", 3)), "a");
}

TEST(RuntimeTest, IntToStrIsPlainDecimal) {
  EXPECT_EQ(IntToStr(0), "0");
  EXPECT_EQ(IntToStr(-4), "-4");
  EXPECT_EQ(IntToStr(1000), "1000");
}

TEST(CodepageTest, RoundTripsEveryByte) {
  std::string all;
  for (int b = 1; b < 256; ++b) all.push_back(static_cast<char>(b));
  EXPECT_EQ(Utf8ToAnsi(AnsiToUtf8(all)), all);
}

TEST(CodepageTest, MapsTheWindowsCharacters) {
  EXPECT_EQ(AnsiToUtf8("\x80"), "€");
  EXPECT_EQ(AnsiToUtf8("caf\xe9"), "café");
  EXPECT_EQ(Utf8ToAnsi("€uro"), "\x80uro");
  EXPECT_EQ(Utf8ToAnsi("Œuvre"), "\x8cuvre");
  // What the code page cannot hold becomes one "?" per character.
  EXPECT_EQ(Utf8ToAnsi("日本"), "??");
  EXPECT_EQ(Utf8ToAnsi("a😀b"), "a?b");
  EXPECT_EQ(Utf8ToAnsi("\xff"), "?");  // not UTF-8
}

}  // namespace
