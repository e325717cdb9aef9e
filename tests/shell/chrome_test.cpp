#include "shell/chrome.h"

#include <gtest/gtest.h>

#include <QTest>

#include "forms/paging_bar.h"
#include "shell/program.h"
#include "support/form_pictures.h"
#include "support/scripted_desktop.h"
#include "support/temp_folder.h"

using namespace mw;
using namespace mw::runtime;
using namespace mw::net;
using namespace mw::shell;
using namespace mw::toolkit;
using mw::test::formPicture;

namespace {

using Flags = std::array<int, 4>;

Flags pagingFlags(const forms::MainForm& f) {
  return {isDisabledFlag(f.上一页), isDisabledFlag(f.首页), isDisabledFlag(f.下一页),
          isDisabledFlag(f.跳页_按钮)};
}

void setPagingFlags(forms::MainForm& f, Flags flags) {
  f.上一页->setDisabled(flags[0]);
  f.首页->setDisabled(flags[1]);
  f.下一页->setDisabled(flags[2]);
  f.跳页_按钮->setDisabled(flags[3]);
}

bool barShown(const forms::MainForm& f) {
  const std::vector<QWidget*> bar{f.上一页,    f.下一页,    f.首页,       f.显示页,
                                  f.标签_记录, f.跳页_按钮, f.跳页_编辑框};
  const bool first = isShownFlag(bar[0]);
  for (QWidget* w : bar) EXPECT_EQ(isShownFlag(w), first) << "the bar shows and hides as one";
  return first;
}

void press(QWidget* w, QPoint at = QPoint(5, 5)) { QTest::mousePress(w, Qt::LeftButton, {}, at); }

const Flags kCurrent{1, 0, 1, 0};
const Flags kSavedHome{0, 1, 1, 0};
const Flags kSavedEdit{0, 0, 1, 1};
// A page the handlers never store as the last edit page: shows what they left alone.
const forms::Page kUnwritten = forms::Page::Favourites;

// Puts the program on page `from` with recognisable flags, list state and captions.
void arrange(Program& p, int from, bool barVisible) {
  auto& f = p.main;
  f.选择夹1->setCurrentPage(from);
  setPagingFlags(f, kCurrent);
  p.state.paging.savedHomePaging = kSavedHome;
  p.state.paging.savedEditPaging = kSavedEdit;
  p.state.paging.lastEditPage = kUnwritten;
  p.state.search.searchPage = 2;
  p.state.search.searchSitePageCount = 3;
  p.state.search.searchRecordCaption = "共有6页"_gbk;
  p.state.list.listPage = 4;
  p.state.list.listPageCount = 9;
  p.state.list.listRecordCaption = "模板共有90个"_gbk;
  f.显示页->setCaption("?");
  f.标签_记录->setCaption("?");
  p.state.list.listMode = forms::ListMode::All;
  forms::hidePagingBar(f, !barVisible);
}

}  // namespace

TEST(PageSwitching, HomeButtonFromEveryPage) {
  test::ScriptedDesktop desk;
  test::TempPlaces places;
  Program p(formPicture, {}, desk, places);
  auto& f = p.main;
  const forms::Page lastEdit[] = {kUnwritten, forms::Page::Edit, kUnwritten, forms::Page::Online,
                                  forms::Page::Local};
  for (int from = 0; from < 5; ++from) {
    SCOPED_TRACE("from page " + std::to_string(from));
    arrange(p, from, false);
    press(f.主页);
    const bool leftEditArea = from == 1 || from == 3 || from == 4;
    EXPECT_EQ(p.state.paging.savedEditPaging, leftEditArea ? kCurrent : kSavedEdit);
    EXPECT_EQ(p.state.paging.savedHomePaging, kSavedHome);
    // Restored from savedHomePaging except from page 0; 跳页_按钮 follows "2/6" either way.
    Flags expected = from == 0 ? kCurrent : kSavedHome;
    expected[3] = 0;
    EXPECT_EQ(pagingFlags(f), expected);
    EXPECT_EQ(p.state.paging.lastEditPage, lastEdit[from]);
    EXPECT_EQ(f.选择夹1->currentPage(), 0);
    EXPECT_EQ(f.主窗口->picture(), formPicture("skin_home.png"));
    EXPECT_EQ(f.显示页->caption(), "2/6");
    EXPECT_EQ(f.标签_记录->caption(), "共有6页"_gbk);
    EXPECT_TRUE(barShown(f));
  }
}

