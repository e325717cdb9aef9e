#include "net/encoding.h"

#include <gtest/gtest.h>

using namespace mw;
using namespace mw::runtime;
using namespace mw::net;

TEST(UrlEncode, SafeSetHexFormAndUtf8) {
  const Text text = "表情 a-b.c/d"_gbk;
  EXPECT_EQ(urlEncode(text, true), "%B1%ED%C7%E9%20a-b.c%2Fd");
  EXPECT_EQ(urlEncode(text, true, true), "%E8%A1%A8%E6%83%85%20a-b.c%2Fd");
  EXPECT_EQ(urlEncode("abc"), "%61%62%63");
  EXPECT_EQ(urlEncode(""), "");
  EXPECT_EQ(urlEncode("_~*+\x01\xFF", true), "%5F%7E%2A%2B%01%FF");
  EXPECT_EQ(urlEncode("09AZaz-.", true), "09AZaz-.");
}

TEST(UrlDecode, LenientDigitsZeroBytesAndUtf8) {
  EXPECT_EQ(urlDecode("%e8%a1%a8%e6%83%85", true), "表情"_gbk);
  EXPECT_EQ(urlDecode("%e8%a1%a8%e6%83%85"), "\xE8\xA1\xA8\xE6\x83\x85");
  EXPECT_EQ(urlDecode("100%25"), "100%");
  EXPECT_EQ(urlDecode("a%00b"), "ab");
  EXPECT_EQ(urlDecode("ab%"), "ab");
  // A missing low digit counts as 0: "%4" is 0x40.
  EXPECT_EQ(urlDecode("%4"), "@");
  // A non-hex digit counts as -2: "%G1" is (-2 * 16 + 1) mod 256 = 0xE1; "%1G" is 14.
  EXPECT_EQ(urlDecode("%G1"), "\xE1");
  EXPECT_EQ(urlDecode("%1G"), "\x0E");
  EXPECT_EQ(urlDecode("a+b"), "a+b");
  // Encoding and decoding are inverse for every byte but zero.
  std::string all;
  for (int b = 1; b < 256; ++b) all += static_cast<char>(b);
  EXPECT_EQ(urlDecode(urlEncode(all)), all);
  EXPECT_EQ(urlDecode(urlEncode(all, true)), all);
  // Broken UTF-8 turns into "?" rather than vanishing.
  EXPECT_EQ(urlDecode("a%E8%A1b", true), "a?b");
}

TEST(Utf8Gbk, RoundTripAndUnrepresentable) {
  const Text gbkText = "表情包 Memwick"_gbk;
  EXPECT_EQ(gbkToUtf8(gbkText), "表情包 Memwick");
  EXPECT_EQ(utf8ToGbk("表情包 Memwick"), gbkText);
  EXPECT_EQ(utf8ToGbk("x\xF0\x9F\x98\x80y"), "x?y");
  EXPECT_EQ(gbkToUtf8("\x80"), "\xE2\x82\xAC");  // code page 936 holds the euro sign
  // A stray lead byte costs only itself.
  EXPECT_EQ(gbkToUtf8("\x81"
                      "0"),
            "?0");
  EXPECT_EQ(gbkToUtf8(std::string("ab\0cd", 5)), "ab");
}

TEST(Wide, BuffersAreUtf16LeWithTerminator) {
  EXPECT_EQ(toWide(""), "");
  EXPECT_EQ(toWide("abc"), std::string("a\0b\0c\0\0\0", 8));
  EXPECT_EQ(toWide("abc", true), std::string("a\0b\0c\0", 6));
  EXPECT_EQ(toWide("表"_gbk), std::string("\x68\x88\0\0", 4));
  EXPECT_EQ(fromWide(toWide("表情 ok"_gbk)), "表情 ok"_gbk);
  // Units after the zero unit and an odd trailing byte are ignored.
  EXPECT_EQ(fromWide(std::string("a\0\0\0b\0", 6)), "a");
  EXPECT_EQ(fromWide(std::string("a\0b", 3)), "a");
  // A character GBK lacks, as a surrogate pair, is one "?"; a lone surrogate too.
  EXPECT_EQ(fromWide(std::string("\x3D\xD8\x00\xDE", 4)), "?");
  EXPECT_EQ(fromWide(std::string("\x3D\xD8x\0", 4)), "?x");

  // Three UTF-8 bytes measure as two GBK characters: one spare zero unit.
  EXPECT_EQ(toWideCp("表"), std::string("\x68\x88\0\0\0\0", 6));
  EXPECT_EQ(toWideCp("表"_gbk, 936), std::string("\x68\x88\0\0", 4));
  EXPECT_EQ(fromWideCp(toWideCp("表"), 65001), "表");
  EXPECT_EQ(fromWideCp(toWideCp("表")), "表"_gbk);
  // Sized by the GBK measure: six UTF-8 bytes read as GBK are three characters.
  EXPECT_EQ(toWideCp("表情").size(), 8u);
  EXPECT_EQ(toWideCp("ab", 12345), std::string(6, '\0'));
}
