#include "net/regex_object.h"

#include <gtest/gtest.h>

using namespace mw;
using namespace mw::runtime;
using namespace mw::net;

namespace {
const char* kCharsetPattern = "<meta.+?charset=[^\\w]?([-\\w]+)";
}

TEST(RegexObject, FindsTheDeclaredCharsetLikeTheRequestEngine) {
  RegexObject re;
  const Text head = "<html><head><META http-equiv=\"Content-Type\" content=\"text/html; charset=utf-8\" />";
  ASSERT_TRUE(re.create(kCharsetPattern, head));
  EXPECT_EQ(re.submatchText(1, 1), "utf-8");
  EXPECT_EQ(re.matchCount(), 1);
  EXPECT_EQ(re.submatchCount(), 1);
  EXPECT_EQ(re.pattern(), kCharsetPattern);

  ASSERT_TRUE(re.create(kCharsetPattern, "<html><head><title>x</title>"));
  EXPECT_EQ(re.matchCount(), 0);
  EXPECT_EQ(re.submatchText(1, 1), "");
  EXPECT_EQ(re.submatchCount(), 0);

  // Case-sensitive: meta does not match META.
  ASSERT_TRUE(re.create(kCharsetPattern, head, true));
  EXPECT_EQ(re.matchCount(), 0);

  ASSERT_TRUE(re.create("charset=#引号(\\w+)"_gbk, "<meta charset=\"gbk\">", false, true, true, true));
  EXPECT_EQ(re.submatchText(1, 1), "gbk");
  EXPECT_EQ(re.pattern(), "charset=\"(\\w+)");
  // Without the option the token is literal and finds nothing.
  ASSERT_TRUE(re.create("charset=#引号(\\w+)"_gbk, "<meta charset=\"gbk\">"));
  EXPECT_EQ(re.matchCount(), 0);
}

TEST(RegexObject, FailuresGiveEmptyValues) {
  RegexObject re;
  int pos = 7;
  EXPECT_EQ(re.matchCount(), 0);
  EXPECT_EQ(re.matchText(1, &pos), "");
  EXPECT_EQ(pos, -2);
  EXPECT_EQ(re.pattern(), "");
  EXPECT_EQ(re.replace("x"), "");

  EXPECT_FALSE(re.create("(unbalanced", "unbalanced"));
  EXPECT_EQ(re.matchCount(), 0);
  EXPECT_EQ(re.pattern(), "(unbalanced");
  EXPECT_EQ(re.replace("x"), "");

  ASSERT_TRUE(re.create("(a)(b)?", "a a"));
  EXPECT_EQ(re.matchCount(), 2);
  EXPECT_EQ(re.matchText(3), "");
  EXPECT_EQ(re.matchText(0), "");
  EXPECT_EQ(re.submatchText(1, 3), "");
  EXPECT_EQ(re.submatchText(1, 0), "");
  EXPECT_EQ(re.submatchText(1, 2, &pos), "");  // a group that took no part
  EXPECT_EQ(pos, -2);

  // A runaway pattern fails instead of hanging.
  EXPECT_FALSE(re.create("(a+)+$", std::string(5000, 'a') + "b"));
}

TEST(RegexObject, PositionsAreGbkByteOffsets) {
  RegexObject re;
  // 表情 takes four bytes, so "ab" starts at byte 4 although it is the third character.
  const Text subject = "表情ab表ab"_gbk;
  ASSERT_TRUE(re.create("a(b)", subject));
  ASSERT_EQ(re.matchCount(), 2);
  int pos = 0;
  EXPECT_EQ(re.matchText(1, &pos), "ab");
  EXPECT_EQ(pos, 4);
  EXPECT_EQ(re.matchText(2, &pos), "ab");
  EXPECT_EQ(pos, 8);
  EXPECT_EQ(re.submatchText(2, 1, &pos), "b");
  EXPECT_EQ(pos, 9);

  // Chinese in pattern and subject, matched as characters, results in GBK.
  ASSERT_TRUE(re.create("情(.)"_gbk, subject));
  EXPECT_EQ(re.submatchText(1, 1), "a");
  ASSERT_TRUE(re.create("^.{3}$", "表情a"_gbk));
  EXPECT_EQ(re.matchCount(), 1);

  // Invalid GBK neither breaks matching nor shifts positions; it comes back byte for byte.
  const Text broken =
      "\xFF\x81x\x80"
      "ab\xA1";
  ASSERT_TRUE(re.create("(.)ab(.)", broken));
  EXPECT_EQ(re.matchText(1, &pos),
            "\x80"
            "ab\xA1");
  EXPECT_EQ(pos, 3);
  EXPECT_EQ(re.submatchText(1, 2), "\xA1");
  // A stray byte in the pattern is a character to match, not a "?" quantifier.
  ASSERT_TRUE(re.create("a\xFF", "a"));
  EXPECT_EQ(re.matchCount(), 0);
  ASSERT_TRUE(re.create("b\xFF", "ab\xFF"));
  EXPECT_EQ(re.matchText(1, &pos), "b\xFF");
  EXPECT_EQ(pos, 1);
  // A GBK trail byte that looks like "a" is no "a".
  ASSERT_TRUE(re.create("a",
                        "\x81"
                        "a"));
  EXPECT_EQ(re.matchCount(), 0);
}

