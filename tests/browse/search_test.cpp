#include "browse/search.h"

#include <gtest/gtest.h>

#include <QTest>
#include <map>
#include <memory>
#include <mutex>

#include "browse/paging.h"
#include "demo/content_catalog.h"
#include "demo/demo_site.h"
#include "net/http_server.h"
#include "runtime/event_pump.h"
#include "shell/program.h"
#include "support/form_pictures.h"
#include "support/handler_parts.h"
#include "support/picture_wait.h"

using namespace mw;
using namespace mw::runtime;
using namespace mw::net;
using namespace mw::browse;
using mw::test::formPicture;

namespace {

// A search site announcing `total` results, 20 to a result page (fewer where `shortPages` says),
// each result with a picture of its own at /img/<n>.png. Records every request target.
class ScriptedSearchSite {
 public:
  explicit ScriptedSearchSite(int total, std::map<long long, int> shortPages = {})
      : total_(total), shortPages_(std::move(shortPages)) {
    for (int n = 1; n <= total + 20; ++n) {
      pictures_[n] = mw::test::solidPicture(6, 6, QColor(n * 3 % 256, 100, 200));
    }
    server_ = std::make_unique<test::HttpServer>([this](httplib::Server& s) {
      s.Get("/plus/search.php", [this](const httplib::Request& req, httplib::Response& res) {
        record(req.target);
        const long long page = req.has_param("PageNo") ? std::stoll(req.get_param_value("PageNo")) : 1;
        res.set_content(resultPage(page), "text/html; charset=gbk");
      });
      s.Get(R"(/img/(\d+)\.png)", [this](const httplib::Request& req, httplib::Response& res) {
        res.set_content(pictures_.at(std::stoi(req.matches[1])), "image/png");
      });
    });
  }

  Text base() const { return "http://127.0.0.1:" + std::to_string(server_->port); }
  Text pictureUrl(int n) const { return base() + "/img/" + std::to_string(n) + ".png"; }
  const Bytes& picture(int n) const { return pictures_.at(n); }
  // The count the result pages announce, when it is not the number of results served.
  std::string announced;

  std::vector<std::string> targets() {
    std::lock_guard lock(mutex_);
    return targets_;
  }

 private:
  void record(const std::string& target) {
    std::lock_guard lock(mutex_);
    targets_.push_back(target);
  }

  Text resultPage(long long page) const {
    const int pages = (total_ + 19) / 20;
    int items = static_cast<int>(std::clamp(total_ - (page - 1) * 20, 0LL, 20LL));
    if (auto it = shortPages_.find(page); it != shortPages_.end()) items = it->second;
    std::string html = "<html><body>\r\n<ul>\r\n";
    for (int i = 1; i <= items; ++i) {
      const std::string n = std::to_string((page - 1) * 20 + i);
      html += "<li><a href=\"/a/" + n + ".html\" title=\"图" + n + "\">图" + n +
              "</a><script>document.getElementById(\"pic" + n + "\").src = \"" + pictureUrl(std::stoi(n)) +
              "\"; </script></li>\r\n";
    }
    html += "</ul>\r\n<table><tr>\r\n<td>共找到<b>" +
            (announced.empty() ? std::to_string(total_) : announced) + "</b>条记录</td>\r\n";
    html +=
        page == 1 ? "<td>首页</td>\r\n" : "<td><a href='/plus/search.php?kw=x&PageNo=1'>首页</a></td>\r\n";
    for (int k = 1; k <= pages; ++k) {
      const std::string ks = std::to_string(k);
      html += k == page
                  ? "<td>" + ks + "&nbsp;</td>\r\n"
                  : "<td><a href='/plus/search.php?kw=x&PageNo=" + ks + "'>" + ks + "</a>&nbsp;</td>\r\n";
    }
    return gbk(html + "</tr></table>\r\n</body></html>\r\n");
  }