TEST(PageSwitching, EditButtonFromEveryPageReturnsToTheLastEditPage) {
  test::ScriptedDesktop desk;
  test::TempPlaces places;
  Program p(formPicture, {}, desk, places);
  auto& f = p.main;
  for (int from = 0; from < 5; ++from) {
    // Any page but the two sub-pages means 编辑.
    for (const forms::Page last : {forms::Page::Edit, forms::Page::Online, forms::Page::Local,
                                   forms::Page::Home, forms::Page::Favourites}) {
      SCOPED_TRACE("from page " + std::to_string(from) + " last " + std::to_string(static_cast<int>(last)));
      arrange(p, from, false);
      p.state.paging.lastEditPage = last;
      press(f.编辑);
      EXPECT_EQ(p.state.paging.savedHomePaging, from == 0 ? kCurrent : kSavedHome);
      EXPECT_EQ(p.state.paging.savedEditPaging, kSavedEdit);
      Flags expected = from == 0 || from == 2 ? kSavedEdit : kCurrent;
      expected[3] = 0;  // 网络所有 is the source here
      EXPECT_EQ(pagingFlags(f), expected);
      const int target = last == forms::Page::Online ? 3 : last == forms::Page::Local ? 4 : 1;
      EXPECT_EQ(f.选择夹1->currentPage(), target);
      EXPECT_EQ(p.state.paging.lastEditPage, last);
      EXPECT_EQ(f.主窗口->picture(), formPicture("skin_edit.png"));
      EXPECT_EQ(f.显示页->caption(), "4/9");
      EXPECT_EQ(f.标签_记录->caption(), "模板共有90个"_gbk);
      EXPECT_TRUE(barShown(f));
    }
  }
}

TEST(PageSwitching, FavouritesButtonFromEveryPage) {
  test::ScriptedDesktop desk;
  test::TempPlaces places;
  Program p(formPicture, {}, desk, places);
  auto& f = p.main;
  const forms::Page lastEdit[] = {kUnwritten, forms::Page::Edit, kUnwritten, forms::Page::Online,
                                  forms::Page::Local};
  for (int from = 0; from < 5; ++from) {
    SCOPED_TRACE("from page " + std::to_string(from));
    arrange(p, from, true);
    press(f.收藏);
    EXPECT_EQ(p.state.paging.savedHomePaging, from == 0 ? kCurrent : kSavedHome);
    EXPECT_EQ(p.state.paging.savedEditPaging, from == 1 ? kCurrent : kSavedEdit);
    EXPECT_EQ(pagingFlags(f), kCurrent);  // nothing restored
    EXPECT_EQ(p.state.paging.lastEditPage, lastEdit[from]);
    EXPECT_EQ(f.选择夹1->currentPage(), 2);
    EXPECT_EQ(f.主窗口->picture(), formPicture("skin_favourites.png"));
    EXPECT_EQ(f.显示页->caption(), "?");  // left as they are, hidden
    EXPECT_FALSE(barShown(f));
  }
}