TEST(RegexObject, GlobalMultilineAndEmptyMatches) {
  RegexObject re;
  ASSERT_TRUE(re.create("^\\w", "ab\ncd"));
  EXPECT_EQ(re.matchCount(), 2);
  ASSERT_TRUE(re.create("^\\w", "ab\ncd", false, false));
  EXPECT_EQ(re.matchCount(), 1);
  ASSERT_TRUE(re.create("b$", "ab\n", false, false));
  EXPECT_EQ(re.matchCount(), 0);
  ASSERT_TRUE(re.create("b$", "ab\n"));
  EXPECT_EQ(re.matchCount(), 1);
  ASSERT_TRUE(re.create("(a)|\\1b", "b"));  // a back-reference to an unset group matches empty
  EXPECT_EQ(re.matchCount(), 1);
  ASSERT_TRUE(re.create("\\w", "ab\ncd", false, true, false));
  EXPECT_EQ(re.matchCount(), 1);
  // "." stops at a line feed; \w is ASCII only.
  ASSERT_TRUE(re.create("a.c", "a\nc"));
  EXPECT_EQ(re.matchCount(), 0);
  ASSERT_TRUE(re.create("\\w+", "表情"_gbk));
  EXPECT_EQ(re.matchCount(), 0);
  // Empty matches advance one character, as a script engine does.
  ASSERT_TRUE(re.create("a*", "baa" + "表"_gbk));
  ASSERT_EQ(re.matchCount(), 4);
  EXPECT_EQ(re.matchText(2), "aa");
  int pos = 0;
  EXPECT_EQ(re.matchText(3, &pos), "");
  EXPECT_EQ(pos, 3);
  EXPECT_EQ(re.matchText(4, &pos), "");
  EXPECT_EQ(pos, 5);
  ASSERT_TRUE(re.create("\\u8868", "x表"_gbk));  // \u escapes name characters
  EXPECT_EQ(re.matchText(1, &pos), "表"_gbk);
  EXPECT_EQ(pos, 1);
}

TEST(RegexObject, ReplaceAndCopy) {
  RegexObject re;
  ASSERT_TRUE(re.create("(\\w)(\\d)?", "a1 b"));
  EXPECT_EQ(re.replace("[$2$1]"), "[1a] [b]");
  EXPECT_EQ(re.replace("<$&|$`|$'|$$|$0|$9|$>"), "<a1|| b|$|$0|$9|$> <b|a1 ||$|$0|$9|$>");
  ASSERT_TRUE(re.create("o", "foo", false, true, false));
  EXPECT_EQ(re.replace("0"), "f0o");
  ASSERT_TRUE(re.create("(x)", "xx"));
  EXPECT_EQ(re.replace("$11"), "x1x1");  // group 11 does not exist: group 1, then "1"
  ASSERT_TRUE(re.create("情"_gbk, "表情"_gbk));
  EXPECT_EQ(re.replace("$&$&"), "表情情"_gbk);

  const RegexObject copy = re.copy();
  ASSERT_TRUE(re.create("z", "zz"));
  EXPECT_EQ(copy.matchCount(), 1);
  EXPECT_EQ(copy.matchText(1), "情"_gbk);
  EXPECT_EQ(copy.pattern(), "情"_gbk);
  EXPECT_EQ(re.matchCount(), 2);
}
