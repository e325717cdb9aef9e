#include "shell/update_window.h"

#include <gtest/gtest.h>

#include <QAccessible>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QWindow>
#include <functional>

#include "platform/wait_pump.h"
#include "shell/program.h"
#include "startup_site.h"
#include "support/accessible.h"
#include "support/form_pictures.h"
#include "support/scripted_desktop.h"
#include "support/temp_folder.h"
#include "support/window_input.h"

using namespace mw;
using namespace mw::shell;
using mw::test::formPicture;
using mw::test::StartUpSite;

namespace {

// Runs `look` when `window` is first shown, before anything painted it.
class AtFirstShow : public QObject {
 public:
  AtFirstShow(QWidget* window, std::function<void()> look) : look_(std::move(look)) {
    window->installEventFilter(this);
  }
  bool shown = false;

 protected:
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Show && !shown) {
      shown = true;
      look_();
    }
    return false;
  }

 private:
  std::function<void()> look_;
};

TEST(UpdateWindow, CreatedStepFillsVersionPasswordAndFiveNoteBlocks) {
  StartUpSite site;
  test::ScriptedDesktop desk;
  test::TempPlaces places;
  Program p(formPicture, site.settings(), desk, places);
  auto& u = p.update;
  u.更新窗口->load();
  // Before start-up has read the home page the latest version is empty.
  EXPECT_EQ(u.标签1->caption(), "当前版本：1.3最新版本："_gbk);
  EXPECT_EQ(u.标签4->caption(), "pw12");
  EXPECT_EQ(u.编辑框1->text(), "\r\n二\r\n三\r\n四\r\n五"_gbk);
  EXPECT_EQ(p.state.update.shareId, "share1");

  // Loaded again while open: the same window, filled again.
  p.state.update.latestVersion = "1.4";
  p.state.update.updateNotes = "说明"_gbk;
  site.homePage = StartUpSite::utf8Page("文本5a文本5 百度址x百度网 百度密p百度码");
  u.更新窗口->load();
  EXPECT_EQ(QApplication::topLevelWidgets().count(u.更新窗口), 1);
  EXPECT_TRUE(u.更新窗口->isVisible());
  EXPECT_EQ(u.标签1->caption(), "当前版本：1.3最新版本：1.4"_gbk);
  // Only the order start-then-end counts: an id whose end marker comes first is empty.
  EXPECT_EQ(p.state.update.shareId, "");
  EXPECT_EQ(u.编辑框1->text(), "说明\r\na\r\n\r\n\r\n"_gbk);

  // The button tells the password, then opens the share; the window stays.
  QTest::mouseClick(u.按钮1, Qt::LeftButton);
  ASSERT_EQ(desk.calls.size(), 2u);
  EXPECT_EQ(desk.calls[0].what, "messageBox");
  EXPECT_EQ(desk.calls[0].text, "提取密码为：p"_gbk);
  EXPECT_EQ(desk.calls[1].what, "openAddress");
  EXPECT_EQ(desk.calls[1].text, site.base() + "/s/");
  EXPECT_TRUE(u.更新窗口->isVisible());
  desk.opens = false;  // no browser
  QTest::mouseClick(u.按钮1, Qt::LeftButton);
  EXPECT_EQ(p.main.气球提示框1->text(), "无法打开浏览器"_gbk);
  u.更新窗口->destroyWindow();
}

TEST(UpdateWindow, OuterSizeIsTheDefinedOneClientAreaInsideTheFrame) {
  test::ScriptedDesktop desk;
  test::TempPlaces places;
  Program p(formPicture, {}, desk, places);
  EXPECT_EQ(p.update.更新窗口->size(), QSize(367, 380));
  EXPECT_EQ(p.update.按钮1->geometry().bottom(), 367);  // 12 pixels above the client area's bottom
}

// Tools see it as a button exactly while a press opens the window.
TEST(UpdateLabel, OpensTheUpdateWindowOnlyWhileItOffersANewerVersion) {
  StartUpSite site;
  test::ScriptedDesktop desk;
  test::TempPlaces places;
  Program p(formPicture, site.settings(), desk, places);
  auto& f = p.main;
  EXPECT_EQ(test::a11y(f.标签_更新)->role(), QAccessible::StaticText);
  QTest::mousePress(f.标签_更新, Qt::LeftButton, {}, QPoint(5, 5));
  EXPECT_FALSE(p.update.更新窗口->isVisible());
  p.state.update.updateOffered = true;
  EXPECT_EQ(test::a11y(f.标签_更新)->role(), QAccessible::PushButton);
  EXPECT_TRUE(test::a11y(f.标签_更新)
                  ->actionInterface()
                  ->actionNames()
                  .contains(QAccessibleActionInterface::pressAction()));
  QTest::mousePress(f.标签_更新, Qt::LeftButton, {}, QPoint(5, 5));
  EXPECT_TRUE(p.update.更新窗口->isVisible());
  p.update.更新窗口->destroyWindow();
}

