#include "net/header_block.h"

#include <gtest/gtest.h>

using namespace mw;
using namespace mw::runtime;
using namespace mw::net;

TEST(HeaderBlock, StatusTextFromTheTenthCharacter) {
  EXPECT_EQ(statusFromHeaders("HTTP/1.1 302 Found\r\nLocation: /x\r\n\r\n"), "302 Found");
  EXPECT_EQ(statusFromHeaders("HTTP/1.1 200 OK"), "200 OK");
  EXPECT_EQ(statusFromHeaders("HTTP/1.1 "), "");
  EXPECT_EQ(statusFromHeaders("HTTP/1."), "");
}

TEST(HeaderBlock, CookieNamesLocationAndDoubleByteText) {
  EXPECT_EQ(normaliseCookieHeaderNames("SET-COOKIE: a=1\r\nset-cookie: b=2\r\n"),
            "Set-Cookie: a=1\r\nSet-Cookie: b=2\r\n");
  // After a lead byte, "s" is the second half of a double-byte character, not a header name.
  const Text gbkTail = "X: \xB1set-cookie";
  EXPECT_EQ(normaliseCookieHeaderNames(gbkTail), gbkTail);

  Text location = "before";
  EXPECT_EQ(cookiesFromHeaders("HTTP/1.1 302 Found\r\nlocation: /a\r\nSet-Cookie:   c=3 \xA1\xA1\r\n"
                               "Set-Cookie: d=4; Path=/; HttpOnly\r\nLOCATION: /b\r\nLocation:/c\r\n\r\n",
                               &location),
            "c=3; d=4");
  EXPECT_EQ(location, "/b");

  location = "before";
  EXPECT_EQ(cookiesFromHeaders("HTTP/1.1 200 OK\r\n\r\n", &location), "");
  EXPECT_EQ(location, "before");
}
