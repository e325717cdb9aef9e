#include <gtest/gtest.h>

#include <QApplication>
#include <QLineEdit>
#include <QTest>
#include <stdexcept>

#include "browse/template_site.h"
#include "demo/demo_site.h"
#include "runtime/event_pump.h"
#include "shell/program.h"
#include "support/form_pictures.h"
#include "support/handler_parts.h"
#include "toolkit/events.h"

using namespace mw;
using namespace mw::runtime;
using namespace mw::shell;
using mw::test::formPicture;
using mw::test::TemplateSite;
using mw::toolkit::Event;

namespace {

TEST(HandlerGate, HandlersAskedForDuringOneRunAfterItInOrder) {
  forms::HandlerGate gate;
  std::vector<std::string> order;
  gate.run([&] {
    order.push_back("a begins");
    gate.run([&] {
      order.push_back("b");
      gate.run([&] { order.push_back("d"); });
    });
    gate.run([&] { order.push_back("c"); });
    EXPECT_EQ(gate.waiting(), 2u);
    order.push_back("a ends");
  });
  EXPECT_EQ(order, (std::vector<std::string>{"a begins", "a ends", "b", "c", "d"}));
  EXPECT_FALSE(gate.busy());
}

// Every event the window definitions bind, and what each control's features bind today.
struct Binding {
  const char* window;
  const char* control;
  Event event;
};

const std::vector<Binding>& windowTableEvents() {
  static const std::vector<Binding> all = [] {
    std::vector<Binding> b{
        {"主窗口", "主窗口", Event::Created},
        {"主窗口", "主窗口", Event::FirstActivation},
        {"主窗口", "主窗口", Event::LeftDown},
        {"更新窗口", "更新窗口", Event::Created},
        {"打赏窗口", "打赏窗口", Event::Created},
        {"打赏窗口", "打赏窗口", Event::LostFocus},
        {"打赏窗口", "打赏窗口", Event::LeftDown},
        {"主窗口", "窗口位置拖动", Event::LeftDown},
        {"主窗口", "主页", Event::LeftDown},
        {"主窗口", "编辑", Event::LeftDown},
        {"主窗口", "收藏", Event::LeftDown},
        {"主窗口", "窗口控制按钮", Event::MouseMove},
        {"主窗口", "窗口控制按钮", Event::LeftDown},
        {"主窗口", "上一页", Event::Click},
        {"主窗口", "下一页", Event::Click},
        {"主窗口", "跳页_编辑框", Event::KeyDown},
        {"主窗口", "跳页_按钮", Event::Click},
        {"主窗口", "首页", Event::Click},
        {"主窗口", "标签_更新", Event::LeftDown},
        {"主窗口", "标签_检查更新1", Event::LeftDown},
        {"主窗口", "搜索", Event::LeftDown},
        {"主窗口", "搜索框", Event::GotFocus},
        {"主窗口", "搜索框", Event::KeyDown},
        {"主窗口", "网络最新编辑", Event::LeftDown},
        {"主窗口", "网络所有编辑", Event::LeftDown},
        {"主窗口", "本地保存编辑", Event::LeftDown},
        {"主窗口", "打开收藏目录", Event::LeftDown},
        {"主窗口", "更改收藏目录", Event::LeftDown},
        {"主窗口", "打赏_按钮", Event::LeftDown},
        {"主窗口", "网络制作_返回按钮", Event::LeftDown},
        {"主窗口", "网络_预览", Event::LeftDown},
        {"主窗口", "网络_编辑框_1", Event::LeftDown},
        {"主窗口", "网络_编辑框_2", Event::LeftDown},
        {"主窗口", "网络_编辑框_3", Event::LeftDown},
        {"主窗口", "网络_编辑框_4", Event::LeftDown},
        {"主窗口", "网络_生成", Event::LeftDown},
        {"主窗口", "本地编辑_返回", Event::LeftDown},
        {"主窗口", "本地编辑_打开文件", Event::LeftDown},
        {"主窗口", "本地编辑_感应透明标签", Event::LeftDown},
        {"主窗口", "本地编辑_图片放大", Event::LeftDown},
        {"主窗口", "图片缩小", Event::LeftDown},
        {"主窗口", "本地编辑_设置按钮", Event::LeftDown},
        {"主窗口", "本地编辑_完成", Event::LeftDown},
        {"更新窗口", "按钮1", Event::Click},
    };
    static const std::string slotNames[16] = {
        "图片框1", "图片框2",  "图片框3",  "图片框4",  "图片框5",  "图片框6",  "图片框7",  "图片框8",
        "图片框9", "图片框10", "图片框11", "图片框12", "图片框13", "图片框14", "图片框15", "图片框16"};
    for (const std::string& name : slotNames) {
      b.push_back({"主窗口", name.c_str(), Event::LeftDown});
      b.push_back({"主窗口", name.c_str(), Event::RightDown});
    }
    return b;
  }();
  return all;
}

// The events of features not built yet, the one place that excuses a missing binding. Every
// feature is built now, so none is excused; a feature that loses its binding fails the test.
bool expectedUnbound(const Binding& b) {
  static const std::vector<std::pair<std::string, Event>> unbound{};
  for (const auto& [control, event] : unbound)
    if (control == b.control && event == b.event) return true;
  return false;
}

QWidget* controlNamed(Program& p, const Binding& b) {
  const std::string window = b.window;
  const toolkit::BuiltWindow& built = window == "主窗口"     ? p.main.built
                                      : window == "更新窗口" ? p.update.built
                                                             : p.tip.built;
  if (b.control == window) return built.window();
  return qobject_cast<QWidget*>(built.find(b.control));
}

// Shows the page of 选择夹1 that holds `w`, if any.
void showPageOf(Program& p, QWidget* w) {
  for (QWidget* at = w; at; at = at->parentWidget()) {
    const int page = p.main.选择夹1->indexOf(at);
    if (page >= 0) p.main.选择夹1->setCurrentPage(page);
  }
}

// Delivers the event as the user or the window system would.
void deliverAsUser(Program& p, QWidget* w, Event event) {
  auto* edit = qobject_cast<toolkit::EditBox*>(w);
  QWidget* input = edit ? edit->editor() : w;
  auto* window = qobject_cast<toolkit::Window*>(w);
  if (window && event != Event::Created && !window->isVisible()) window->load();
  w->setVisible(true);  // a control start-up hid
  // Away from the chrome strip's close and minimise zones, and on the window's background.
  const QPoint at = window ? QPoint(3, 300) : QPoint(40, 5);
  switch (event) {
    case Event::LeftDown:
      QTest::mousePress(input, Qt::LeftButton, {}, at);
      QTest::mouseRelease(input, Qt::LeftButton, {}, at);
      break;
    case Event::RightDown:
      QTest::mousePress(input, Qt::RightButton, {}, at);
      break;
    case Event::MouseMove:
      QTest::mouseMove(input, at);
      break;
    case Event::KeyDown:
      QTest::keyClick(input, Qt::Key_A);
      break;
    case Event::Click:
      w->setEnabled(true);
      QTest::mouseClick(input, Qt::LeftButton);
      break;
    case Event::Created:
      window->load();
      break;
    case Event::FirstActivation:
      EXPECT_TRUE(QTest::qWaitFor([&] { return p.registry.runs(w, event) > 0; }));
      break;
    case Event::GotFocus:
      // The window itself: Qt counts a window active while one standing on it has the focus.
      w->window()->activateWindow();
      ASSERT_TRUE(QTest::qWaitFor([&] { return QApplication::activeWindow() == w->window(); }));
      input->clearFocus();
      input->setFocus();
      break;
    case Event::LostFocus:
      // The tip window is a popup: a press on another window takes the focus from it.
      ASSERT_TRUE(QTest::qWaitForWindowActive(w));
      QTest::mouseClick(p.main.主窗口->windowHandle(), Qt::LeftButton, {}, QPoint(20, 590));
      EXPECT_TRUE(QTest::qWaitFor([&] { return !w->isVisible(); }));
      break;
  }
}

TEST(Bindings, EveryEventOfTheWindowTablesRunsAHandler) {
  demo::DemoSite site;
  ASSERT_TRUE(site.start());
  test::ScriptedDesktop desk;
  test::TempPlaces places;
  Program p(formPicture, site.settings(), desk, places);
  p.start();
  for (const Binding& b : windowTableEvents()) {
    SCOPED_TRACE(std::string(b.control) + " " + toolkit::eventName(b.event));
    QWidget* w = controlNamed(p, b);
    ASSERT_NE(w, nullptr);
    if (expectedUnbound(b)) {
      EXPECT_FALSE(toolkit::isBound(w, b.event)) << "bound now: take it off the list of features not built";
      continue;
    }
    showPageOf(p, w);
    const std::size_t before = p.registry.runs(w, b.event);
    deliverAsUser(p, w, b.event);
    EXPECT_GT(p.registry.runs(w, b.event), before);
  }
  p.update.更新窗口->destroyWindow();
  p.tip.打赏窗口->destroyWindow();
}

TEST(Bindings, ASecondBindingOfAnEventIsRefusedAndTheFirstStays) {
  test::ScriptedDesktop desk;
  test::TempPlaces places;
  Program p(formPicture, {}, desk, places);
  auto& f = p.main;
  try {
    p.registry.on(f.主页, Event::LeftDown,
                  [](const forms::Context&) { FAIL() << "replaced the first binding"; });
    FAIL() << "no error";
  } catch (const std::logic_error& e) {
    EXPECT_NE(std::string(e.what()).find("主页"), std::string::npos) << e.what();
  }
  f.选择夹1->setCurrentPage(2);
  QTest::mousePress(f.主页, Qt::LeftButton, {}, QPoint(5, 5));
  EXPECT_EQ(f.选择夹1->currentPage(), 0);
}

TEST(ListViewBindings, LabelsButtonsAndEnterRunTheListHandlers) {
  TemplateSite site;
  test::ScriptedDesktop desk;
  test::TempPlaces places;
  Program p(formPicture, test::sitesAt(site.base()), desk, places);
  auto& f = p.main;
  f.选择夹1->setCurrentPage(1);

  QTest::mousePress(f.网络所有编辑, Qt::LeftButton, {}, QPoint(5, 5));
  EXPECT_EQ(p.state.list.listMode, forms::ListMode::All);
  EXPECT_EQ(site.pageTargets(), std::vector<std::string>{"/face/ListWithImage.aspx"});
  QTest::mouseClick(f.下一页, Qt::LeftButton);
  EXPECT_EQ(p.state.list.listPage, 2);
  QTest::mouseClick(f.首页, Qt::LeftButton);
  EXPECT_EQ(p.state.list.listPage, 1);
  QTest::mouseClick(f.上一页, Qt::LeftButton);  // disabled on page 1
  EXPECT_EQ(p.state.list.listPage, 1);

  f.跳页_编辑框->setText("12");
  auto* editor = f.跳页_编辑框->editor();
  QTest::keyClick(editor, Qt::Key_Escape);  // only Enter jumps
  EXPECT_EQ(p.state.list.listPage, 1);
  QTest::keyClick(editor, Qt::Key_Return);
  EXPECT_EQ(p.state.list.listPage, 12);
  f.跳页_编辑框->setText("6");
  QTest::mouseClick(f.跳页_按钮, Qt::LeftButton);
  EXPECT_EQ(p.state.list.listPage, 6);

  QTest::mousePress(f.网络最新编辑, Qt::LeftButton, {}, QPoint(5, 5));
  EXPECT_EQ(p.state.list.listMode, forms::ListMode::Latest);
  EXPECT_EQ(p.state.list.listPage, 1);
  f.跳页_编辑框->setText("3");
  QTest::keyClick(editor, Qt::Key_Return);  // no jumping in the latest list
  EXPECT_EQ(p.state.list.listPage, 1);
}

// A click delivered while a load waits (here by the event pump itself, as any event loop
// inside a handler could) runs only once the load has finished.
TEST(ListViewBindings, ClickDuringASlowLoadRunsAfterIt) {
  TemplateSite site;
  site.thumbDelayMs = 150;
  test::ScriptedDesktop desk;
  test::TempPlaces places;
  Program p(formPicture, test::sitesAt(site.base()), desk, places);
  auto& f = p.main;
  f.选择夹1->setCurrentPage(1);

  int pumps = 0;
  bool clicked = false;
  int pageWhenClicked = -1;
  size_t waitingAfterClick = 0;
  std::vector<std::string> boxesAfterClick;
  setEventPump([&] {
    ++pumps;
    // Once the thumbnails are downloading (下一页 is enabled by then).
    if (clicked || p.state.list.listImageUrls.empty()) return;
    clicked = true;
    QTest::mouseClick(f.下一页, Qt::LeftButton);
    pageWhenClicked = p.state.list.listPage;
    waitingAfterClick = p.registry.gate().waiting();
  });
  QTest::mousePress(f.网络所有编辑, Qt::LeftButton, {}, QPoint(5, 5));
  setEventPump(nullptr);

  ASSERT_TRUE(clicked);
  EXPECT_GT(pumps, 1) << "the window is pumped while the downloads wait";
  EXPECT_EQ(pageWhenClicked, 1) << "the click did not run in the middle of the load";
  EXPECT_EQ(waitingAfterClick, 1u);
  EXPECT_FALSE(p.registry.gate().busy());
  // Then it ran: page 2 of the first site page, with all of its pictures.
  EXPECT_EQ(p.state.list.listPage, 2);
  EXPECT_EQ(p.state.list.listSlotBase, 9);
  for (int k = 1; k <= 8; ++k)
    EXPECT_EQ(f.slot(8 + k)->picture(), TemplateSite::thumbBytes(TemplateSite::allThumb(1, 9 + k))) << k;
  EXPECT_EQ(f.显示页->caption(), "2/185");
}

// A click that waited counts only if its button is still enabled once the load is done.
TEST(ListViewBindings, WaitingClickOnAButtonTheLoadDisabledDoesNothing) {
  TemplateSite site;
  site.latestItems = 15;  // one page: the load disables 下一页
  test::ScriptedDesktop desk;
  test::TempPlaces places;
  Program p(formPicture, test::sitesAt(site.base()), desk, places);
  auto& f = p.main;
  f.选择夹1->setCurrentPage(1);
  f.下一页->setEnabled(true);

  bool clicked = false;
  setEventPump([&] {
    if (clicked) return;
    clicked = true;
    QTest::mouseClick(f.下一页, Qt::LeftButton);
  });
  QTest::mousePress(f.网络最新编辑, Qt::LeftButton, {}, QPoint(5, 5));
  setEventPump(nullptr);

  ASSERT_TRUE(clicked);
  EXPECT_TRUE(toolkit::isDisabledFlag(f.下一页));
  EXPECT_EQ(p.state.list.listPage, 1);
  EXPECT_EQ(f.显示页->caption(), "1/1");
}

}  // namespace
