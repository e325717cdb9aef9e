// The program's own cutting steps, run over pages the demo site serves: every field the program
// reads must come out of the demo pages.
#include <gtest/gtest.h>

#include <QBuffer>
#include <QImage>
#include <QImageReader>
#include <set>

#include "demo/content_catalog.h"
#include "demo/demo_site.h"
#include "net/encoding.h"
#include "net/fetch_page.h"
#include "net/web_request.h"
#include "picture/picture_decoder.h"
#include "runtime/markers.h"
#include "runtime/text.h"

using namespace mw;
using namespace mw::runtime;
using namespace mw::net;
using namespace mw::demo;

namespace {

Text fetchText(const std::string& url) { return webRequest(url); }
Text postText(const std::string& url, const Text& data) { return webRequest(url, 1, data); }
Bytes fetchBytes(const std::string& url) { return fetchPage(url); }

QImage decode(const Bytes& bytes) { return picture::decodePicture(bytes).image; }

// The list items of a template-site page, cut as the template list loading does.
TextArray listItems(const Text& page, const Text& blockStart, const Text& blockEnd) {
  const Text block = urlDecode(textBetween(page, blockStart, blockEnd), true);
  TextArray items;
  textBetweenAll(block, "<li><a href", "<div class=\"title\"><span>", items, true, 0, {}, {}, false, true, 1);
  return items;
}

TextArray thumbnailAddresses(const TextArray& items, const std::string& base) {
  TextArray out;
  for (const Text& item : items) out.push_back(base + textBetween(item, "src=\"", "\" /></div>", 1, true));
  return out;
}

const Text kLabel[] = {"ctl00_ctl00_ContentPlaceHolder1_ContentPlaceHolder1_LabelTextLine1\">",
                       "ctl00_ctl00_ContentPlaceHolder1_ContentPlaceHolder1_LabelTextLine2\">",
                       "ctl00_ctl00_ContentPlaceHolder1_ContentPlaceHolder1_LabelTextLine3\">",
                       "ctl00_ctl00_ContentPlaceHolder1_ContentPlaceHolder1_LabelTextLine4\">"};

int captionLineCount(const Text& block) {
  if (findText(block, "第四行文字"_gbk) != -1) return 4;
  if (findText(block, "第三行文字"_gbk) != -1) return 3;
  if (findText(block, "第二行文字"_gbk) != -1) return 2;
  return 1;
}

// The form post of the online captioning, built from a freshly fetched make page.
Text makePostData(const Text& page, const std::vector<Text>& lines) {
  const Text ev = urlEncode(textBetween(page, "__EVENTVALIDATION\" value=\"", "\" />"), true, true);
  const Text vsg = urlEncode(textBetween(page, "__VIEWSTATEGENERATOR\" value=\"", "\" />"), true, true);
  const Text vs = urlEncode(textBetween(page, "__VIEWSTATE\" value=\"", "\" />"), true, true);
  const Text field =
      "&ctl00%24ctl00%24ContentPlaceHolder1%"
      "24ContentPlaceHolder1%24TextBoxTextLine";
  Text data = "__VIEWSTATE=" + vs + "&__VIEWSTATEGENERATOR=" + vsg + "&__EVENTVALIDATION=" + ev +
              "&ctl00%24ctl00%24ContentPlaceHolder1%24TextBoxSearch=";
  for (std::size_t i = 0; i < lines.size(); ++i)
    data += (i == 0 ? "&ctl00%24ctl00%24ContentPlaceHolder1%"
                      "24ContentPlaceHolder1%24TextBoxTextLine1="
                    : field + std::to_string(i + 1) + "=") +
            urlEncode(lines[i], true, true);
  return data +
         "&ctl00%24ctl00%24ContentPlaceHolder1%24ContentPlaceHolder1%"
         "24ButtonMake=%E7%94%9F%E6%88%90%E5%9B%BE%E7%89%87%"
         "EF%BC%81&ctl00%24ctl00%24ContentPlaceHolder1%"
         "24ContentPlaceHolder1%24TextBoxPost=";
}

class DemoCuttingTest : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    site = new DemoSite();
    std::string error;
    ASSERT_TRUE(site->start(&error)) << error;
    sites = site->settings();
  }
  static void TearDownTestSuite() {
    delete site;
    site = nullptr;
  }
  static inline DemoSite* site = nullptr;
  static inline net::SiteSettings sites;
};

}  // namespace

