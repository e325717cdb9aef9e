#include "shell/list_view_bindings.h"

#include <gtest/gtest.h>

#include <QLineEdit>
#include <QTest>

#include "browse/template_site.h"
#include "runtime/event_pump.h"
#include "shell/program.h"
#include "support/form_pictures.h"
#include "toolkit/desktop.h"

using namespace mw;
using namespace mw::runtime;
using namespace mw::net;
using namespace mw::shell;
using mw::test::formPicture;
using mw::test::TemplateSite;

namespace {

void pointTemplateSiteAt(Program& p, const TemplateSite& site) {
  p.sites.templateHost = site.base().substr(std::string("http://").size());
}

TEST(HandlerGate, HandlersAskedForDuringOneRunAfterItInOrder) {
  HandlerGate gate;
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

TEST(ListViewBindings, LabelsButtonsAndEnterRunTheListHandlers) {
  TemplateSite site;
  toolkit::ScriptedDesktop desk;
  toolkit::DesktopOverride useDesk(desk);
  Program p(formPicture);
  pointTemplateSiteAt(p, site);  // after binding: the handlers read the sites when they run
  auto& f = p.main;
  f.选择夹1->setCurrentPage(1);

  QTest::mousePress(f.网络所有编辑, Qt::LeftButton, {}, QPoint(5, 5));
  EXPECT_EQ(p.state.listMode, "所有"_gbk);
  EXPECT_EQ(site.pageTargets(), std::vector<std::string>{"/face/ListWithImage.aspx"});
  QTest::mouseClick(f.下一页, Qt::LeftButton);
  EXPECT_EQ(p.state.listPage, 2);
  QTest::mouseClick(f.首页, Qt::LeftButton);
  EXPECT_EQ(p.state.listPage, 1);
  QTest::mouseClick(f.上一页, Qt::LeftButton);  // disabled on page 1
  EXPECT_EQ(p.state.listPage, 1);

  f.跳页_编辑框->setText("12");
  auto* editor = f.跳页_编辑框->editor();
  QTest::keyClick(editor, Qt::Key_Escape);  // only Enter jumps
  EXPECT_EQ(p.state.listPage, 1);
  QTest::keyClick(editor, Qt::Key_Return);
  EXPECT_EQ(p.state.listPage, 12);
  f.跳页_编辑框->setText("6");
  QTest::mouseClick(f.跳页_按钮, Qt::LeftButton);
  EXPECT_EQ(p.state.listPage, 6);

  QTest::mousePress(f.网络最新编辑, Qt::LeftButton, {}, QPoint(5, 5));
  EXPECT_EQ(p.state.listMode, "最新"_gbk);
  EXPECT_EQ(p.state.listPage, 1);
  f.跳页_编辑框->setText("3");
  QTest::keyClick(editor, Qt::Key_Return);  // no jumping in the latest list
  EXPECT_EQ(p.state.listPage, 1);
}

// A click delivered while a load waits (here by the event pump itself, as any event loop
// inside a handler could) runs only once the load has finished.
TEST(ListViewBindings, ClickDuringASlowLoadRunsAfterIt) {
  TemplateSite site;
  site.thumbDelayMs = 150;
  toolkit::ScriptedDesktop desk;
  toolkit::DesktopOverride useDesk(desk);
  Program p(formPicture);
  pointTemplateSiteAt(p, site);
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
    if (clicked || p.state.listImageUrls.empty()) return;
    clicked = true;
    QTest::mouseClick(f.下一页, Qt::LeftButton);
    pageWhenClicked = p.state.listPage;
    waitingAfterClick = p.gate.waiting();
  });
  QTest::mousePress(f.网络所有编辑, Qt::LeftButton, {}, QPoint(5, 5));
  setEventPump(nullptr);

  ASSERT_TRUE(clicked);
  EXPECT_GT(pumps, 1) << "the window is pumped while the downloads wait";
  EXPECT_EQ(pageWhenClicked, 1) << "the click did not run in the middle of the load";
  EXPECT_EQ(waitingAfterClick, 1u);
  EXPECT_FALSE(p.gate.busy());
  // Then it ran: page 2 of the first site page, with all of its pictures.
  EXPECT_EQ(p.state.listPage, 2);
  EXPECT_EQ(p.state.listSlotBase, 9);
  for (int k = 1; k <= 8; ++k)
    EXPECT_EQ(f.slot(8 + k)->picture(), TemplateSite::thumbBytes(TemplateSite::allThumb(1, 9 + k))) << k;
  EXPECT_EQ(f.显示页->caption(), "2/185");
}

// A click that waited counts only if its button is still enabled once the load is done.
TEST(ListViewBindings, WaitingClickOnAButtonTheLoadDisabledDoesNothing) {
  TemplateSite site;
  site.latestItems = 15;  // one page: the load disables 下一页
  toolkit::ScriptedDesktop desk;
  toolkit::DesktopOverride useDesk(desk);
  Program p(formPicture);
  pointTemplateSiteAt(p, site);
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
  EXPECT_EQ(p.state.listPage, 1);
  EXPECT_EQ(f.显示页->caption(), "1/1");
}

}  // namespace
