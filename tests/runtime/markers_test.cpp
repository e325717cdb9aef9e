#include "runtime/markers.h"

#include <gtest/gtest.h>

#include "runtime/event_pump.h"

using namespace mw;
using namespace mw::runtime;

namespace {
TextArray listItems(std::string_view text, std::string_view start, std::string_view end) {
  TextArray out;
  textBetweenAll(text, start, end, out, true, 0, {}, {}, false, true, 1);
  return out;
}
}  // namespace

TEST(TextBetween, FirstPairOnlyUntrimmedAndEmptyWhenAMarkerIsMissing) {
  EXPECT_EQ(textBetween("<b> one </b><b>two</b>", "<b>", "</b>"), " one ");
  EXPECT_EQ(textBetween("<b>one", "<b>", "</b>"), "");
  EXPECT_EQ(textBetween("one</b>", "<b>", "</b>"), "");
  EXPECT_EQ(textBetween("<b>one</b>", "", "</b>"), "");
  EXPECT_EQ(textBetween("<b>one</b>", "<b>", ""), "");
  EXPECT_EQ(textBetween("", "<b>", "</b>"), "");
  // The end marker is searched after the start marker, never inside it.
  EXPECT_EQ(textBetween("xx-x", "x", "x"), "");
  EXPECT_EQ(textBetween("x-x", "x", "x"), "-");
  // startPos skips earlier pairs.
  EXPECT_EQ(textBetween("[a][b]", "[", "]", 2), "b");
  EXPECT_EQ(textBetween("[a][b]", "[", "]", -4), "a");
}

TEST(TextBetween, QuoteTokenAndCaseFolding) {
  EXPECT_EQ(textBetween("x A=\"word\" y", "A=#引号"_gbk, "#引号"_gbk), "word");
  EXPECT_EQ(textBetween("<IMG SRC=\"a.gif\">", "src=\"", "\"", 1, true), "a.gif");
  EXPECT_EQ(textBetween("<IMG SRC=\"a.gif\">", "src=\"", "\""), "");
  // Markers in GBK and a GBK trail byte that looks like the start marker.
  const Text page = "\x81[" + "【表情】"_gbk;
  EXPECT_EQ(textBetween(page, "【"_gbk, "】"_gbk), "表情"_gbk);
  EXPECT_EQ(textBetween("\x81[x]", "[", "]"), "");
}

TEST(TextBetweenAll, ListOptionsTrimSkipEmptyPiecesAndKeepEndMarker) {
  EXPECT_EQ(listItems("[ a ][][b]", "[", "]"), (TextArray{"a]", "b]"}));
  // Ideographic spaces are trimmed, tabs are not.
  EXPECT_EQ(listItems("[\xA1\xA1x\xA1\xA1][\tx]", "[", "]"), (TextArray{"x]", "\tx]"}));
  // A start marker without an end marker ends the scan; what was found stays.
  EXPECT_EQ(listItems("[a][b][c", "[", "]"), (TextArray{"a]", "b]"}));
  // The scan resumes at the end marker, so it can begin the next match.
  EXPECT_EQ(listItems("<li>1<li>2<li>3<li>", "<li>", "<li>"), (TextArray{"1<li>", "2<li>", "3<li>"}));
  EXPECT_EQ(listItems("[ ][\xA1\xA1][x]", "[", "]"), (TextArray{"x]"}));
  // Case-sensitive here, unlike the default.
  EXPECT_EQ(listItems("<LI>a</li><li>b</li>", "<li>", "</li>"), (TextArray{"b</li>"}));
}

TEST(TextBetweenAll, DefaultsAndEveryOption) {
  TextArray out{"stale"};
  EXPECT_EQ(textBetweenAll("nothing here", "[", "]", out), 0);
  EXPECT_TRUE(out.empty());

  EXPECT_EQ(textBetweenAll("<LI>a</li><li>b</LI>", "<li>", "</li>", out), 2);
  EXPECT_EQ(out, (TextArray{"a", "b"}));

  textBetweenAll("[abcd][abcde][]", "[", "]", out, false, 5);
  EXPECT_EQ(out, (TextArray{"abcd"}));
  // The limit applies to the finished piece, markers included.
  textBetweenAll("[ab][abc]", "[", "]", out, false, 5, {}, {}, true, true);
  EXPECT_EQ(out, (TextArray{"[ab]"}));

  // Prefix and suffix make an empty pair count.
  textBetweenAll("[][ b ]", "[", "]", out, false, 0, "<", ">", true, false);
  EXPECT_EQ(out, (TextArray{"[<>", "[<b>"}));

  textBetweenAll("[a][b][c]", "[", "]", out, false, 0, {}, {}, false, false, 4);
  EXPECT_EQ(out, (TextArray{"b", "c"}));

  textBetweenAll("[a]", "", "]", out);
  EXPECT_TRUE(out.empty());
}

TEST(TextBetweenAll, PumpsEventsAfterEveryMatch) {
  int pumps = 0;
  setEventPump([&] { ++pumps; });
  TextArray out;
  textBetweenAll("[a][ ][b][c", "[", "]", out);
  setEventPump(nullptr);
  EXPECT_EQ(out.size(), 2u);
  EXPECT_EQ(pumps, 3);
}