TEST_F(DemoCuttingTest, StartUpFieldsProbeCounterHomeAndNewPictures) {
  const Bytes probe = fetchBytes(sites.probeBase() + "/");
  EXPECT_NE(probe.find(sites.probeMarker), std::string::npos);
  EXPECT_EQ(std::string(sites.probeMarker).size(), 12u);

  auto counter = [&] {
    return toInteger(textBetween(fetchText(sites.announcementBase() + "/forum/thread-2833224-1-1.html"),
                                 "<li>阅读："_gbk, "</li>"));
  };
  const long long first = counter();
  EXPECT_GT(first, 0);
  EXPECT_EQ(counter(), first + 1);
  EXPECT_EQ(counter(), first + 2);

  const Text home = fetchText(sites.homeBase() + "/");
  EXPECT_EQ(textBetween(home, "文本1"_gbk, "文本1"_gbk), "1.3");
  for (const char* field : {"文本2", "文本3", "文本4", "文本5", "文本6", "文本7", "文本8"})
    EXPECT_FALSE(textBetween(home, gbk(field), gbk(field)).empty()) << field;
  const Text key =
      textBetween(home, "文本9"_gbk, "文本9"_gbk) + textBetween(home, "文本10"_gbk, "文本10"_gbk);
  EXPECT_EQ(key, std::string(kGroupKeyFirst) + kGroupKeySecond);
  const Text shareId = textBetween(home, "百度网"_gbk, "百度址"_gbk);
  EXPECT_EQ(shareId, kShareId);
  EXPECT_EQ(textBetween(home, "百度密"_gbk, "百度码"_gbk), kSharePassword);
  EXPECT_NE(findText(fetchText(sites.shareBase() + "/s/" + shareId), Text(kShareId)), -1);
  EXPECT_NE(findText(fetchText(sites.groupBase() + "/wpa/qunwpa?idkey=" + key), key), -1);

  TextArray pieces;
  textBetweenAll(fetchText(sites.searchBase() + "/a/new/"),
                 "type=\"text/javascript\">document.getElementById", "</span></a></LI>", pieces);
  ASSERT_GE(pieces.size(), 8u);
  for (std::size_t k = 0; k < 8; ++k) {
    const Text address = textBetween(pieces[k], ").src = \"", "\"; </script><LI><", 1, true);
    ASSERT_EQ(address.rfind(sites.searchBase() + "/", 0), 0u) << address;
    EXPECT_FALSE(decode(fetchBytes(address)).isNull()) << address;
  }
}

TEST_F(DemoCuttingTest, TemplateListsGiveTheirItemsAndWorkingThumbnails) {
  const std::string base = sites.templateBase();
  const TextArray latest =
      listItems(fetchText(base + "/face/New.aspx"), " <div class=\"link-block thumbnail\">",
                "<div class=\"g-bottombar-ad-block\">");
  ASSERT_EQ(latest.size(), 95u);
  const TextArray addresses = thumbnailAddresses(latest, base);
  for (const Text& address : addresses) {
    ASSERT_EQ(address.rfind(base + "/store/face/", 0), 0u) << address;
    EXPECT_GT(toInteger(textBetween(address, "store/face/", "/thumbnail.jpg")), 0) << address;
  }
  for (std::size_t i : {0u, 8u, 94u}) EXPECT_FALSE(decode(fetchBytes(addresses[i])).isNull()) << addresses[i];
  // The percent-encoded names decode to the titles, in GBK.
  const Text block =
      urlDecode(textBetween(fetchText(base + "/face/New.aspx"), " <div class=\"link-block thumbnail\">",
                            "<div class=\"g-bottombar-ad-block\">"),
                true);
  EXPECT_NE(findText(block, gbk(demoCatalog().templates.back().title)), -1);

  std::set<Text> seen;
  for (const std::string query : {"", "?pn=2", "?pn=37"}) {
    const TextArray items = listItems(fetchText(base + "/face/ListWithImage.aspx" + query),
                                      "<ul class=\"link-list\">", "<div class=\"bean-page\">");
    ASSERT_EQ(items.size(), 45u) << query;
    for (const Text& address : thumbnailAddresses(items, base)) seen.insert(address);
  }
  EXPECT_EQ(seen.size(), 3u * 45u);
  EXPECT_TRUE(listItems(fetchText(base + "/face/ListWithImage.aspx?pn=38"), "<ul class=\"link-list\">",
                        "<div class=\"bean-page\">")
                  .empty());
}

