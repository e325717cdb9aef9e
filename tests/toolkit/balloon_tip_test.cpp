#include "toolkit/balloon_tip.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QTest>
#include <QWidget>

using namespace mw;
using namespace mw::runtime;
using namespace mw::toolkit;

TEST(BalloonTip, ShowsAfter100msStays2000msThenFadesOver200ms) {
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

  ASSERT_TRUE(QTest::qWaitFor([&] { return tip.phase() == BalloonTip::Phase::Fading; }, 3000));
  EXPECT_GE(clock.elapsed(), 2095);
  EXPECT_TRUE(tip.popup()->isVisible());
  ASSERT_TRUE(QTest::qWaitFor([&] { return tip.phase() == BalloonTip::Phase::Idle; }, 1000));
  EXPECT_GE(clock.elapsed(), 2295);
  EXPECT_LT(clock.elapsed(), 2800);
  EXPECT_FALSE(tip.popup()->isVisible());

  // A new request replaces a pending one.
  tip.showAt(QPoint(1, 1), "a");
  tip.showAt(QPoint(5, 6), "b");
  ASSERT_TRUE(QTest::qWaitFor([&] { return tip.phase() == BalloonTip::Phase::Shown; }, 1000));
  EXPECT_EQ(tip.text(), "b");
  EXPECT_EQ(tip.popup()->pos(), QPoint(5, 6));
}
