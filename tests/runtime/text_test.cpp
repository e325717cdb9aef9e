#include "runtime/text.h"

#include <gtest/gtest.h>

#include "runtime/charset.h"
#include "runtime/event_pump.h"

using namespace mw;
using namespace mw::runtime;

TEST(GbkLiteral, ConvertsUtf8SourceToGbkBytesAndBack) {
  EXPECT_EQ("表情"_gbk, "\xB1\xED\xC7\xE9");
  EXPECT_EQ(utf8("\xB1\xED\xC7\xE9"), "表情");
  EXPECT_EQ("abc"_gbk, "abc");
  // A character GBK cannot hold becomes one "?".
  EXPECT_EQ(gbk("a\xF0\x9F\x98\x80z"), "a?z");
}

TEST(FindText, PositionsAreOneBasedAndRespectDoubleByteCharacters) {
  EXPECT_EQ(findText("abcabc", "c"), 3);
  EXPECT_EQ(findText("abcabc", "c", 4), 6);
  EXPECT_EQ(findText("abcabc", "c", -5), 3);
  EXPECT_EQ(findText("abcabc", "x"), -1);
  EXPECT_EQ(findText("abc", ""), -1);
  EXPECT_EQ(findText("abc", "abcd"), -1);
  EXPECT_EQ(findText("abc", "c", 10), -1);
  // 表 is B1 ED, 情 is C7 E9: the bytes "ED C7" straddle two characters and must not match.
  const Text biao = "表情"_gbk;
  EXPECT_EQ(findText(biao, "\xED\xC7"), -1);
  // GBK trail bytes can be ASCII letters: 丂 is 81 40, 乊 is 81 41 ('A').
  const Text withTrailA = "x\x81\x41y";
  EXPECT_EQ(findText(withTrailA, "A"), -1);
  EXPECT_EQ(findText(withTrailA, "y"), 4);
  EXPECT_EQ(findText("a" + biao + "b", "b"), 6);
  // Runs of high bytes pair up from the last boundary: odd length puts "a" in a trail.
  EXPECT_EQ(findText("\x81\x81\x81"
                     "a",
                     "a"),
            -1);
  EXPECT_EQ(findText("\x81\x81"
                     "a",
                     "a"),
            3);
  EXPECT_EQ(findText("\x81\x81\x81"
                     "a"
                     "a",
                     "a"),
            5);
  EXPECT_EQ(findText("x\x81\x41\x81\x81"
                     "A",
                     "A"),
            6);
  // The walk starts at `from`, taken as a character start.
  EXPECT_EQ(findText("\x81"
                     "a"
                     "\x81"
                     "a",
                     "a", 2),
            2);
}

TEST(FindText, IgnoreCaseFoldsOnlyStandaloneAsciiLetters) {
  EXPECT_EQ(findText("xx SRC=\"a\"", "src=\"", 1, true), 4);
  EXPECT_EQ(findText("xx SRC=\"a\"", "src=\"", 1, false), -1);
  // 'a' after a lead byte is a trail byte: never folded to match 'A'.
  EXPECT_EQ(findText("\x81\x61", "\x81\x41", 1, true), -1);
  EXPECT_EQ(findText("\x81\x61"
                     "A",
                     "a", 1, true),
            3);
  EXPECT_EQ(findText("ab", "A[", 1, true), -1);
}

TEST(Trim, RemovesAsciiAndIdeographicSpacesOnly) {
  EXPECT_EQ(trimBlanks("  a b  "), "a b");
  EXPECT_EQ(trimBlanks("\xA1\xA1 a \xA1\xA1"), "a");
  EXPECT_EQ(trimBlanks("\ta\n"), "\ta\n");
  EXPECT_EQ(trimBlanks("   "), "");
  EXPECT_EQ(trimBlanks("\xA1"), "\xA1");
}

TEST(Numbers, LeadingDecimalTruncatedTowardZero) {
  EXPECT_EQ(toInteger("12.9"), 12);
  EXPECT_EQ(toInteger("-12.9"), -12);
  EXPECT_EQ(toInteger("57张"), 57);
  EXPECT_EQ(toInteger("abc"), 0);
  EXPECT_EQ(toInteger(""), 0);
  EXPECT_EQ(toInteger(" 7"), 7);
  EXPECT_EQ(toInteger("99999999999999999999999"), std::numeric_limits<long long>::max());
  EXPECT_DOUBLE_EQ(toReal("2.5x"), 2.5);
  EXPECT_EQ(fromInteger(-3), "-3");
  EXPECT_EQ(textFromBytes(std::string("ab\0cd", 5)), "ab");
}

TEST(Charset, UnknownNameAndTruncatedInput) {
  EXPECT_FALSE(convertCharset("x", "NO-SUCH-CHARSET", "GBK").has_value());
  EXPECT_EQ(convertCharset("a\xE8\xA1", "UTF-8", "GBK").value(), "a?");
  EXPECT_EQ(convertCharset("ab", "UTF-8", "UTF-16LE").value(), std::string("a\0b\0", 4));
}

TEST(EventPump, RunsTheInstalledPumpAndIsSilentWithout) {
  pumpEvents();
  int calls = 0;
  setEventPump([&] { ++calls; });
  pumpEvents();
  pumpEvents();
  setEventPump(nullptr);
  pumpEvents();
  EXPECT_EQ(calls, 2);
}

TEST(SplitText, InnerEmptyPiecesStayTheTrailingOneDoesNot) {
  EXPECT_EQ(splitText("a;;b;", ";"), (TextArray{"a", "", "b"}));
  EXPECT_EQ(splitText(";a", ";"), (TextArray{"", "a"}));
  EXPECT_EQ(splitText("a\r\n\r\nb", "\r\n"), (TextArray{"a", "", "b"}));
  EXPECT_EQ(splitText("", ";"), TextArray{});
  EXPECT_EQ(splitText("a;b", ""), TextArray{"a;b"});
}