  int total_;
  std::map<long long, int> shortPages_;
  std::map<int, Bytes> pictures_;
  std::mutex mutex_;
  std::vector<std::string> targets_;
  std::unique_ptr<test::HttpServer> server_;
};

// Disabled flags of 上一页, 首页, 下一页, 跳页_按钮.
using Flags = std::array<bool, 4>;

// The paging actions go through the bar's dispatch, with the home page (0) shown.
class SearchTest : public ::testing::Test {
 protected:
  void serve(int total, std::map<long long, int> shortPages = {}) {
    site = std::make_unique<ScriptedSearchSite>(total, std::move(shortPages));
    parts.sites = test::sitesAt(site->base());
    prepareSearch(*ctx);
  }
  void search(const Text& keyword) {
    form.搜索框->setText(keyword);
    runSearch(*ctx);
  }
  void jump(const Text& box) {
    form.跳页_编辑框->setText(box);
    jumpToPage(*ctx);
  }
  Flags flags() const {
    return {toolkit::isDisabledFlag(form.上一页), toolkit::isDisabledFlag(form.首页),
            toolkit::isDisabledFlag(form.下一页), toolkit::isDisabledFlag(form.跳页_按钮)};
  }
  // 图片框1..8 show results first..first+7 of `sitePage`, and searchShownUrls says so.
  void expectShown(int sitePage, int first) {
    ASSERT_EQ(state.search.searchShownUrls.size(), 8u);
    for (int k = 0; k < 8; ++k) {
      const int n = (sitePage - 1) * 20 + first + k;
      EXPECT_EQ(form.slot(k + 1)->picture(), site->picture(n)) << "box " << k + 1;
      EXPECT_EQ(state.search.searchShownUrls[k], site->pictureUrl(n)) << "box " << k + 1;
    }
  }
  std::vector<Text> messages() const { return parts.messages(); }

