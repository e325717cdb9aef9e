#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>
#include <vector>

#include "support/scripted_desktop.h"
#include "toolkit/accessibility.h"
#include "toolkit/events.h"
#include "toolkit/form_builder.h"

using namespace mw;
using namespace mw::toolkit;

namespace {

// clang-format off
const WindowDef& keyboardWindow() {
  static const WindowDef def{
      .name = "窗口", .size = {400, 300}, .frame = Frame::None, .tabPages = 2,
      .controls = {
          {.kind = Kind::Label, .name = "甲", .geometry = {300, 10, 60, 30}, .look = {.caption = "甲"}},
          {.kind = Kind::Label, .name = "乙", .geometry = {10, 10, 60, 30}, .look = {.caption = "乙"}},
          {.kind = Kind::TransparentLabel, .name = "丙", .geometry = {100, 10, 60, 30}},
          {.kind = Kind::Button, .name = "丁", .geometry = {10, 50, 60, 30}, .look = {.caption = "丁"}},
          {.kind = Kind::Button, .name = "戊", .geometry = {100, 50, 60, 30}, .disabled = true},
          {.kind = Kind::EditBox, .name = "己", .geometry = {200, 50, 60, 24}},
          {.kind = Kind::Label, .name = "癸", .geometry = {300, 50, 60, 30}, .hidden = true},
          {.kind = Kind::TabControl, .name = "选择夹1", .geometry = {0, 100, 400, 140}},
          {.kind = Kind::PictureBox, .name = "庚", .parent = "选择夹1", .page = 0, .geometry = {10, 10, 60, 60}},
          {.kind = Kind::PictureBox, .name = "辛", .parent = "选择夹1", .page = 1, .geometry = {10, 10, 60, 60}},
          {.kind = Kind::ComboBox, .name = "壬", .geometry = {10, 250, 60, 23}, .look = {.items = {"1", "2"}}},
          {.kind = Kind::ColourPicker, .name = "子", .geometry = {100, 250, 60, 23}},
      }};
  return def;
}
// clang-format on

struct Keyboard {
  Keyboard() : built(keyboardWindow(), [](std::string_view) { return Bytes(); }) {
    for (const char* name : {"甲", "丙", "癸", "庚", "辛"}) {
      bindEvent(widget(name), Event::LeftDown, [this, name](const Input&) { pressed.push_back(name); });
    }
    built.window()->show();
    built.window()->activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(built.window()));
    built.window()->setFocus();  // the focus on the window itself, as a press on its background leaves it
  }
  QWidget* widget(const char* name) const { return qobject_cast<QWidget*>(built.find(name)); }
  // The control holding the focus, the edit box for its editor.
  QString focused() const {
    QWidget* f = QApplication::focusWidget();
    while (f && f->objectName().isEmpty()) f = f->parentWidget();
    return f ? f->objectName() : QString();
  }
  QString tab(bool forward = true) {
    QWidget* at = QApplication::focusWidget() ? QApplication::focusWidget() : built.window();
    QTest::keyClick(at, forward ? Qt::Key_Tab : Qt::Key_Backtab);
    return focused();
  }
  BuiltWindow built;
  std::vector<std::string> pressed;
};

}  // namespace

TEST(Keyboard, TabFollowsTheReadingOrderOfTheShownInteractiveControls) {
  Keyboard k;
  // Top to bottom, left to right; the label without a handler, the disabled button, the hidden
  // label and the page not shown are passed over.
  const QStringList forward{"丙", "甲", "丁", "己", "庚", "壬", "子", "丙"};
  for (const QString& expected : forward) EXPECT_EQ(k.tab(), expected);
  EXPECT_EQ(k.tab(false), QStringLiteral("子"));
  EXPECT_EQ(k.tab(false), QStringLiteral("壬"));
  EXPECT_EQ(k.tab(false), QStringLiteral("庚"));

  qobject_cast<TabControl*>(k.built.find("选择夹1"))->setCurrentPage(1);
  k.widget("丙")->setFocus();
  EXPECT_EQ(k.tab(), QStringLiteral("甲"));
  EXPECT_EQ(k.tab(), QStringLiteral("丁"));
  EXPECT_EQ(k.tab(), QStringLiteral("己"));
  EXPECT_EQ(k.tab(), QStringLiteral("辛"));
  EXPECT_TRUE(k.pressed.empty()) << "moving the focus presses nothing";
}

TEST(Keyboard, EnterAndSpacePressTheFocusedLabelButtonAndTheMenuKeySaves) {
  Keyboard k;
  QWidget* a = k.widget("甲");
  EXPECT_EQ(k.tab(), QStringLiteral("丙"));
  EXPECT_EQ(k.tab(), QStringLiteral("甲"));
  QTest::keyClick(a, Qt::Key_Return);
  QTest::keyClick(a, Qt::Key_Space);
  QTest::keyClick(a, Qt::Key_A);
  QTest::qWait(20);
  EXPECT_EQ(k.pressed, (std::vector<std::string>{"甲", "甲"}));

  // A label without a handler takes no press, even when it has the focus.
  QWidget* b = k.widget("乙");
  b->setFocus();
  QTest::keyClick(b, Qt::Key_Return);
  QTest::qWait(20);
  EXPECT_EQ(k.pressed.size(), 2u);

  // The menu key gives a picture box its right press.
  QWidget* picture = k.widget("庚");
  int rightPresses = 0;
  bindEvent(picture, Event::RightDown, [&rightPresses](const Input&) { ++rightPresses; });
  picture->setFocus();
  QTest::keyClick(picture, Qt::Key_Menu);
  QTest::keyClick(picture, Qt::Key_F10, Qt::ShiftModifier);
  QTest::qWait(20);
  EXPECT_EQ(rightPresses, 2);

  // The colour picker opens its dialog from the keyboard too.
  test::ScriptedDesktop desk;
  desk.colours.push_back(QColor(Qt::red));
  auto* picker = qobject_cast<ColourPicker*>(k.built.find("子"));
  picker->useDesktop(desk);
  picker->setFocus();
  QTest::keyClick(picker, Qt::Key_Space);
  QTest::qWait(20);
  ASSERT_EQ(desk.calls.size(), 1u);
  EXPECT_EQ(desk.calls[0].what, "chooseColour");
  EXPECT_EQ(picker->colour(), QColor(Qt::red));
}

TEST(Keyboard, FocusFrameOnceTheKeyboardMovedTheFocusAndClicksFocusAsBefore) {
  Keyboard k;
  QWidget* a = k.widget("甲");
  const QColor highlight = a->palette().color(QPalette::Highlight);
  const auto corner = [a] { return a->grab().toImage().pixelColor(1, 1); };

  // Focus given by the program (as start-up gives it to 搜索) draws no frame.
  a->setFocus();
  EXPECT_NE(corner(), highlight);
  // After Tab it does; a control without the focus has none.
  k.tab(false);
  k.tab();
  ASSERT_EQ(k.focused(), QStringLiteral("甲"));
  EXPECT_EQ(corner(), highlight);
  EXPECT_NE(k.widget("庚")->grab().toImage().pixelColor(1, 1), highlight);

  // A click on a label button runs its handler and moves the focus as it always did: not to the
  // label, to the window behind it.
  k.widget("己")->setFocus();
  QTest::mouseClick(k.widget("丙"), Qt::LeftButton, {}, QPoint(5, 5));
  EXPECT_EQ(k.pressed, std::vector<std::string>{"丙"});
  EXPECT_EQ(k.focused(), QStringLiteral("窗口"));
}
