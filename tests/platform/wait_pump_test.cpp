// Input while a handler waits: live controls take it at once, everything else waits for the
// end of the wait and then arrives in the order it came.
#include "platform/wait_pump.h"

#include <gtest/gtest.h>

#include <QTest>
#include <QTimer>
#include <QApplication>
#include <QDialog>
#include <chrono>
#include <optional>
#include <thread>

#include "picture/decode_pool.h"
#include "platform/desktop.h"
#include "runtime/event_pump.h"
#include "support/test_pictures.h"
#include "support/window_input.h"
#include "toolkit/controls.h"
#include "toolkit/events.h"

namespace mw::platform {
namespace {
using namespace mw::toolkit;
using namespace mw::picture;

using mw::test::postClick;
using mw::test::postMouse;

// What a handler waiting for `ms` does: pump, and otherwise block.
void waitInAHandler(int ms) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (std::chrono::steady_clock::now() < until) {
    runtime::pumpEvents();
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

struct Screen {
  QWidget window;
  Label* chrome = new Label(&window);
  Label* onChrome = new Label(chrome);
  Label* first = new Label(&window);
  Label* second = new Label(&window);
  std::vector<std::string> log;

  Screen() {
    window.resize(200, 100);
    chrome->setGeometry(0, 0, 200, 20);
    onChrome->setGeometry(150, 0, 40, 20);
    first->setGeometry(0, 40, 90, 40);
    second->setGeometry(100, 40, 90, 40);
    setLiveDuringWaits(chrome);
    for (auto [label, name] : {std::pair{chrome, "chrome"}, std::pair{onChrome, "on chrome"},
                               std::pair{first, "first"}, std::pair{second, "second"}})
      bindEvent(label, Event::LeftDown,
                [this, name = std::string(name)](const Input&) { log.push_back(name); });
    window.show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(&window));
  }
};

TEST(WaitPump, LiveControlsTakeInputDuringAWaitTheRestArrivesAfterItInOrder) {
  WaitPump pump;
  Screen s;
  EXPECT_TRUE(liveDuringWaits(s.onChrome));
  EXPECT_FALSE(liveDuringWaits(s.first));

  QTimer::singleShot(0, [&] {
    // Comes while the handler waits.
    QTimer::singleShot(50, [&] {
      postClick(s.second);
      postClick(s.chrome);
      postClick(s.first);
      postClick(s.onChrome);
      postClick(s.second);
    });
    waitInAHandler(300);
    s.log.push_back("handler done");
    EXPECT_EQ(pump.held(), 6u);
  });
  QTest::qWait(400);
  EXPECT_EQ(s.log,
            (std::vector<std::string>{"chrome", "on chrome", "handler done", "second", "first", "second"}));
  EXPECT_EQ(pump.held(), 0u);

  // A drag that starts on a live control is live to its release, wherever the pointer goes.
  s.log.clear();
  bindEvent(s.chrome, Event::MouseMove, [&](const Input& in) {
    s.log.push_back("drag to " + std::to_string(in.at.x) + "," + std::to_string(in.at.y));
  });
  QTimer::singleShot(0, [&] {
    QTimer::singleShot(50, [&] {
      postMouse(s.chrome, QEvent::MouseButtonPress, QPoint(5, 5), Qt::LeftButton);
      postMouse(s.first, QEvent::MouseMove, QPoint(10, 10), Qt::LeftButton);
      postMouse(s.first, QEvent::MouseButtonRelease, QPoint(10, 10), Qt::NoButton);
    });
    waitInAHandler(300);
    s.log.push_back("handler done");
  });
  QTest::qWait(400);
  EXPECT_EQ(s.log, (std::vector<std::string>{"chrome", "drag to 10,50", "handler done"}));

  // Without a wait, input goes straight through.
  s.log.clear();
  postClick(s.first);
  QTest::qWait(50);
  EXPECT_EQ(s.log, std::vector<std::string>{"first"});
}

// Input from the window system, as a pointer moving from one control to the next makes it: a
// held release must still land where its press went, and a double click counts twice.
TEST(WaitPump, HeldClicksKeepTheirOwnPlaces) {
  WaitPump pump;
  Screen s;
  auto* button = new Button(&s.window);
  button->setGeometry(0, 20, 90, 20);
  button->show();
  bindEvent(button, Event::Click, [&](const Input&) { s.log.push_back("button"); });
  QWindow* window = s.window.windowHandle();
  const auto centre = [&](QWidget* w) { return w->mapTo(&s.window, w->rect().center()); };
  QTimer::singleShot(0, [&] {
    QTimer::singleShot(50, [&] {
      QTest::mouseClick(window, Qt::LeftButton, {}, centre(button));
      QTest::mouseClick(window, Qt::LeftButton, {}, centre(s.first));
      QTest::mouseDClick(window, Qt::LeftButton, {}, centre(s.second));
      QTest::mouseDClick(window, Qt::LeftButton, {}, centre(button));
    });
    waitInAHandler(300);
    s.log.push_back("handler done");
  });
  QTest::qWait(400);
  EXPECT_EQ(s.log, (std::vector<std::string>{"handler done", "button", "first", "second", "second", "button",
                                             "button"}));
}

// A handler that waits twice holds input across both; input that came during the first
// wait runs only after the handler, not in the gap between its waits.
TEST(WaitPump, HeldInputWaitsForTheWholeHandler) {
  WaitPump pump;
  Screen s;
  QTimer::singleShot(0, [&] {
    s.log.push_back("handler starts");
    QTimer::singleShot(50, [&] { postClick(s.first); });
    waitInAHandler(150);
    s.log.push_back("between waits");
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    waitInAHandler(150);
    s.log.push_back("handler done");
  });
  QTest::qWait(500);
  EXPECT_EQ(s.log, (std::vector<std::string>{"handler starts", "between waits", "handler done", "first"}));
}

// A message box that a handler shows after a wait, while input from the wait is still held,
// takes its own input: held behind the rest, nothing could ever close it.
TEST(WaitPump, AMessageBoxShownWhileInputIsHeldTakesItsOwn) {
  WaitPump pump;
  Screen s;
  QtDesktop qt;
  std::optional<MessageAnswer> answer;
  QTimer pressReturn;
  int presses = 0;
  QObject::connect(&pressReturn, &QTimer::timeout, [&presses] {
    QWidget* box = QApplication::activeModalWidget();
    if (!box) return;
    if (++presses > 40)
      static_cast<QDialog*>(box)->reject();  // the box ignored every key: end the test, failed
    else
      QTest::keyClick(box->windowHandle(), Qt::Key_Return);
  });
  QTimer::singleShot(0, [&] {
    QTimer::singleShot(50, [&] { postClick(s.first); });
    waitInAHandler(150);
    pressReturn.start(50);
    answer = qt.messageBox(&s.window, "x", "", MessageButtons::OkCancel);
    s.log.push_back("handler done");
  });
  EXPECT_TRUE(QTest::qWaitFor([&] { return s.log.size() == 2; }, 10000));
  EXPECT_EQ(answer, MessageAnswer::Ok);
  EXPECT_EQ(s.log, (std::vector<std::string>{"handler done", "first"}));
}

TEST(WaitPump, AbortedWaitsEndTheDecodeWaitAndDialogs) {
  WaitPump pump;
  // A copy's full-size decode runs on a decoding thread while the window is pumped.
  int ticks = 0;
  QTimer timer;
  QObject::connect(&timer, &QTimer::timeout, [&] { ++ticks; });
  timer.start(5);
  const DecodedPicture big = decodeWhileWaiting(mw::test::solidPicture(3000, 3000, Qt::green));
  ASSERT_TRUE(big.ok()) << big.error.toStdString();
  EXPECT_EQ(big.image.size(), QSize(3000, 3000));
  EXPECT_GT(ticks, 0) << "the window's timers ran meanwhile";

  runtime::setWaitsAborted(true);
  EXPECT_FALSE(decodeWhileWaiting(mw::test::solidPicture(10, 10, Qt::green)).ok());
  // No dialog holds up a program that is ending.
  QtDesktop qt;
  EXPECT_EQ(qt.messageBox(nullptr, "x", "", MessageButtons::OkCancel), MessageAnswer::Cancel);
  EXPECT_EQ(qt.openFile(nullptr, "*.png"), std::nullopt);
}

}  // namespace
}  // namespace mw::platform