  test::HandlerParts parts;
  forms::MainForm& form = parts.main;
  forms::ProgramState& state = parts.state;
  test::ScriptedDesktop& desktop = parts.desktop;
  std::unique_ptr<ScriptedSearchSite> site;
  const forms::Context* ctx = &parts.context;
};

TEST_F(SearchTest, KeywordIsSentAsPercentEncodedGbkBytes) {
  serve(57);
  search("表情"_gbk);
  search("a b-c.d_e");
  const auto targets = site->targets();
  ASSERT_EQ(targets.size(), 2u);
  EXPECT_EQ(targets[0], "/plus/search.php?kwtype=1&searchtype=titlekeyword&q=%B1%ED%C7%E9");
  EXPECT_EQ(targets[1], "/plus/search.php?kwtype=1&searchtype=titlekeyword&q=a%20b-c.d%5Fe");
}

TEST_F(SearchTest, FiftySevenResultsPageThroughBothHalvesOfTwoSitePages) {
  serve(57);
  search("表情"_gbk);
  EXPECT_EQ(form.标签_记录->caption(), "共找到57张图片"_gbk);
  EXPECT_EQ(state.search.searchRecordCaption, "共找到57张图片"_gbk);
  EXPECT_EQ(state.search.searchPageLinkPrefix, "/plus/search.php?kw=x&PageNo=");
  EXPECT_EQ(state.search.searchSitePageCount, 2);
  EXPECT_EQ(form.显示页->caption(), "1/4");
  EXPECT_EQ(flags(), (Flags{true, true, false, false}));
  expectShown(1, 1);

  nextPage(*ctx);
  EXPECT_EQ(form.显示页->caption(), "2/4");
  EXPECT_EQ(flags(), (Flags{false, false, false, false}));
  expectShown(1, 10);
  EXPECT_EQ(site->targets().size(), 1u) << "the second half needs no request";

  nextPage(*ctx);
  EXPECT_EQ(form.显示页->caption(), "3/4");
  EXPECT_EQ(site->targets().back(), "/plus/search.php?kw=x&PageNo=2");
  expectShown(2, 1);

  nextPage(*ctx);
  EXPECT_EQ(form.显示页->caption(), "4/4");
  EXPECT_EQ(flags(), (Flags{false, false, true, false}));
  expectShown(2, 10);

  // And back: the first half of the held page, then the query again for site page 1.
  previousPage(*ctx);
  EXPECT_EQ(form.显示页->caption(), "3/4");
  EXPECT_EQ(flags(), (Flags{false, false, false, false}));
  expectShown(2, 1);
  EXPECT_EQ(site->targets().size(), 2u);
  previousPage(*ctx);
  EXPECT_EQ(form.显示页->caption(), "2/4");
  EXPECT_EQ(site->targets().back(), "/plus/search.php?kwtype=1&searchtype=titlekeyword&q=%B1%ED%C7%E9");
  expectShown(1, 10);
  previousPage(*ctx);
  EXPECT_EQ(form.显示页->caption(), "1/4");
  EXPECT_EQ(flags(), (Flags{true, true, false, false}));
  expectShown(1, 1);
  EXPECT_EQ(state.search.searchPage, 1);
  EXPECT_EQ(state.search.searchSitePage, 1);
  EXPECT_TRUE(messages().empty());
}

TEST_F(SearchTest, NineteenResultsOpenTheSecondViewEvenWithAZeroPageCount) {
  serve(18);
  search("猫"_gbk);
  EXPECT_EQ(form.标签_记录->caption(), "共找到18张图片"_gbk);
  EXPECT_EQ(form.显示页->caption(), "1/0");
  EXPECT_EQ(flags(), (Flags{true, true, true, true}));
  expectShown(1, 1);

  serve(19);
  search("猫"_gbk);
  EXPECT_EQ(form.显示页->caption(), "1/0");
  EXPECT_EQ(flags(), (Flags{true, true, false, false}));
  // No page to jump to but the first, which the query holds (clamped to the page count, the
  // jump would ask for site page 0 and empty the boxes).
  jump("2");
  EXPECT_EQ(form.跳页_编辑框->text(), "1");
  EXPECT_EQ(form.显示页->caption(), "1/0");
  EXPECT_EQ(site->targets().back(), "/plus/search.php?kwtype=1&searchtype=titlekeyword&q=%C3%A8");
  expectShown(1, 1);
  // 上一页 put back on by a page switch goes nowhere.
  form.上一页->setEnabled(true);
  form.首页->setEnabled(true);
  previousPage(*ctx);
  EXPECT_EQ(state.search.searchPage, 1);
  EXPECT_EQ(flags(), (Flags{true, true, false, false}));
  expectShown(1, 1);

  serve(25);
  search("猫"_gbk);
  EXPECT_EQ(form.显示页->caption(), "1/2");
  nextPage(*ctx);
  EXPECT_EQ(form.显示页->caption(), "2/2");
  EXPECT_EQ(flags(), (Flags{false, false, true, false}));
  expectShown(1, 10);
  EXPECT_TRUE(messages().empty());
}

TEST_F(SearchTest, NoResultsSayNoMatchAndKeepThePictures) {
  serve(57);
  search("表情"_gbk);
  const Bytes shown = form.图片框1->picture();
  const TextArray shownUrls = state.search.searchShownUrls;

  serve(0);
  search("表情"_gbk);
  EXPECT_EQ(messages(), std::vector<Text>{"没有匹配数据"_gbk});
  EXPECT_EQ(form.标签_记录->caption(), "共找到0张图片"_gbk);
  EXPECT_EQ(form.显示页->caption(), "1/0");
  EXPECT_EQ(form.图片框1->picture(), shown);
  EXPECT_EQ(state.search.searchShownUrls, shownUrls);
  EXPECT_TRUE(state.search.searchImageUrls.empty());

  // No page at all: a closed port.
  parts.sites.searchHost = "127.0.0.1:1";
  search("表情"_gbk);
  EXPECT_EQ(messages().size(), 2u);
  EXPECT_EQ(form.标签_记录->caption(), "共找到0张图片"_gbk);
  EXPECT_EQ(form.图片框1->picture(), shown);
}

// While the picture library reads, the placeholder says how far it is; a search then still
// asks for a keyword rather than searching for the progress.
TEST_F(SearchTest, LibraryProgressStandsInThePlaceholderAndIsNoKeyword) {
  serve(57);
  showLibraryProgress(*ctx, 123, 456);
  EXPECT_EQ(form.搜索框->text(), "图库整理中 123/456"_gbk);
  EXPECT_EQ(form.搜索框->textColour(), QColor(0xC0, 0xC0, 0xC0));
  runSearch(*ctx);
  EXPECT_EQ(messages(), std::vector<Text>{"请输入配图的内容"_gbk});
  EXPECT_TRUE(site->targets().empty());
  showLibraryProgress(*ctx, 0, 0);
  EXPECT_EQ(form.搜索框->text(), kSearchPlaceholder);

  // Once typed in, the box keeps its text; emptied, it shows the progress greyed.
  removeSearchPlaceholder(*ctx);
  form.搜索框->setText("猫"_gbk);
  showLibraryProgress(*ctx, 1, 2);
  EXPECT_EQ(form.搜索框->text(), "猫"_gbk);
  EXPECT_EQ(form.搜索框->hint(), "图库整理中 1/2"_gbk);
  showLibraryProgress(*ctx, 1, 2, true);
  EXPECT_EQ(form.搜索框->hint(), "图库整理中 1/2（识字暂停，稍后重试）"_gbk);
  showLibraryProgress(*ctx, 2, 2);
  EXPECT_EQ(form.搜索框->hint(), "");
}

TEST_F(SearchTest, PlaceholderAndEmptyKeywordAskForAKeywordWithoutARequest) {
  serve(57);
  EXPECT_EQ(form.搜索框->text(), kSearchPlaceholder);
  EXPECT_EQ(form.搜索框->textColour(), QColor(0xC0, 0xC0, 0xC0));
  EXPECT_EQ(state.search.searchBoxState, forms::SearchBoxState::Placeholder);
  EXPECT_EQ(state.search.searchSitePage, 1);

  state.search.searchSitePageCount = 3;  // from an earlier search
  form.下一页->setEnabled(true);
  runSearch(*ctx);
  EXPECT_EQ(messages(), std::vector<Text>{"请输入配图的内容"_gbk});
  EXPECT_EQ(form.显示页->caption(), "1/6");
  EXPECT_EQ(flags(), (Flags{true, true, true, true}));
  EXPECT_TRUE(site->targets().empty());

  removeSearchPlaceholder(*ctx);
  EXPECT_EQ(form.搜索框->text(), "");
  EXPECT_EQ(form.搜索框->textColour(), QColor(0, 0, 0));
  EXPECT_EQ(state.search.searchBoxState, forms::SearchBoxState::Typed);
  runSearch(*ctx);
  EXPECT_EQ(messages().size(), 2u);
  EXPECT_TRUE(site->targets().empty());

  form.搜索框->setText("狗子"_gbk);
  removeSearchPlaceholder(*ctx);  // only the first focus empties the box
  EXPECT_EQ(form.搜索框->text(), "狗子"_gbk);
  form.搜索框->setText(kSearchPlaceholder);  // typed by hand, still not a keyword
  runSearch(*ctx);
  EXPECT_EQ(messages().size(), 3u);
  EXPECT_TRUE(site->targets().empty());
}

TEST_F(SearchTest, JumpsLoadTheSitePageOfTheTargetAndKeepTheButtonRules) {
  serve(57);
  search("表情"_gbk);

  jump("3");
  EXPECT_EQ(site->targets().back(), "/plus/search.php?kw=x&PageNo=2");
  EXPECT_EQ(form.显示页->caption(), "3/4");
  EXPECT_EQ(flags(), (Flags{false, false, false, false}));
  expectShown(2, 1);

  jump("4");
  EXPECT_EQ(form.显示页->caption(), "4/4");
  EXPECT_EQ(flags(), (Flags{false, false, true, false}));
  expectShown(2, 10);

  jump("9");  // beyond the last page: the last page, written back into the box
  EXPECT_EQ(form.跳页_编辑框->text(), "4");
  EXPECT_EQ(form.显示页->caption(), "4/4");
  EXPECT_EQ(state.search.searchSitePage, 2);
  expectShown(2, 10);

  jump("1");  // page 1 also comes from its link
  EXPECT_EQ(site->targets().back(), "/plus/search.php?kw=x&PageNo=1");
  EXPECT_EQ(form.显示页->caption(), "1/4");
  EXPECT_EQ(flags(), (Flags{true, true, false, false}));
  expectShown(1, 1);

  jump("2");
  jump("");  // below 1 counts as 1
  EXPECT_EQ(form.跳页_编辑框->text(), "1");
  EXPECT_EQ(state.search.searchPage, 1);
  EXPECT_EQ(state.search.searchSitePage, 1);
  EXPECT_EQ(site->targets().back(), "/plus/search.php?kw=x&PageNo=1");
  EXPECT_EQ(form.显示页->caption(), "1/4");
  EXPECT_EQ(flags(), (Flags{true, true, false, false}));
  expectShown(1, 1);
}

TEST_F(SearchTest, FirstPageRerunsTheQueryForWhatTheBoxHoldsNow) {
  serve(57);
  search("表情"_gbk);
  jump("3");
  form.搜索框->setText("狗子"_gbk);
  firstPage(*ctx);
  EXPECT_EQ(site->targets().back(), "/plus/search.php?kwtype=1&searchtype=titlekeyword&q=%B9%B7%D7%D3");
  EXPECT_EQ(state.search.searchPage, 1);
  EXPECT_EQ(state.search.searchSitePage, 1);
  EXPECT_EQ(form.显示页->caption(), "1/4");
  EXPECT_EQ(flags(), (Flags{true, true, false, false}));
  expectShown(1, 1);
}

TEST_F(SearchTest, ResultsThePageDoesNotHaveShowAsEmptyPictures) {
  serve(57, {{2, 12}});
  search("表情"_gbk);
  jump("4");  // items 10-17 of a site page holding 12
  for (int k = 1; k <= 8; ++k) {
    if (k <= 3) {
      EXPECT_EQ(form.slot(k)->picture(), site->picture(20 + 9 + k));
      EXPECT_EQ(state.search.searchShownUrls[k - 1], site->pictureUrl(20 + 9 + k));
    } else {
      EXPECT_TRUE(form.slot(k)->picture().empty()) << k;
      EXPECT_EQ(state.search.searchShownUrls[k - 1], "") << k;
    }
  }
}

// A result page is shown from its tenth snippet on; with nine it says there is nothing.
// A small library often has fewer than ten pictures with a word: they show, the boxes past
// them empty.
TEST_F(SearchTest, AFewSnippetsAreShownAndTheBoxesPastThemAreEmpty) {
  serve(57);
  search("表情"_gbk);
  serve(3);
  search("表情"_gbk);
  EXPECT_TRUE(messages().empty());
  EXPECT_EQ(form.标签_记录->caption(), "共找到3张图片"_gbk);
  ASSERT_EQ(state.search.searchShownUrls.size(), 8u);
  for (int k = 1; k <= 8; ++k) {
    EXPECT_EQ(form.slot(k)->picture(), k <= 3 ? site->picture(k) : Bytes()) << "box " << k;
    EXPECT_EQ(state.search.searchShownUrls[k - 1], k <= 3 ? site->pictureUrl(k) : Text()) << "box " << k;
  }
}

// Back from the first half of site page 3 is the second half of site page 2, loaded from its
// link (only site page 1 comes from the query).
TEST_F(SearchTest, PreviousFromPageFiveReloadsSitePageTwoFromItsLink) {
  serve(117);
  search("表情"_gbk);
  EXPECT_EQ(form.显示页->caption(), "1/10");
  jump("5");
  expectShown(3, 1);
  previousPage(*ctx);
  EXPECT_EQ(site->targets().back(), "/plus/search.php?kw=x&PageNo=2");
  EXPECT_EQ(state.search.searchSitePage, 2);
  EXPECT_EQ(state.search.searchPage, 4);
  EXPECT_EQ(form.显示页->caption(), "4/10");
  expectShown(2, 10);
}

// With 19 results the page count reads 0 while 下一页 stays on: going past the second view
// requests nothing and leaves the pictures as they are.
TEST_F(SearchTest, NextBeyondTheSitePageCountLoadsNothing) {
  serve(19);
  search("猫"_gbk);
  nextPage(*ctx);
  expectShown(1, 10);
  const TextArray shownUrls = state.search.searchShownUrls;
  nextPage(*ctx);
  EXPECT_EQ(site->targets().size(), 1u);
  EXPECT_EQ(state.search.searchSitePage, 2);
  EXPECT_EQ(state.search.searchPage, 3);
  EXPECT_EQ(form.显示页->caption(), "3/0");
  EXPECT_TRUE(state.search.searchImageUrls.empty());
  EXPECT_EQ(state.search.searchShownUrls, shownUrls);
  EXPECT_EQ(form.图片框1->picture(), site->picture(10));
  EXPECT_EQ(flags(), (Flags{false, false, false, false}));
}

// A count whose site pages int cannot number twice over pages as far as it can: no negative
// page count, no negative page asked for.
TEST_F(SearchTest, AHugeCountPagesAsFarAsPagesCanBeNumbered) {
  serve(57);
  site->announced = "42949672960";
  search("表情"_gbk);
  EXPECT_EQ(form.标签_记录->caption(), "共找到42949672960张图片"_gbk);
  EXPECT_EQ(state.search.searchSitePageCount, 1073741823);
  EXPECT_EQ(form.显示页->caption(), "1/2147483646");
  expectShown(1, 1);

  jump("99999999999");
  EXPECT_EQ(form.跳页_编辑框->text(), "2147483646");
  EXPECT_EQ(site->targets().back(), "/plus/search.php?kw=x&PageNo=1073741823");
  EXPECT_EQ(form.显示页->caption(), "2147483646/2147483646");
  EXPECT_EQ(flags(), (Flags{false, false, true, false}));
}

// The program as started: its created step, its bindings and the embedded demo site.
TEST(SearchProgram, SearchFromTheBoxAgainstTheDemoSite) {
  demo::DemoSite demoSite;
  ASSERT_TRUE(demoSite.start());
  test::ScriptedDesktop desktop;
  test::TempPlaces places;
  shell::Program p(formPicture, demoSite.settings(), desktop, places);
  auto& f = p.main;
  p.start();
  EXPECT_EQ(f.主窗口->focusWidget(), f.搜索);
  EXPECT_EQ(f.搜索框->text(), kSearchPlaceholder);
  EXPECT_EQ(p.state.search.searchSitePage, 1);

  QTest::mousePress(f.搜索, Qt::LeftButton);
  ASSERT_EQ(desktop.calls.size(), 1u);
  EXPECT_EQ(desktop.calls[0].text, "请输入配图的内容"_gbk);

  ASSERT_TRUE(QTest::qWaitForWindowActive(f.主窗口));
  f.搜索框->setFocus();
  EXPECT_EQ(f.搜索框->text(), "");
  EXPECT_EQ(p.state.search.searchBoxState, forms::SearchBoxState::Typed);
  QTest::sendKeyEvent(QTest::Press, f.搜索框->editor(), Qt::Key_unknown, QStringLiteral("表情"), {});
  QTest::keyClick(f.搜索框->editor(), Qt::Key_A);  // other keys do not search
  EXPECT_EQ(f.标签_记录->caption(), "");
  QTest::keyClick(f.搜索框->editor(), Qt::Key_Backspace);
  QTest::keyClick(f.搜索框->editor(), Qt::Key_Return);

  EXPECT_EQ(desktop.calls.size(), 1u);
  long long matching = 0;
  for (const auto& picture : demo::demoCatalog().pictures)
    matching += picture.title.find("表情") != std::string::npos;
  ASSERT_GE(matching, 20);
  EXPECT_EQ(f.标签_记录->caption(), "共找到"_gbk + fromInteger(matching) + "张图片"_gbk);
  const Text pages = fromInteger(matching / 20 * 2);
  EXPECT_EQ(f.显示页->caption(), "1/" + pages);
  bool sawGif = false;
  for (int k = 1; k <= 8; ++k) {
    const Bytes& bytes = f.slot(k)->picture();
    ASSERT_TRUE(mw::test::decoded(f.slot(k)->pictureView()));
    EXPECT_TRUE(f.slot(k)->pictureView().shown()) << k;
    EXPECT_EQ(p.state.search.searchShownUrls[k - 1], p.state.search.searchImageUrls[k - 1]);
    sawGif = sawGif || bytes.starts_with("GIF8");
  }
  EXPECT_TRUE(sawGif);

  // The paging bar's buttons act on the search view while 主页 is shown.
  const TextArray firstView = p.state.search.searchShownUrls;
  const forms::TemplateListState list = p.state.list;
  QTest::mouseClick(f.下一页, Qt::LeftButton);
  EXPECT_EQ(f.显示页->caption(), "2/" + pages);
  EXPECT_EQ(p.state.search.searchShownUrls[0], p.state.search.searchImageUrls[9]);
  f.跳页_编辑框->setText("3");
  QTest::mouseClick(f.跳页_按钮, Qt::LeftButton);
  EXPECT_EQ(f.显示页->caption(), "3/" + pages);
  f.跳页_编辑框->setText("4");
  QTest::keyClick(f.跳页_编辑框->editor(), Qt::Key_Return);
  EXPECT_EQ(f.显示页->caption(), "4/" + pages);
  QTest::mouseClick(f.上一页, Qt::LeftButton);
  EXPECT_EQ(f.显示页->caption(), "3/" + pages);
  QTest::mouseClick(f.首页, Qt::LeftButton);
  EXPECT_EQ(f.显示页->caption(), "1/" + pages);
  EXPECT_EQ(p.state.search.searchShownUrls, firstView);
  EXPECT_EQ(p.state.list.listPage, list.listPage);
  EXPECT_EQ(p.state.list.listImageUrls, list.listImageUrls);
  EXPECT_EQ(desktop.calls.size(), 1u);
}

// A click on the paging bar while the search still downloads its pictures runs after it.
TEST(SearchProgram, ClickDuringTheSearchWaitsForIt) {
  demo::DemoSite demoSite;
  ASSERT_TRUE(demoSite.start());
  test::ScriptedDesktop desktop;
  test::TempPlaces places;
  shell::Program p(formPicture, demoSite.settings(), desktop, places);
  auto& f = p.main;
  p.start();
  f.搜索框->setText("表情"_gbk);

  int pageWhenClicked = -1;
  setEventPump([&] {
    if (pageWhenClicked != -1 || p.state.search.searchImageUrls.empty()) return;
    QTest::mouseClick(f.下一页, Qt::LeftButton);  // enabled by then
    pageWhenClicked = p.state.search.searchPage;
  });
  QTest::mousePress(f.搜索, Qt::LeftButton);
  setEventPump(nullptr);

  EXPECT_EQ(pageWhenClicked, 1) << "the click did not run in the middle of the search";
  EXPECT_EQ(p.state.search.searchPage, 2);
  EXPECT_EQ(p.state.search.searchShownUrls[0], p.state.search.searchImageUrls[9]);
  EXPECT_FALSE(p.registry.gate().busy());
}

}  // namespace
