// The window chrome while a load waits on a server that never answers: minimise works at
// once, other presses wait for the load, and close ends the program within a second.
#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>
#include <QTimer>
#include <chrono>

#include "net/raw_server.h"
#include "runtime/event_pump.h"
#include "shell/program.h"
#include "support/form_pictures.h"
#include "support/window_input.h"
#include "toolkit/desktop.h"
#include "toolkit/wait_pump.h"

using namespace mw;
using namespace mw::shell;
using mw::test::formPicture;
using mw::test::RawServer;
using Clock = std::chrono::steady_clock;

namespace {

using mw::test::postClick;

double secondsSince(Clock::time_point t) { return std::chrono::duration<double>(Clock::now() - t).count(); }

struct StalledProgram {
  RawServer silent{[](const RawServer::Connection& c) { c.wait(60000); }};
  toolkit::WaitPump pump;
  toolkit::ScriptedDesktop desk;
  toolkit::DesktopOverride useDesk{desk};
  Program p{formPicture};

  StalledProgram() {
    p.sites.templateHost = "127.0.0.1:" + std::to_string(silent.port());
    p.start();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(p.main.主窗口));
    p.main.选择夹1->setCurrentPage(1);
  }
};

TEST(ChromeDuringALoad, MinimiseWorksAtOnceOtherPressesWaitForTheLoad) {
  StalledProgram s;
  auto& f = s.p.main;
  bool minimisedDuringLoad = false;
  bool pageWhenMinimised = true;
  QTimer::singleShot(0, [&] {
    // The list load waits on the silent server.
    QTimer::singleShot(200, [&] {
      postClick(f.收藏, QPoint(5, 5));
      postClick(f.窗口控制按钮, QPoint(10, 20));  // the minimise zone
    });
    QTimer::singleShot(500, [&] {
      minimisedDuringLoad = f.主窗口->isMinimized();
      pageWhenMinimised = f.选择夹1->currentPage() == 1;
      // Ends the load: the program is closing.
      runtime::setWaitsAborted(true);
    });
    postClick(f.网络所有编辑, QPoint(5, 5));
  });
  QTest::qWait(900);
  runtime::setWaitsAborted(false);
  EXPECT_TRUE(minimisedDuringLoad);
  EXPECT_TRUE(pageWhenMinimised) << "the page button waited";
  EXPECT_EQ(s.silent.connections(), 1);
}

TEST(ChromeDuringALoad, CloseEndsTheProgramWithinASecond) {
  StalledProgram s;
  auto& f = s.p.main;
  Clock::time_point closed{};
  QTimer::singleShot(0, [&] {
    postClick(f.网络所有编辑, QPoint(5, 5));
    QTimer::singleShot(300, [&] {
      ASSERT_EQ(s.silent.connections(), 1) << "the list page is being waited for";
      closed = Clock::now();
      postClick(f.窗口控制按钮, QPoint(65, 20));  // the close zone
    });
  });
  // Should the close not end the program, this ends the test.
  QTimer watchdog;
  watchdog.setSingleShot(true);
  QObject::connect(&watchdog, &QTimer::timeout, [] { QCoreApplication::exit(1); });
  watchdog.start(10000);
  const int rc = QApplication::exec();
  const double seconds = secondsSince(closed);
  EXPECT_EQ(rc, 0);
  EXPECT_LT(seconds, 1.0);
  EXPECT_FALSE(f.主窗口->isVisible());
  EXPECT_EQ(s.p.state.listMode, "所有"_gbk) << "the handler ran and was cut short";
}

}  // namespace
