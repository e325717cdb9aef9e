#include <gtest/gtest.h>

#include <QAccessible>
#include <QApplication>
#include <QTest>

#include "shell/program.h"
#include "support/accessible.h"
#include "support/form_pictures.h"

using namespace mw;
using mw::test::a11y;
using namespace mw::shell;
using mw::test::formPicture;

namespace {

void pressAndWait(QObject* control) {
  a11y(control)->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
  QTest::qWait(20);
}

}  // namespace

TEST(ProgramForTools, BoundLabelsArePushButtonsThatPressLikeAClick) {
  Program p(formPicture);
  auto& f = p.main;
  for (QWidget* w :
       std::initializer_list<QWidget*>{f.主页, f.编辑, f.收藏, f.搜索, f.网络最新编辑, f.网络所有编辑,
                                       f.窗口控制按钮, f.窗口位置拖动, f.标签_检查更新1}) {
    EXPECT_EQ(a11y(w)->role(), QAccessible::PushButton) << w->objectName().toStdString();
  }
  EXPECT_EQ(a11y(f.图片框1)->role(), QAccessible::Graphic);

  pressAndWait(f.编辑);
  EXPECT_EQ(f.选择夹1->currentPage(), 1);
  pressAndWait(f.收藏);
  EXPECT_EQ(f.选择夹1->currentPage(), 2);
  EXPECT_TRUE(a11y(f.下一页)->state().invisible) << "the paging bar is hidden on 收藏";
  pressAndWait(f.主页);
  EXPECT_EQ(f.选择夹1->currentPage(), 0);
  EXPECT_EQ(a11y(f.显示页)->text(QAccessible::Name), QStringLiteral("0/0"));
}

TEST(ProgramForTools, TabGoesFromTheSearchBoxToTheSearchButtonAndOnToThePictures) {
  Program p(formPicture);
  auto& f = p.main;
  p.start();
  f.主窗口->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(f.主窗口));
  f.搜索框->setFocus();
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
  EXPECT_EQ(QApplication::focusWidget(), f.搜索);
  // The eight pictures take part once they act on a press; today none is bound yet, so the
  // paging bar comes next.
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
  QWidget* after = QApplication::focusWidget();
  const bool picture = after == f.图片框1;
  const bool pagingBar = after == f.跳页_编辑框->editor();  // 上一页, 下一页 and 首页 start disabled
  EXPECT_TRUE(picture || pagingBar) << (after ? after->objectName().toStdString() : "nothing");
  f.主窗口->destroyWindow();
}
