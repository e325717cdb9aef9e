#include "toolkit/balloon_tip.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QTest>
#include <QWidget>
#include <QWindow>

#include "platform/window_system.h"
#include "toolkit/events.h"

using namespace mw;
using namespace mw::runtime;
using namespace mw::toolkit;

namespace {

// Collects what Qt prints about window opacity while it lives (the offscreen platform also
// warns that it cannot raise a window, which the desktop platforms can).
struct QtMessages {
  QtMessages() { previous = qInstallMessageHandler(&QtMessages::record); }
  ~QtMessages() { qInstallMessageHandler(previous); }
  static void record(QtMsgType, const QMessageLogContext&, const QString& text) {
    if (text.contains(QLatin1String("opacity"))) seen().append(text);
  }
  static QStringList& seen() {
    static QStringList messages;
    return messages;
  }
  QtMessageHandler previous;
};

}  // namespace

TEST(BalloonTip, ShowsAfter100msStays2000msThenFadesOrHidesQuietly) {
  QtMessages messages;
  QtMessages::seen().clear();
  BalloonTip tip;
  QElapsedTimer clock;
  tip.showAt(QPoint(300, 200), "已复制本图片，粘贴到聊天框即可使用"_gbk);
  clock.start();
  EXPECT_EQ(tip.phase(), BalloonTip::Phase::Waiting);
  EXPECT_FALSE(tip.popup()->isVisible());

  ASSERT_TRUE(QTest::qWaitFor([&] { return tip.phase() == BalloonTip::Phase::Shown; }, 1000));
  EXPECT_GE(clock.elapsed(), 95);
  EXPECT_TRUE(tip.popup()->isVisible());
  EXPECT_EQ(tip.popup()->pos(), QPoint(300, 200));
  EXPECT_EQ(tip.popup()->font().pointSize(), 9);
  EXPECT_EQ(tip.popup()->grab().toImage().pixelColor(3, 3), QColor(0xFF, 0xFF, 0xE1));

  // A window system without opacity (offscreen, Wayland) has no fade: the tip hides at once.
  if (platform::windowOpacityWorks()) {
    ASSERT_TRUE(QTest::qWaitFor([&] { return tip.phase() == BalloonTip::Phase::Fading; }, 3000));
    EXPECT_GE(clock.elapsed(), 2095);
    EXPECT_TRUE(tip.popup()->isVisible());
  }
  ASSERT_TRUE(QTest::qWaitFor([&] { return tip.phase() == BalloonTip::Phase::Idle; }, 3000));
  EXPECT_GE(clock.elapsed(), platform::windowOpacityWorks() ? 2295 : 2095);
  EXPECT_LT(clock.elapsed(), 2800);
  EXPECT_FALSE(tip.popup()->isVisible());

  // A new request replaces a pending one.
  tip.showAt(QPoint(1, 1), "a");
  tip.showAt(QPoint(5, 6), "b");
  ASSERT_TRUE(QTest::qWaitFor([&] { return tip.phase() == BalloonTip::Phase::Shown; }, 1000));
  EXPECT_EQ(tip.text(), "b");
  EXPECT_EQ(tip.popup()->pos(), QPoint(5, 6));
  EXPECT_EQ(QtMessages::seen().join(u'\n').toStdString(), "");
}

// The tip opens over the next control; a press on it reaches that control at the same place.
TEST(BalloonTip, StandsOnItsOwnerAndHandsAPressToTheControlUnderIt) {
  QWidget owner;
  owner.setGeometry(100, 100, 400, 300);
  auto* control = new QWidget(&owner);
  control->setGeometry(200, 100, 150, 150);
  std::vector<QPoint> presses;
  bindEvent(control, Event::LeftDown, [&](const Input& in) { presses.push_back({in.at.x, in.at.y}); });
  owner.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&owner));

  auto* tip = new BalloonTip(&owner);
  tip->showAt(owner.mapToGlobal(QPoint(150, 120)), "已复制本图片，粘贴到聊天框即可使用"_gbk);
  ASSERT_TRUE(QTest::qWaitFor([&] { return tip->phase() == BalloonTip::Phase::Shown; }, 1000));
  EXPECT_EQ(tip->popup()->windowHandle()->transientParent(), owner.windowHandle());
  ASSERT_GT(tip->popup()->width(), 100);  // it reaches over the control

  QTest::mousePress(tip->popup(), Qt::LeftButton, {}, QPoint(80, 10));
  EXPECT_EQ(presses, std::vector<QPoint>{QPoint(150 + 80 - 200, 120 + 10 - 100)});
  EXPECT_EQ(tip->phase(), BalloonTip::Phase::Idle);
  EXPECT_FALSE(tip->popup()->isVisible());
}
