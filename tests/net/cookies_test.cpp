#include "net/cookies.h"

#include <gtest/gtest.h>

using namespace mw;
using namespace mw::runtime;
using namespace mw::net;

namespace {
Text merged(Text old, Text fresh) {
  const Text result = mergeCookies(old, fresh);
  EXPECT_EQ(old, result);  // the merged list is also written back
  return result;
}
}  // namespace

TEST(MergeCookies, NewOverridesOldDeletedDropsAndRepeatsVanish) {
  EXPECT_EQ(merged("a=1; b=2", "b=3"), "b=3; a=1");
  EXPECT_EQ(merged("a=1", "a=deleted"), "");
  EXPECT_EQ(merged("a=1; b=2", "a=deleted"), "b=2");
  EXPECT_EQ(merged("a=1; a=2", ""), "a=1");
  EXPECT_EQ(merged("x = 1", ""), "x=1");
  EXPECT_EQ(merged("", "c=3; c=3"), "c=3");
  EXPECT_EQ(merged("", ""), "");
  EXPECT_EQ(merged("a=1;", "b=2;"), "b=2; a=1");
  // Names compare exactly: case matters, and the value takes part in nothing.
  EXPECT_EQ(merged("A=1", "a=2"), "a=2; A=1");
  EXPECT_EQ(merged("s=x=y", "t=1"), "t=1; s=x=y");
}

TEST(MergeCookies, BlanksAreRemovedFromBothVariables) {
  Text old = "a" + "　"_gbk + "= 1 ;b=2";
  Text fresh = " c = 3 ";
  EXPECT_EQ(mergeCookies(old, fresh), "c=3; a=1; b=2");
  EXPECT_EQ(fresh, "c=3");
  // The bytes A1 A1 across two characters are no ideographic space: 啊 is B0 A1.
  Text value = "v=" + "啊"_gbk + "\xA1\xA2";
  Text none;
  EXPECT_EQ(mergeCookies(value, none), "v=" + "啊"_gbk + "\xA1\xA2");
  // A stray lead byte does not shelter the space after it.
  Text stray = "a=\x9A 1";
  EXPECT_EQ(mergeCookies(stray, none),
            "a=\x9A"
            "1");
}

TEST(CookieHelpers, NameAndDedupe) {
  EXPECT_EQ(cookieName(" sid = abc"), "sid");
  EXPECT_EQ(cookieName("flag"), "flag");
  EXPECT_EQ(cookieName("=v"), "");
  EXPECT_EQ(dedupeList("a, b, a, c, b", ", "), "a, b, c");
  EXPECT_EQ(dedupeList("", ", "), "");
  EXPECT_EQ(dedupeList("a|a|", "|"), "a");
  EXPECT_EQ(dedupeList("x", "--"), "x");
}
