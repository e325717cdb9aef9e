#include "browse/list_paging.h"

#include <gtest/gtest.h>

#include "browse/paging.h"
#include "browse/template_list.h"
#include "list_fixture.h"
#include "template_site.h"

using namespace mw;
using namespace mw::runtime;
using namespace mw::net;
using namespace mw::browse;
using mw::test::TemplateSite;
using Targets = std::vector<std::string>;

namespace {

class ListPagingTest : public mw::test::ListFixture {
 protected:
  ListPagingTest() { form.选择夹1->setCurrentPage(1); }

  // Loads the all-templates list and forgets its requests.
  forms::Context allList() {
    const auto ctx = context(site.base());
    loadAllList(ctx);
    site.clearLog();
    return ctx;
  }
  // The boxes show items first..first+7 of site page K.
  void expectShowing(int sitePage, int first) {
    EXPECT_EQ(state.list.listSlotBase, first - 1);
    EXPECT_EQ(boxes(),
              expected([&](int i) { return TemplateSite::thumbBytes(TemplateSite::allThumb(sitePage, i)); },
                       first));
    EXPECT_EQ(state.list.listImageUrls.size(), 45u);
  }
  Targets pages() {
    auto t = site.pageTargets();
    site.clearLog();
    return t;
  }

  TemplateSite site;
};

TEST_F(ListPagingTest, NextAndPreviousCrossSitePagesAtMultiplesOfFive) {
  const auto ctx = allList();
  for (int page = 2; page <= 5; ++page) {
    nextPage(ctx);
    expectShowing(1, page * 9 - 8);
  }
  EXPECT_EQ(pages(), Targets{}) << "pages 2 to 5 lie in the held site page";
  EXPECT_EQ(form.显示页->caption(), "5/185");

  nextPage(ctx);  // page 6: first page of site page 2
  EXPECT_EQ(pages(), Targets{"/face/ListWithImage.aspx?pn=2"});
  EXPECT_EQ(state.list.listSitePage, 2);
  expectShowing(2, 1);
  nextPage(ctx);
  EXPECT_EQ(pages(), Targets{});
  expectShowing(2, 10);
  EXPECT_EQ(disabled(), (std::vector<int>{0, 0, 0, 0}));

  previousPage(ctx);  // 7 -> 6, held
  EXPECT_EQ(pages(), Targets{});
  expectShowing(2, 1);
  previousPage(ctx);  // 6 -> 5: site page 1 from its own address, item 37
  EXPECT_EQ(pages(), Targets{"/face/ListWithImage.aspx"});
  EXPECT_EQ(state.list.listSitePage, 1);
  expectShowing(1, 37);
  EXPECT_EQ(form.显示页->caption(), "5/185");

  form.跳页_编辑框->setText("11");
  jumpToPage(ctx);
  EXPECT_EQ(pages(), Targets{"/face/ListWithImage.aspx?pn=3"});
  expectShowing(3, 1);
  previousPage(ctx);  // 11 -> 10: site page 2 from its "?pn=" address, items 37 to 44
  EXPECT_EQ(pages(), Targets{"/face/ListWithImage.aspx?pn=2"});
  expectShowing(2, 37);
  EXPECT_EQ(form.显示页->caption(), "10/185");

  for (int page = 9; page >= 1; --page) previousPage(ctx);
  EXPECT_EQ(state.list.listPage, 1);
  EXPECT_EQ(disabled(), (std::vector<int>{1, 1, 0, 0}));
  expectShowing(1, 1);
}

TEST_F(ListPagingTest, JumpLoadsTheSitePageOfTheTarget) {
  const auto ctx = allList();
  form.跳页_编辑框->setText("12");
  jumpToPage(ctx);
  EXPECT_EQ(pages(), Targets{"/face/ListWithImage.aspx?pn=3"});
  EXPECT_EQ(state.list.listPage, 12);
  EXPECT_EQ(state.list.listSitePage, 3);
  expectShowing(3, 10);
  EXPECT_EQ(form.显示页->caption(), "12/185");
  EXPECT_EQ(disabled(), (std::vector<int>{0, 0, 0, 0}));

  // Beyond the last page: the box is rewritten and the fixed last site page loaded.
  form.跳页_编辑框->setText("500");
  jumpToPage(ctx);
  EXPECT_EQ(form.跳页_编辑框->text(), "185");
  EXPECT_EQ(pages(), Targets{"/face/ListWithImage.aspx?pn=37"});
  EXPECT_EQ(state.list.listPage, 185);
  EXPECT_EQ(state.list.listSitePage, 37);
  expectShowing(37, 37);
  EXPECT_EQ(form.显示页->caption(), "185/185");
  EXPECT_EQ(disabled(), (std::vector<int>{0, 0, 1, 0}));

  // A jump never enables 下一页; page 1 goes through "?pn=1" and disables 上一页 and 首页.
  form.跳页_编辑框->setText("1");
  jumpToPage(ctx);
  EXPECT_EQ(pages(), Targets{"/face/ListWithImage.aspx?pn=1"});
  expectShowing(1, 1);
  EXPECT_EQ(disabled(), (std::vector<int>{1, 1, 1, 0}));

  form.跳页_编辑框->setText("10");
  jumpToPage(ctx);
  EXPECT_EQ(pages(), Targets{"/face/ListWithImage.aspx?pn=2"});
  expectShowing(2, 37);

  // A target below 1 (an empty box reads as 0) is page 1.
  for (const char* low : {"", "0"}) {
    form.跳页_编辑框->setText(low);
    jumpToPage(ctx);
    EXPECT_EQ(pages(), Targets{"/face/ListWithImage.aspx?pn=1"}) << low;
    EXPECT_EQ(state.list.listPage, 1);
    EXPECT_EQ(state.list.listSitePage, 1);
    EXPECT_EQ(form.跳页_编辑框->text(), "1");
    EXPECT_EQ(form.显示页->caption(), "1/185");
    expectShowing(1, 1);
  }
  EXPECT_TRUE(messages().empty());
}

TEST_F(ListPagingTest, FirstPageReloadsOnlyInAllMode) {
  auto ctx = allList();
  form.跳页_编辑框->setText("7");
  jumpToPage(ctx);
  site.clearLog();
  firstPage(ctx);
  EXPECT_EQ(pages(), Targets{"/face/ListWithImage.aspx"});
  EXPECT_EQ(state.list.listPage, 1);
  EXPECT_EQ(state.list.listSitePage, 1);
  expectShowing(1, 1);
  EXPECT_EQ(form.显示页->caption(), "1/185");
  EXPECT_EQ(disabled(), (std::vector<int>{1, 1, 0, 0}));

  // Latest mode pages locally: no request but the thumbnails.
  site.latestItems = 30;
  loadLatestList(ctx);
  nextPage(ctx);
  nextPage(ctx);
  EXPECT_EQ(disabled(), (std::vector<int>{0, 0, 1, 1}));
  site.clearLog();
  firstPage(ctx);
  EXPECT_EQ(pages(), Targets{});
  EXPECT_EQ(state.list.listSlotBase, 0);
  EXPECT_EQ(form.显示页->caption(), "1/3");
  EXPECT_EQ(disabled(), (std::vector<int>{1, 1, 0, 1}));
}

TEST_F(ListPagingTest, EmptySitePageKeepsPicturesButMovesThePage) {
  site.pageItems[2] = 8;
  const auto ctx = allList();
  for (int i = 0; i < 4; ++i) nextPage(ctx);
  const auto before = boxes();
  nextPage(ctx);
  EXPECT_EQ(pages(), Targets{"/face/ListWithImage.aspx?pn=2"});
  EXPECT_EQ(messages(), std::vector<Text>{"没有匹配数据"_gbk});
  EXPECT_TRUE(state.list.listImageUrls.empty());
  EXPECT_EQ(boxes(), before);
  EXPECT_EQ(state.list.listPage, 6);
  EXPECT_EQ(state.list.listSitePage, 2);
  EXPECT_EQ(form.显示页->caption(), "6/185");

  // A short site page: the pages reaching past its end show empty boxes.
  site.pageItems[3] = 20;
  form.跳页_编辑框->setText("13");
  jumpToPage(ctx);
  EXPECT_EQ(state.list.listSlotBase, 18);
  EXPECT_EQ(boxes(),
            expected([](int i) { return TemplateSite::thumbBytes(TemplateSite::allThumb(3, i)); }, 19, 20));
}

// Button states put back by a page switch may leave 上一页 on at page 1: it only turns off.
TEST_F(ListPagingTest, PreviousFromPageOneStaysThere) {
  site.latestItems = 95;
  const auto ctx = context(site.base());
  loadLatestList(ctx);
  const auto before = boxes();
  form.上一页->setEnabled(true);
  form.首页->setEnabled(true);
  previousPage(ctx);
  EXPECT_EQ(state.list.listPage, 1);
  EXPECT_EQ(form.显示页->caption(), "1/9");
  EXPECT_EQ(boxes(), before);
  EXPECT_FALSE(form.上一页->isEnabled());
  EXPECT_FALSE(form.首页->isEnabled());
}

TEST_F(ListPagingTest, BarActsOnTheListOnlyFromTheEditPages) {
  site.latestItems = 95;
  const auto ctx = context(site.base());
  loadLatestList(ctx);
  nextPage(ctx);
  ASSERT_EQ(state.list.listPage, 2);

  form.选择夹1->setCurrentPage(0);  // the search view's: not the list's
  previousPage(ctx);
  nextPage(ctx);
  jumpToPage(ctx);
  firstPage(ctx);
  EXPECT_EQ(state.list.listPage, 2);
  for (int tab : {2, 3}) {
    form.选择夹1->setCurrentPage(tab);
    nextPage(ctx);
    previousPage(ctx);
    EXPECT_EQ(state.list.listPage, 2) << tab;
    firstPage(ctx);  // 首页 acts from every page but the home page
    EXPECT_EQ(state.list.listPage, 1) << tab;
    state.list.listPage = 2;
  }
}

}  // namespace