TEST(PageSwitching, JumpButtonRulesAndRoundTrips) {
  test::ScriptedDesktop desk;
  test::TempPlaces places;
  Program p(formPicture, {}, desk, places);
  auto& f = p.main;

  // Before any search: 0/0 disables 跳页_按钮 while the other three come back enabled from the
  // four zeros of an offline start.
  p.state.paging.savedHomePaging = {0, 0, 0, 0};
  f.选择夹1->setCurrentPage(2);
  press(f.主页);
  EXPECT_EQ(f.显示页->caption(), "0/0");
  EXPECT_EQ(pagingFlags(f), (Flags{0, 0, 0, 1}));
  // Pressing 主页 again on 主页 still rewrites and recomputes.
  p.state.search.searchPage = 1;
  p.state.search.searchSitePageCount = 1;
  press(f.主页);
  EXPECT_EQ(f.显示页->caption(), "1/2");
  EXPECT_FALSE(isDisabledFlag(f.跳页_按钮));

  // The latest-templates source selected: 编辑 leaves 跳页_按钮 disabled whatever was saved.
  p.state.list.listMode = forms::ListMode::Latest;
  p.state.paging.savedEditPaging = {0, 0, 0, 0};
  press(f.编辑);
  EXPECT_TRUE(isDisabledFlag(f.跳页_按钮));

  // 网络制作 -> 主页 -> 编辑 comes back to 网络制作, with the 编辑 skin and the bar shown.
  f.选择夹1->setCurrentPage(3);
  forms::hidePagingBar(f, true);
  press(f.主页);
  EXPECT_EQ(p.state.paging.lastEditPage, forms::Page::Online);
  press(f.编辑);
  EXPECT_EQ(f.选择夹1->currentPage(), 3);
  EXPECT_EQ(f.主窗口->picture(), formPicture("skin_edit.png"));
  EXPECT_TRUE(barShown(f));

  // 编辑 -> 收藏 -> 编辑 comes back to 编辑.
  f.选择夹1->setCurrentPage(1);
  press(f.收藏);
  EXPECT_EQ(p.state.paging.lastEditPage, forms::Page::Edit);
  press(f.编辑);
  EXPECT_EQ(f.选择夹1->currentPage(), 1);
}

TEST(ChromeStrip, HitZones) {
  for (int y = 0; y < 41; ++y) {
    for (int x = 0; x < 84; ++x) {
      const bool rows = y >= 11 && y <= 34;
      const StripZone close = rows && x >= 56 && x <= 74 ? StripZone::Close : StripZone::None;
      const StripZone hover = close != StripZone::None    ? close
                              : rows && x >= 7 && x <= 19 ? StripZone::Minimise
                                                          : StripZone::None;
      const StripZone pressed = close != StripZone::None    ? close
                                : rows && x >= 1 && x <= 19 ? StripZone::Minimise
                                                            : StripZone::None;
      ASSERT_EQ(hoverZone(x, y), hover) << x << "," << y;
      ASSERT_EQ(pressZone(x, y), pressed) << x << "," << y;
    }
  }
  // Spot checks of the edges named for the strip.
  EXPECT_EQ(pressZone(0, 20), StripZone::None);
  EXPECT_EQ(pressZone(1, 20), StripZone::Minimise);
  EXPECT_EQ(hoverZone(6, 20), StripZone::None);
  EXPECT_EQ(pressZone(20, 20), StripZone::None);
  EXPECT_EQ(pressZone(55, 20), StripZone::None);
  EXPECT_EQ(pressZone(75, 20), StripZone::None);
  EXPECT_EQ(pressZone(83, 20), StripZone::None);
}

