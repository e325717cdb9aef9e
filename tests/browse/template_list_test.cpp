#include "browse/template_list.h"

#include <gtest/gtest.h>

#include <QCursor>

#include "browse/list_paging.h"
#include "demo/demo_site.h"
#include "list_fixture.h"
#include "net/fetch_page.h"
#include "template_site.h"

using namespace mw;
using namespace mw::runtime;
using namespace mw::net;
using namespace mw::browse;
using mw::test::TemplateSite;

namespace {

class TemplateListTest : public mw::test::ListFixture {
 protected:
  static std::string latest(int i) { return TemplateSite::thumbBytes(TemplateSite::latestThumb(i)); }
  static std::string onPage(int sitePage, int i) {
    return TemplateSite::thumbBytes(TemplateSite::allThumb(sitePage, i));
  }
  TemplateSite site;
};

// The demo site's latest list of 95 items, paged locally.
TEST_F(TemplateListTest, LatestListOf95ItemsPagesThroughNinePages) {
  demo::DemoSite demoSite;
  std::string error;
  ASSERT_TRUE(demoSite.start(&error)) << error;
  const auto ctx = context(demoSite.settings().templateBase());
  loadLatestList(ctx);
  EXPECT_EQ(utf8(form.标签_记录->caption()), "共9页85条内容");
  EXPECT_EQ(state.list.listRecordCaption, form.标签_记录->caption());
  EXPECT_EQ(form.显示页->caption(), "1/9");
  EXPECT_EQ(state.list.listMode, forms::ListMode::Latest);
  EXPECT_EQ(state.list.listPageCount, 9);
  ASSERT_EQ(state.list.listImageUrls.size(), 95u);
  // The newest template comes first; its address is the base plus the src as found.
  EXPECT_EQ(state.list.listImageUrls[0], ctx.sites.templateBase() + "/store/face/1665/thumbnail.jpg");
  EXPECT_EQ(disabled(), (std::vector<int>{1, 1, 0, 1}));
  EXPECT_EQ(form.网络最新编辑->border(), toolkit::Border::Single);
  EXPECT_EQ(form.网络最新编辑->backgroundColour(), QColor(0xEC, 0xEC, 0xEC));
  EXPECT_EQ(form.网络所有编辑->backgroundColour(), QColor(0xFF, 0xFF, 0xFF));
  EXPECT_EQ(form.本地保存编辑->border(), toolkit::Border::None);
  EXPECT_EQ(utf8(form.气球提示框1->text()), "正在搜索数据请稍候...");

  const auto fetched = [&](int i) { return fetchPage(state.list.listImageUrls[size_t(i - 1)]); };
  for (int page = 1; page <= 9; ++page) {
    if (page > 1) listNextPage(ctx);
    EXPECT_EQ(state.list.listPage, page);
    EXPECT_EQ(state.list.listSlotBase, page * 9 - 9);
    EXPECT_EQ(boxes(), expected(fetched, page * 9 - 8)) << "page " << page;
    EXPECT_EQ(form.显示页->caption(), fromInteger(page) + "/9");
  }
  EXPECT_EQ(disabled(), (std::vector<int>{0, 0, 1, 1})) << "下一页 off on the last page";
  for (int page = 8; page >= 1; --page) listPreviousPage(ctx);
  EXPECT_EQ(boxes(), expected(fetched, 1));
  EXPECT_EQ(disabled(), (std::vector<int>{1, 1, 0, 1}));
  EXPECT_TRUE(messages().empty());
}

TEST_F(TemplateListTest, LatestListCountsPagesFromTheItemCount) {
  const auto ctx = context(site.base());
  site.latestItems = 15;
  loadLatestList(ctx);
  EXPECT_EQ(utf8(form.标签_记录->caption()), "共1页13条内容");
  EXPECT_EQ(form.显示页->caption(), "1/1");
  EXPECT_EQ(disabled(), (std::vector<int>{1, 1, 1, 1}));
  EXPECT_EQ(boxes(), expected(latest, 1));

  // Nine items are enough for a page; its ninth is never shown.
  site.latestItems = 9;
  setBoxes("old");
  loadLatestList(ctx);
  EXPECT_EQ(boxes(), expected(latest, 1));
  EXPECT_EQ(state.list.listImageUrls.size(), 9u);
  EXPECT_TRUE(messages().empty());

  // Eight count as an empty page: the captions move, the pictures stay.
  site.latestItems = 8;
  setBoxes("old");
  const auto before = boxes();
  site.clearLog();
  loadLatestList(ctx);
  EXPECT_EQ(messages(), std::vector<Text>{"没有匹配数据"_gbk});
  EXPECT_TRUE(state.list.listImageUrls.empty());
  EXPECT_EQ(boxes(), before);
  EXPECT_EQ(utf8(form.标签_记录->caption()), "共0页7条内容");
  EXPECT_EQ(form.显示页->caption(), "1/0");
  EXPECT_EQ(site.targets(), std::vector<std::string>{"/face/New.aspx"});
}

// The latest list's block starts with a blank before "<div": a page without it has no block.
TEST_F(TemplateListTest, LatestBlockMarkerNeedsItsLeadingBlank) {
  const auto ctx = context(site.base());
  site.latestItems = 20;
  loadLatestList(ctx);
  EXPECT_EQ(state.list.listImageUrls.size(), 20u);
  EXPECT_TRUE(messages().empty());

  site.latestMarkerBlank = false;
  loadLatestList(ctx);
  EXPECT_TRUE(state.list.listImageUrls.empty());
  EXPECT_EQ(messages(), std::vector<Text>{"没有匹配数据"_gbk});
}

// The busy tip appears where the pointer is, wherever that is.
TEST_F(TemplateListTest, BusyTipShowsAtThePointer) {
  const auto ctx = context(site.base());
  for (const QPoint at : {QPoint(37, 211), QPoint(402, 15)}) {
    QCursor::setPos(at);
    ASSERT_EQ(QCursor::pos(), at);
    loadAllList(ctx);
    EXPECT_EQ(utf8(form.气球提示框1->text()), "正在搜索数据请稍候...");
    EXPECT_EQ(form.气球提示框1->point(), at);
  }
}

TEST_F(TemplateListTest, AllListShowsTheFixedCountWhateverTheSiteHolds) {
  const auto ctx = context(site.base());
  site.pageItems[1] = 200;
  loadAllList(ctx);
  EXPECT_EQ(utf8(form.标签_记录->caption()), "共185页1665条内容");
  EXPECT_EQ(utf8(state.list.listRecordCaption), "共185页1665条内容");
  EXPECT_EQ(form.显示页->caption(), "1/185");
  EXPECT_EQ(state.list.listPageCount, 185);
  EXPECT_EQ(state.list.listSitePage, 1);
  EXPECT_EQ(state.list.listMode, forms::ListMode::All);
  EXPECT_EQ(state.list.listSlotBase, 0);
  EXPECT_EQ(state.list.listImageUrls.size(), 200u);
  EXPECT_EQ(disabled(), (std::vector<int>{1, 1, 0, 0}));
  EXPECT_EQ(form.网络所有编辑->border(), toolkit::Border::Single);
  EXPECT_EQ(form.网络最新编辑->border(), toolkit::Border::None);
  EXPECT_EQ(boxes(), expected([](int i) { return onPage(1, i); }, 1));

  // An empty first page: same captions, the message, the pictures kept.
  site.pageItems[1] = 3;
  state.list.listPage = 7;
  form.显示页->setCaption("?");
  const auto before = boxes();
  loadAllList(ctx);
  EXPECT_EQ(messages(), std::vector<Text>{"没有匹配数据"_gbk});
  EXPECT_EQ(form.显示页->caption(), "1/185");
  EXPECT_EQ(utf8(form.标签_记录->caption()), "共185页1665条内容");
  EXPECT_TRUE(state.list.listImageUrls.empty());
  EXPECT_EQ(boxes(), before);
}

// What goes over the wire: the page first with the page engine's headers, then the eight
// thumbnails with the picture engine's.
TEST_F(TemplateListTest, RequestsCarryEachEnginesHeaders) {
  loadAllList(context(site.base()));
  const auto log = site.requests();
  ASSERT_EQ(log.size(), 9u);
  EXPECT_EQ(log[0].target, "/face/ListWithImage.aspx");
  const std::string host = "127.0.0.1:" + site.base().substr(site.base().rfind(':') + 1);
  using Headers = std::multimap<std::string, std::string>;
  EXPECT_EQ(log[0].headers,
            (Headers{{"Host", host},
                     {"User-Agent", "Mozilla/5.0 (compatible; MSIE 9.0; Windows NT 6.1; WOW64; Trident/5.0)"},
                     {"Accept", "text/html, application/xhtml+xml, */*"},
                     {"Accept-Encoding", "gbk, GB2312"},
                     {"Accept-Language", "zh-cn"},
                     {"Content-Type", "application/x-www-form-urlencoded"},
                     {"Cache-Control", "no-cache"}}));
  std::set<std::string> thumbs;
  for (size_t i = 1; i < log.size(); ++i) {
    thumbs.insert(log[i].target);
    EXPECT_EQ(log[i].headers, (Headers{{"Host", host},
                                       {"User-Agent", "Mozilla/4.0 (compatible; MSIE 9.0; Windows NT 6.1)"},
                                       {"Accept", "*/*"},
                                       {"Referer", site.base() + log[i].target},
                                       {"Accept-Language", "zh-cn"},
                                       {"Content-Type", "application/x-www-form-urlencoded"}}))
        << log[i].target;
  }
  std::set<std::string> wanted;
  for (int i = 1; i <= 8; ++i) wanted.insert(TemplateSite::allThumb(1, i));
  EXPECT_EQ(thumbs, wanted);
}

TEST_F(TemplateListTest, PicturesOnlyWhereItemsAndDownloadsExist) {
  const auto ctx = context(site.base());
  site.latestItems = 20;
  site.failing = {TemplateSite::latestThumb(3)};
  site.latestWithoutSrc = {5};
  loadLatestList(ctx);
  auto want = expected(latest, 1);
  want[2].clear();  // only the failed box is empty
  want[4].clear();  // an item without a src value holds the bare base address
  EXPECT_EQ(state.list.listImageUrls[4], site.base());
  EXPECT_EQ(boxes(), want);

  // Past the end of the held items the boxes are emptied, never read out of bounds.
  showListPictures(ctx, 17);
  EXPECT_EQ(state.list.listSlotBase, 16);
  EXPECT_EQ(boxes(), expected(latest, 17, 20));
  showListPictures(ctx, 10);
  EXPECT_EQ(state.list.listSlotBase, 9);
  EXPECT_EQ(boxes(), expected(latest, 10));
}

}  // namespace
