#include "net/page_charset.h"

#include <gtest/gtest.h>

#include "runtime/charset.h"

using namespace mw;
using namespace mw::runtime;
using namespace mw::net;

namespace {

// A page declaring `label`, then `body` as it was sent.
Bytes declaring(const std::string& label, const std::string& body) {
  return "<meta charset=" + label + "><p>" + body + "</p>";
}

}  // namespace

// A UTF-8 byte-order mark is no character of the page; it also decides over the label.
TEST(PageCharset, ByteOrderMarkIsDroppedAndWins) {
  const std::string mark = "\xEF\xBB\xBF";
  EXPECT_EQ(pageToGbk(mark + declaring("utf-8", "表情")), declaring("utf-8", "表情"_gbk));
  EXPECT_EQ(pageToGbk(mark + declaring("windows-1252", "表情")), declaring("windows-1252", "表情"_gbk));
  // Exactly "gbk" or "gb2312" still means the bytes stay as they are.
  EXPECT_EQ(pageToGbk(mark + declaring("gbk", "表情")), mark + declaring("gbk", "表情"));
}

TEST(PageCharset, LabelsResolveAsBrowsersResolveThem) {
  // The Latin-1 and ASCII labels all mean windows-1252, where 0x93 and 0x94 are curly quotes.
  for (const char* label : {"iso-8859-1", "latin1", "us-ascii", "ISO-8859-1", "l1", "windows-1252"})
    EXPECT_EQ(pageToGbk(declaring(label, "\x93x\x94")), declaring(label, "“x”"_gbk)) << label;

  // Every spelling of UTF-8 decodes alike: a broken sequence becomes one "?".
  for (const char* label : {"utf-8", "utf8", "UTF-8", "Utf8", "unicode-1-1-utf-8"})
    EXPECT_EQ(pageToGbk(declaring(label, "\xE4\xB8<b>表情")), declaring(label, "?<b>"_gbk + "表情"_gbk))
        << label;

  // A meta tag cannot declare UTF-16: browsers read such a page as UTF-8.
  EXPECT_EQ(pageToGbk(declaring("utf-16", "表情")), declaring("utf-16", "表情"_gbk));
  // Refused encodings give one replacement character for the whole page.
  EXPECT_EQ(pageToGbk(declaring("iso-2022-kr", "text")), "?");
  // A label naming nothing leaves the bytes alone; the GBK labels keep them too.
  EXPECT_EQ(pageToGbk(declaring("x-no-such-set", "表情")), declaring("x-no-such-set", "表情"));
  EXPECT_EQ(pageToGbk(declaring("x-gbk", "表情"_gbk)), declaring("x-gbk", "表情"_gbk));
  EXPECT_EQ(pageToGbk(declaring("big5", "\xAA\xED")), declaring("big5", "表"_gbk));

  // Every encoding of the table is one the converter knows.
  for (const char* label :
       {"utf-8",          "866",      "latin2",        "latin3", "latin4",      "cyrillic",    "arabic",
        "greek",          "hebrew",   "logical",       "latin6", "iso-8859-13", "iso-8859-14", "l9",
        "iso-8859-16",    "koi8-r",   "koi8-u",        "mac",    "tis-620",     "cp1250",      "cp1251",
        "latin1",         "cp1253",   "latin5",        "cp1255", "cp1256",      "cp1257",      "cp1258",
        "x-mac-cyrillic", "gbk",      "gb18030",       "big5",   "euc-jp",      "iso-2022-jp", "sjis",
        "euc-kr",         "utf-16le", "x-user-defined"}) {
    const char* encoding = encodingForLabel(label);
    ASSERT_NE(encoding, nullptr) << label;
    EXPECT_TRUE(convertCharset("A", encoding, "UTF-8")) << label << " -> " << encoding;
  }
  EXPECT_STREQ(encodingForLabel(" Latin1\t"), "CP1252");
  EXPECT_EQ(encodingForLabel("latin"), nullptr);
}

// The declaration is looked for in the first 1024 bytes only.
TEST(PageCharset, DeclarationWindowIs1024Bytes) {
  auto page = [](std::size_t labelAt) {
    const std::string before = "<meta charset=";
    return "<html>" + std::string(labelAt - before.size() - 6, ' ') + before + "utf8><p>表情</p>";
  };
  ASSERT_EQ(page(1020).find("utf8"), 1020u);
  EXPECT_NE(pageToGbk(page(1020)).find("表情"_gbk), std::string::npos);
  EXPECT_EQ(pageToGbk(page(1030)), page(1030));
}
