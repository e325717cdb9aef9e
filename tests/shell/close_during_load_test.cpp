// The window chrome while start-up waits on a network probe that does not answer: minimise
// works at once, other presses wait for the load, and close ends the program within a second.
#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>
#include <QTimer>
#include <chrono>

#include "net/raw_server.h"
#include "platform/wait_pump.h"
#include "runtime/event_pump.h"
#include "shell/program.h"
#include "support/form_pictures.h"
#include "support/handler_parts.h"
#include "support/temp_folder.h"
#include "support/window_input.h"

using namespace mw;
using namespace mw::shell;
using mw::test::formPicture;
using mw::test::postClick;
using mw::test::RawServer;
using mw::toolkit::Event;
using Clock = std::chrono::steady_clock;

namespace {

double secondsSince(Clock::time_point t) { return std::chrono::duration<double>(Clock::now() - t).count(); }

// Every site on a server that takes the request and answers nothing for `silentMs`, then
// hangs up. The start-up step runs from the event loop once the window is up.
struct StalledStart {
  explicit StalledStart(int silentMs)
      : silent([silentMs](const RawServer::Connection& c) { c.wait(silentMs); }) {}

  RawServer silent;
  platform::WaitPump pump;
  test::ScriptedDesktop desk;
  test::TempPlaces places;
  Program p{formPicture, test::sitesAt(silent.url("")), desk, places};
};

TEST(ChromeDuringALoad, MinimiseWorksAtOnceOtherPressesWaitForTheLoad) {
  StalledStart s(1500);
  auto& f = s.p.main;
  bool waiting = false, minimised = false;
  std::size_t pageButtonRuns = 1;
  QTimer::singleShot(300, [&] {
    postClick(f.收藏);
    postClick(f.窗口控制按钮, QPoint(10, 20));  // the minimise zone
  });
  QTimer::singleShot(800, [&] {
    waiting = s.p.registry.gate().busy();
    minimised = f.主窗口->isMinimized();
    pageButtonRuns = s.p.registry.runs(f.收藏, Event::LeftDown);
  });
  s.p.start();
  QTest::qWait(1000);
  EXPECT_TRUE(waiting) << "start-up waits on the probe";
  EXPECT_TRUE(minimised);
  EXPECT_EQ(pageButtonRuns, 0u);

  // The probe fails once the server hangs up; start-up ends offline, then the press runs.
  EXPECT_TRUE(QTest::qWaitFor([&] { return s.p.registry.runs(f.收藏, Event::LeftDown) == 1; }, 5000));
  EXPECT_EQ(s.silent.connections(), 1);
  f.主窗口->destroyWindow();
}

TEST(ChromeDuringALoad, CloseEndsTheProgramWithinASecond) {
  StalledStart s(60000);
  auto& f = s.p.main;
  bool waiting = false;
  Clock::time_point closed{};
  QTimer::singleShot(300, [&] {
    waiting = s.p.registry.gate().busy();
    closed = Clock::now();
    postClick(f.窗口控制按钮, QPoint(65, 20));  // the close zone
  });
  // Should the close not end the program, this ends the test.
  QTimer::singleShot(10000, [] { QCoreApplication::exit(1); });
  s.p.start();
  const int rc = QApplication::exec();
  const double seconds = secondsSince(closed);
  EXPECT_TRUE(waiting) << "start-up waits on the probe";
  EXPECT_EQ(rc, 0);
  EXPECT_LT(seconds, 1.0);
  EXPECT_FALSE(f.主窗口->isVisible());
  EXPECT_FALSE(s.p.registry.gate().busy()) << "start-up was cut short and returned";
}

}  // namespace