// Opened from a handler, each window is ready when it first shows: the tip window in its place,
// the update window filled after its fetch, the main window's chrome working meanwhile.
TEST(SecondaryWindows, OpenedFromAHandlerShowReadyInPlaceAndFilled) {
  StartUpSite site;
  site.probePage = "offline";  // start-up, should it run meanwhile, is quick
  platform::WaitPump pump;
  test::ScriptedDesktop desk;
  test::TempPlaces places;
  Program p(formPicture, site.settings(), desk, places);
  auto& f = p.main;
  p.start();
  f.主窗口->move(40, 30);

  QPoint tipAt(-1, -1);
  AtFirstShow tipShown(p.tip.打赏窗口, [&] { tipAt = p.tip.打赏窗口->pos(); });
  f.showPage(forms::Page::Favourites);
  QTest::mousePress(f.打赏_按钮, Qt::LeftButton, {}, QPoint(5, 5));
  ASSERT_TRUE(tipShown.shown);
  EXPECT_EQ(tipAt, QPoint(40 + 95, 30 + 114));
  p.tip.打赏窗口->destroyWindow();

  auto& u = p.update;
  Text version, password, notes;
  AtFirstShow updateShown(u.更新窗口, [&] {
    version = u.标签1->caption();
    password = u.标签4->caption();
    notes = u.编辑框1->text();
  });
  site.delayMs = 1000;
  bool hiddenDuringFetch = false, minimisedDuringFetch = false;
  QTimer::singleShot(100, [&] { test::postClick(f.窗口控制按钮, QPoint(10, 20)); });  // the minimise zone
  QTimer::singleShot(600, [&] {
    hiddenDuringFetch = !u.更新窗口->isVisible();
    minimisedDuringFetch = f.主窗口->isMinimized();
  });
  p.state.update.updateOffered = true;
  QTest::mousePress(f.标签_更新, Qt::LeftButton, {}, QPoint(5, 5));
  ASSERT_TRUE(updateShown.shown);
  EXPECT_EQ(version, "当前版本：1.3最新版本："_gbk);
  EXPECT_EQ(password, "pw12");
  EXPECT_EQ(notes, "\r\n二\r\n三\r\n四\r\n五"_gbk);
  EXPECT_TRUE(hiddenDuringFetch);
  EXPECT_TRUE(minimisedDuringFetch);
  u.更新窗口->destroyWindow();
  f.主窗口->destroyWindow();
}

// The update window stands on the main window, yet outlives it: start-up closes the main window
// right after loading it. Qt counts last windows only inside its event loop.
TEST(UpdateWindow, StandsOnTheMainWindowAndKeepsTheProgramWhenItCloses) {
  test::ScriptedDesktop desk;
  test::TempPlaces places;
  Program p(formPicture, {}, desk, places);
  p.start();
  p.update.更新窗口->load();
  ASSERT_TRUE(p.update.更新窗口->isVisible());
  EXPECT_EQ(p.update.更新窗口->windowHandle()->transientParent(), p.main.主窗口->windowHandle());
  QSignalSpy lastClosed(qApp, &QGuiApplication::lastWindowClosed);
  QTimer::singleShot(0, p.main.主窗口, [&] { p.main.主窗口->destroyWindow(); });
  QTimer::singleShot(0, qApp, [] { QCoreApplication::exit(0); });
  QCoreApplication::exec();
  EXPECT_EQ(lastClosed.count(), 0);
  EXPECT_TRUE(p.update.更新窗口->isVisible());
  p.update.更新窗口->destroyWindow();
}

TEST(TipWindow, OpensCentredOverTheMainWindowAndClosesOnAPressOrFocusLoss) {
  test::ScriptedDesktop desk;
  test::TempPlaces places;
  Program p(formPicture, {}, desk, places);
  auto& f = p.main;
  auto* tip = p.tip.打赏窗口;
  p.start();
  f.主窗口->move(40, 30);
  f.showPage(forms::Page::Favourites);
  QTest::mousePress(f.打赏_按钮, Qt::LeftButton, {}, QPoint(5, 5));
  ASSERT_TRUE(tip->isVisible());
  EXPECT_EQ(tip->pos(), QPoint(40 + 95, 30 + 114));
  QTest::mousePress(tip, Qt::LeftButton, {}, QPoint(200, 200));
  EXPECT_FALSE(tip->isVisible());

  QTest::mousePress(f.打赏_按钮, Qt::LeftButton, {}, QPoint(5, 5));
  ASSERT_TRUE(QTest::qWaitForWindowActive(tip));
  // A popup: a press on the main window, which would take the focus, closes it.
  QTest::mouseClick(f.主窗口->windowHandle(), Qt::LeftButton, {}, QPoint(20, 590));
  EXPECT_TRUE(QTest::qWaitFor([&] { return !tip->isVisible(); }));
  f.主窗口->destroyWindow();
}

}  // namespace