TEST(ChromeStrip, HoverAndPressOnTheRealControl) {
  test::ScriptedDesktop desk;
  test::TempPlaces places;
  Program p(formPicture, {}, desk, places);
  auto& f = p.main;
  p.start();
  Label* strip = f.窗口控制按钮;
  QTest::mouseMove(strip, QPoint(60, 20));
  EXPECT_EQ(strip->picture(), formPicture("chrome_close_hot.png"));
  QTest::mouseMove(strip, QPoint(10, 20));
  EXPECT_EQ(strip->picture(), formPicture("chrome_minimise_hot.png"));
  QTest::mouseMove(strip, QPoint(3, 20));
  EXPECT_EQ(strip->picture(), formPicture("chrome_normal.png"));

  // Nothing happens in the gaps.
  for (int x : {0, 20, 40, 55, 75, 83}) press(strip, QPoint(x, 20));
  EXPECT_TRUE(f.主窗口->isVisible());
  EXPECT_FALSE(f.主窗口->isMinimized());

  // 1..6 minimises though it shows no highlight, and leaves the normal strip behind.
  QTest::mouseMove(strip, QPoint(10, 20));
  press(strip, QPoint(3, 20));
  EXPECT_TRUE(f.主窗口->windowState() & Qt::WindowMinimized);
  EXPECT_EQ(strip->picture(), formPicture("chrome_normal.png"));
  f.主窗口->showNormal();

  // Close: the main window goes, an update window opened before it stays.
  p.update.更新窗口->load();
  press(strip, QPoint(60, 20));
  EXPECT_FALSE(f.主窗口->isVisible());
  EXPECT_FALSE(f.主窗口->loaded());
  EXPECT_TRUE(p.update.更新窗口->isVisible());
  EXPECT_TRUE(QGuiApplication::quitOnLastWindowClosed());
  p.update.更新窗口->destroyWindow();
}

TEST(MainWindow, BackgroundPressTakesFocusAndGroupLinkOpens) {
  test::ScriptedDesktop scripted;
  test::TempPlaces places;
  Program p(formPicture, {}, scripted, places);
  auto& f = p.main;
  p.start();
  f.主窗口->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(f.主窗口));
  f.搜索框->setFocus();
  ASSERT_TRUE(f.搜索框->editor()->hasFocus());
  // Left of the tab control there is only the window's background.
  press(f.主窗口, QPoint(3, 300));
  EXPECT_FALSE(f.搜索框->editor()->hasFocus());
  EXPECT_EQ(QApplication::focusWidget(), f.主窗口);
  // An empty part of a page is background too.
  f.搜索框->setFocus();
  press(f.选择夹1->page(0), QPoint(300, 480));
  EXPECT_FALSE(f.搜索框->editor()->hasFocus());

  press(f.标签_检查更新1);
  p.state.update.groupLink = "http://127.0.0.1:9/wpa/qunwpa?idkey=abc";
  press(f.标签_检查更新1);
  ASSERT_EQ(scripted.calls.size(), 2u);
  EXPECT_EQ(scripted.calls[0].what, "openAddress");
  EXPECT_EQ(scripted.calls[0].text, "");  // an empty link is passed on as it is
  EXPECT_EQ(scripted.calls[1].text, "http://127.0.0.1:9/wpa/qunwpa?idkey=abc");
  scripted.opens = false;  // no browser
  press(f.标签_检查更新1);
  EXPECT_EQ(f.气球提示框1->text(), "无法打开浏览器"_gbk);
  f.主窗口->destroyWindow();
}

// The offscreen platform, like a bare X server, has no window manager to move the window: it
// follows the pointer by hand from a press on the title strip until the button is released.
TEST(WindowDrag, TitleStripMovesTheWindowByHandWhenTheSystemCannot) {
  test::ScriptedDesktop desk;
  test::TempPlaces places;
  Program p(formPicture, {}, desk, places);
  auto& f = p.main;
  p.start();
  f.主窗口->move(100, 100);
  QWidget* strip = f.窗口位置拖动;
  QTest::mousePress(strip, Qt::LeftButton, {}, QPoint(300, 20));
  QTest::mouseMove(strip, QPoint(340, 50));
  EXPECT_EQ(f.主窗口->pos(), QPoint(140, 130));
  // The strip moved with the window: the same pointer position is now 10, 5 further on.
  QTest::mouseMove(strip, QPoint(310, 25));
  EXPECT_EQ(f.主窗口->pos(), QPoint(150, 135));
  QTest::mouseRelease(strip, Qt::LeftButton, {}, QPoint(310, 25));
  QTest::mouseMove(strip, QPoint(200, 30));
  EXPECT_EQ(f.主窗口->pos(), QPoint(150, 135));
  f.主窗口->destroyWindow();
}