TEST_F(DemoCuttingTest, MakePagesCountTheirLinesAndTheFormRoundTrips) {
  const std::string base = sites.templateBase();
  const TextArray items = listItems(fetchText(base + "/face/ListWithImage.aspx"), "<ul class=\"link-list\">",
                                    "<div class=\"bean-page\">");
  std::set<int> counts;
  for (const Text& address : thumbnailAddresses(items, base)) {
    const long long id = toInteger(textBetween(address, "store/face/", "/thumbnail.jpg"));
    const Text page = fetchText(base + "/face/make.aspx?id=" + fromInteger(id));
    const Text block =
        urlDecode(textBetween(page, "<div class=\"text-block\">", "<span class=\"option\"><input i"), true);
    const int lines = captionLineCount(block);
    const TemplateEntry& entry = demoCatalog().templates[templateIndexForId(static_cast<int>(id), 24)];
    EXPECT_EQ(static_cast<std::size_t>(lines), entry.captionAreas.size()) << id;
    const char* names[] = {"第一行文字", "第二行文字", "第三行文字", "第四行文字"};
    for (int i = 0; i < lines; ++i) EXPECT_EQ(textBetween(block, kLabel[i], "</span>"), gbk(names[i])) << id;
    counts.insert(lines);
  }
  EXPECT_EQ(counts, (std::set<int>{1, 2, 3, 4}));

  // Generate a three-line template with its middle line left empty: the answer names a picture
  // of the template's size whose first and last caption areas now carry text.
  int id = 0;
  for (int n = 1; n <= 24 && !id; ++n)
    if (demoCatalog().templates[n - 1].captionAreas.size() == 3) id = n;
  ASSERT_GT(id, 0);
  const TemplateEntry& entry = demoCatalog().templates[id - 1];
  const std::string address = base + "/face/make.aspx?id=" + std::to_string(id);
  const Text page = fetchText(address);
  const Text vs = textBetween(page, "__VIEWSTATE\" value=\"", "\" />");
  for (const char* c : {"+", "/", "="}) EXPECT_NE(findText(vs, c), -1) << c;
  const Text answer = postText(address, makePostData(page, {"你好 a+b"_gbk, "", "斗图"_gbk}));
  const Text src = textBetween(answer, "class=\"JIATHIS_IMG_OK\" src=\"", "\" style=");
  ASSERT_FALSE(src.empty()) << answer;
  const QImage made = decode(fetchBytes(base + "/face/" + src));
  const QImage original = decode(entry.picture);
  ASSERT_FALSE(made.isNull());
  EXPECT_EQ(made.size(), original.size());
  auto changedPixels = [&](const Area& a) {
    int n = 0;
    for (int y = a.y; y < a.y + a.height; ++y)
      for (int x = a.x; x < a.x + a.width; ++x)
        if (qGray(made.pixel(x, y)) - qGray(original.pixel(x, y)) > 80) ++n;
    return n;
  };
  EXPECT_GT(changedPixels(entry.captionAreas[0]), 50);
  EXPECT_LT(changedPixels(entry.captionAreas[1]), 5);
  EXPECT_GT(changedPixels(entry.captionAreas[2]), 50);

  // Stale forms get no picture marker: hidden fields of another template, or of another run of
  // the site (a form fetched before a restart).
  const Text otherPage = fetchText(base + "/face/make.aspx?id=" + std::to_string(id + 1));
  EXPECT_EQ(findText(postText(address, makePostData(otherPage, {"x", "y", "z"})), "JIATHIS_IMG_OK"), -1);
  DemoSite restarted;
  ASSERT_TRUE(restarted.start());
  const Text stale =
      postText(restarted.settings().templateBase() + "/face/make.aspx?id=" + std::to_string(id),
               makePostData(page, {"x", "y", "z"}));
  EXPECT_TRUE(textBetween(stale, "class=\"JIATHIS_IMG_OK\" src=\"", "\" style=").empty());
  EXPECT_FALSE(stale.empty());
}

TEST_F(DemoCuttingTest, KeywordSearchCountsPagerAndPictureAddresses) {
  const std::string base = sites.searchBase();
  auto query = [&](const Text& keyword) {
    return fetchText(
        base + "/plus/search.php?kwtype=1&searchtype=titlekeyword&q=" + urlEncode(keyword, true, false));
  };
  auto addresses = [](const Text& page) {
    TextArray items, out;
    textBetweenAll(page, "title=\"", "\"; </script>", items, true, 0, {}, {}, false, true, 1);
    for (const Text& item : items) out.push_back(textBetween(item, "src = \"", "\"; </script>", 1, true));
    return out;
  };
  const Text first = query("表情"_gbk);
  const long long count = toInteger(textBetween(first, "<td>共找到<b>"_gbk, "</b>条记录"_gbk));
  ASSERT_GT(count, 40);
  const Text prefix = textBetween(first, "首页</td>\r\n<td>1&nbsp;</td>\r\n<td><a href='"_gbk, "2'>");
  ASSERT_EQ(prefix.rfind("/plus/search.php?", 0), 0u) << prefix;
  const TextArray page1 = addresses(first);
  ASSERT_EQ(page1.size(), 20u);
  const TextArray page2 = addresses(fetchText(base + prefix + "2"));
  ASSERT_EQ(page2.size(), 20u);
  EXPECT_NE(page1, page2);
  EXPECT_EQ(static_cast<long long>(addresses(fetchText(base + prefix + "3")).size()), count - 40);
  bool sawGif = false;
  for (const Text& address : page1) {
    ASSERT_EQ(address.rfind(base + "/uploads/", 0), 0u) << address;
    const Bytes bytes = fetchBytes(address);
    EXPECT_FALSE(decode(bytes).isNull()) << address;
    if (address.ends_with("gif")) {
      QByteArray data(bytes.data(), static_cast<qsizetype>(bytes.size()));
      QBuffer buffer(&data);
      QImageReader reader(&buffer, "gif");
      EXPECT_GT(reader.imageCount(), 1) << address;  // animated
      sawGif = true;
    }
  }
  EXPECT_TRUE(sawGif);

  const Text none = query("火箭"_gbk);
  EXPECT_EQ(textBetween(none, "<td>共找到<b>"_gbk, "</b>条记录"_gbk), "0");
  EXPECT_TRUE(addresses(none).empty());
}
