#include "toolkit/controls.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QClipboard>
#include <QGuiApplication>
#include <QLineEdit>
#include <QMessageBox>
#include <QMimeData>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "picture/decode_memory.h"
#include "platform/clipboard.h"
#include "platform/qt_text.h"
#include "support/picture_wait.h"
#include "support/scripted_desktop.h"
#include "support/test_pictures.h"
#include "toolkit/events.h"
#include "toolkit/window.h"

using namespace mw;
using namespace mw::runtime;
using namespace mw::picture;
using namespace mw::platform;
using namespace mw::toolkit;
using mw::test::animatedGif;
using mw::test::decoded;
using mw::test::solidPicture;

namespace {

QColor pixel(QWidget* w, int x, int y) { return w->grab().toImage().pixelColor(x, y); }

}  // namespace

TEST(PicturePlacement, ModesAndLayoutsPlaceThePictureAsDefined) {
  const QRect box(0, 0, 200, 200);
  // Larger than the box in mode 2: whole, scaled to fit, keeping the aspect ratio.
  EXPECT_EQ(placePicture(QSize(440, 440), box, DisplayMode::CentredFit), QRect(0, 0, 200, 200));
  EXPECT_EQ(placePicture(QSize(400, 100), box, DisplayMode::CentredFit), QRect(0, 75, 200, 50));
  // Smaller: centred at its own size.
  EXPECT_EQ(placePicture(QSize(100, 50), box, DisplayMode::CentredFit), QRect(50, 75, 100, 50));
  EXPECT_EQ(placePicture(QSize(100, 50), box, DisplayMode::Natural), QRect(0, 0, 100, 50));
  EXPECT_EQ(placePicture(QSize(100, 50), box, DisplayMode::Stretched), box);
  // The tip window: 960 x 851 in 472 x 415 lands at 468 x 415, two pixels in from the left.
  EXPECT_EQ(placePicture(QSize(960, 851), QRect(0, 0, 472, 415), Layout::CentredFit), QRect(2, 0, 468, 415));
  EXPECT_EQ(placePicture(QSize(90, 22), QRect(0, 0, 96, 25), Layout::CentredFit), QRect(3, 1, 90, 22));
  EXPECT_EQ(placePicture(QSize(), box, Layout::Stretched), QRect());
}

TEST(PictureBox, HoldsTheBytesThemselvesAndDrawsThemByMode) {
  PictureBox box;
  box.resize(200, 200);
  box.setMode(DisplayMode::CentredFit);

  const Bytes big = solidPicture(440, 440, Qt::red);
  box.setPicture(big);
  EXPECT_EQ(box.picture(), big);
  EXPECT_TRUE(box.shownRect().isEmpty()) << "nothing until decoded";
  ASSERT_TRUE(decoded(box.pictureView()));
  EXPECT_EQ(box.shownRect(), QRect(0, 0, 200, 200));
  EXPECT_EQ(pixel(&box, 0, 0), QColor(Qt::red));
  EXPECT_EQ(pixel(&box, 199, 199), QColor(Qt::red));

  const Bytes small = solidPicture(100, 50, Qt::blue, "BMP");
  box.setPicture(small);
  ASSERT_TRUE(decoded(box.pictureView()));
  EXPECT_EQ(box.shownRect(), QRect(50, 75, 100, 50));
  EXPECT_EQ(pixel(&box, 10, 10), QColor(Qt::white));
  EXPECT_EQ(pixel(&box, 100, 100), QColor(Qt::blue));

  // Bytes that decode to nothing are still the property, read back unchanged.
  const Bytes junk("\x00\x01\xFFjunk\x00", 8);
  box.setPicture(junk);
  ASSERT_TRUE(decoded(box.pictureView()));
  EXPECT_EQ(box.picture(), junk);
  EXPECT_TRUE(box.shownRect().isEmpty());

  // An empty buffer clears to the background.
  box.setPicture(big);
  box.setPicture(Bytes());
  EXPECT_TRUE(box.picture().empty());
  EXPECT_EQ(pixel(&box, 100, 100), QColor(Qt::white));

  // A border takes its width from the client area.
  box.setBorder(Border::Single);
  box.setPicture(big);
  ASSERT_TRUE(decoded(box.pictureView()));
  EXPECT_EQ(box.shownRect(), QRect(1, 1, 198, 198));
}

TEST(PictureBox, AnimatesAGif) {
  PictureBox box;
  box.resize(20, 20);
  box.setMode(DisplayMode::Stretched);
  box.setPicture(animatedGif(20, 20, {Qt::red, Qt::blue}, 5));
  ASSERT_TRUE(decoded(box.pictureView()));
  ASSERT_TRUE(box.pictureView().animated());
  EXPECT_EQ(box.pictureView().frameIndex(), 0);
  EXPECT_EQ(pixel(&box, 10, 10), QColor(Qt::red));
  ASSERT_TRUE(QTest::qWaitFor([&] { return box.pictureView().frameIndex() == 1; }, 1000));
  EXPECT_EQ(pixel(&box, 10, 10), QColor(Qt::blue));
  ASSERT_TRUE(QTest::qWaitFor([&] { return box.pictureView().frameIndex() == 0; }, 1000));
}

TEST(PictureBox, ShrinksWithoutAliasingAndRescalesEachFrame) {
  PictureBox box;
  box.resize(200, 200);
  box.setMode(DisplayMode::CentredFit);
  // One-pixel black and white columns shrunk 2.2 times must average to grey everywhere;
  // sampling single source pixels shows bands of black and white instead.
  QImage stripes(440, 440, QImage::Format_RGB32);
  for (int x = 0; x < 440; ++x)
    for (int y = 0; y < 440; ++y) stripes.setPixel(x, y, x % 2 ? 0xFFFFFFFF : 0xFF000000);
  box.setPicture(mw::test::encode(stripes, "PNG"));
  ASSERT_TRUE(decoded(box.pictureView()));
  const QImage shown = box.grab().toImage();
  for (int x = 0; x < 200; ++x) {
    const int grey = shown.pixelColor(x, 100).red();
    ASSERT_GT(grey, 80) << "column " << x;
    ASSERT_LT(grey, 175) << "column " << x;
  }
  EXPECT_EQ(box.grab().toImage(), shown);

  // Enlarged frames of an animation follow the frame shown.
  box.setMode(DisplayMode::Stretched);
  box.setPicture(animatedGif(20, 20, {Qt::red, Qt::blue}, 5));
  ASSERT_TRUE(decoded(box.pictureView()));
  EXPECT_EQ(pixel(&box, 100, 100), QColor(Qt::red));
  ASSERT_TRUE(QTest::qWaitFor([&] { return box.pictureView().frameIndex() == 1; }, 1000));
  EXPECT_EQ(pixel(&box, 100, 100), QColor(Qt::blue));
  box.resize(100, 100);
  EXPECT_EQ(pixel(&box, 99, 99), QColor(Qt::blue));
}

// A large JPEG keeps its DCT-scaled decode, counted in the budget, and a box resized within it
// is fitted from that: the new size shows without the bytes decoded again, and the budget
// holds just the kept decode and the shown picture.
TEST(PictureBox, LargeJpegResizedIsFittedFromItsKeptDecode) {
  QTest::qWait(50);  // decodes that earlier tests left in flight have come back
  const std::size_t before = decodedInUse();
  {
    PictureBox box;
    box.resize(280, 210);
    box.show();
    box.setMode(DisplayMode::Stretched);
    QImage photo(2400, 1800, QImage::Format_RGB32);
    photo.fill(QColor(90, 140, 200));
    box.setPicture(mw::test::encode(photo, "JPG", 90));
    ASSERT_TRUE(decoded(box.pictureView()));
    EXPECT_EQ(decodedInUse() - before, 300u * 225 * 4 + 280 * 210 * 4) << "the 1/8 decode is kept";

    // Two sizes in quick succession (zoom steps): the picture shown stays until the last is made.
    box.resize(285, 214);
    box.resize(290, 217);
    EXPECT_TRUE(box.pictureView().shown());
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return box.pictureView().currentFrame().size() == QSize(290, 217); }, 2000));
    EXPECT_EQ(decodedInUse() - before, 300u * 225 * 4 + 290 * 217 * 4);
    EXPECT_NEAR(pixel(&box, 285, 212).blue(), 200, 3);
  }
  EXPECT_EQ(decodedInUse(), before);
}

// A caption wider than its label: cut at the edge, narrowed or elided to end inside it.
TEST(Label, AnOverflowingCaptionIsCutNarrowedOrElided) {
  const auto inkColumns = [](Label& label) {
    const QImage image = label.grab().toImage();
    int first = image.width(), last = -1;
    for (int x = 0; x < image.width(); ++x)
      for (int y = 0; y < image.height(); ++y)
        if (QColor(image.pixel(x, y)).red() > 200 && QColor(image.pixel(x, y)).green() < 80) {
          first = std::min(first, x);
          last = std::max(last, x);
        }
    return std::pair{first, last};
  };
  Label label;
  label.resize(64, 48);
  label.setFont(pixelFont(label.font(), 23, true));
  label.setTextColour(Qt::red);
  label.setCaption("mw13WW");
  EXPECT_EQ(inkColumns(label).second, 63) << "the caption runs to the edge and is cut there";
  label.setOverflow(Overflow::Narrow);
  const auto [first, last] = inkColumns(label);
  EXPECT_LE(first, 3);
  EXPECT_GT(last, 50);
  EXPECT_LT(last, 63);
  // One that fits is drawn as it is.
  label.setCaption("m");
  EXPECT_LT(inkColumns(label).second, 30);

  // Elided in the middle, the whole caption is the tool tip.
  label.setOverflow(Overflow::ElideMiddle);
  label.setCaption("/home/someone/Pictures/mw13WW");
  EXPECT_LT(inkColumns(label).second, 63);
  EXPECT_EQ(label.toolTip(), QStringLiteral("/home/someone/Pictures/mw13WW"));
  EXPECT_EQ(label.caption(), "/home/someone/Pictures/mw13WW");
}

TEST(Label, CaptionsCrossInGbkAndLooksReadBack) {
  Label label;
  label.resize(96, 25);
  const Text caption = "已是最新版 & more"_gbk;
  label.setCaption(caption);
  EXPECT_EQ(label.caption(), caption);
  label.setTextColour(QColor(0, 0, 0xFF));
  EXPECT_EQ(label.textColour(), QColor(0, 0, 0xFF));
  // No background given: the system's button face.
  EXPECT_EQ(label.backgroundColour(), label.palette().color(QPalette::Button));
  label.setBackgroundColour(QColor(0xEC, 0xEC, 0xEC));
  EXPECT_EQ(label.backgroundColour(), QColor(0xEC, 0xEC, 0xEC));
  EXPECT_EQ(pixel(&label, 1, 1), QColor(0xEC, 0xEC, 0xEC));

  const Bytes strip = solidPicture(90, 22, Qt::green);
  label.setPictureLayout(Layout::CentredFit);
  label.setPicture(strip);
  ASSERT_TRUE(decoded(label.pictureView()));
  EXPECT_EQ(label.picture(), strip);
  label.setCaption(Text());
  EXPECT_EQ(pixel(&label, 1, 1), QColor(0xEC, 0xEC, 0xEC));
  EXPECT_EQ(pixel(&label, 48, 12), QColor(Qt::green));

  // Tiled from the top-left corner of the client area.
  QImage halves(4, 4, QImage::Format_RGB32);
  halves.fill(Qt::red);
  for (int y = 0; y < 4; ++y)
    for (int x = 2; x < 4; ++x) halves.setPixelColor(x, y, Qt::blue);
  Label tiled;
  tiled.resize(20, 10);
  tiled.setPictureLayout(Layout::Tiled);
  tiled.setPicture(mw::test::encode(halves, "PNG"));
  ASSERT_TRUE(decoded(tiled.pictureView()));
  for (int x : {0, 4, 8, 16}) EXPECT_EQ(pixel(&tiled, x, 9), QColor(Qt::red)) << x;
  for (int x : {2, 7, 19}) EXPECT_EQ(pixel(&tiled, x, 5), QColor(Qt::blue)) << x;
}

TEST(Events, DeliverPositionsRelativeToTheControlAndKeyCodes) {
  QWidget window;
  window.resize(300, 300);
  auto* label = new Label(&window);
  label->setGeometry(50, 60, 100, 40);
  std::vector<std::string> seen;
  const auto record = [&](const char* what) {
    return [&seen, what](const Input& in) {
      seen.push_back(what + std::to_string(in.at.x) + "," + std::to_string(in.at.y));
    };
  };
  EXPECT_TRUE(bindEvent(label, Event::LeftDown, record("L")));
  EXPECT_TRUE(bindEvent(label, Event::RightDown, record("R")));
  EXPECT_TRUE(bindEvent(label, Event::MouseMove, record("M")));
  // A second handler for the same event is refused; the first stays.
  EXPECT_FALSE(bindEvent(label, Event::LeftDown, record("X")));
  EXPECT_TRUE(isBound(label, Event::LeftDown));
  EXPECT_FALSE(isBound(label, Event::KeyDown));
  window.show();
  QTest::mousePress(label, Qt::LeftButton, {}, QPoint(7, 9));
  QTest::mousePress(label, Qt::RightButton, {}, QPoint(99, 39));
  QTest::mouseMove(label, QPoint(20, 30));
  EXPECT_EQ(seen, (std::vector<std::string>{"L7,9", "R99,39", "M20,30"}));

  // An edit box reports the inner editor's input as its own.
  auto* edit = new EditBox(&window);
  edit->setGeometry(10, 200, 100, 30);
  std::vector<int> keys;
  bool focused = false;
  bindEvent(edit, Event::KeyDown, [&](const Input& in) { keys.push_back(in.keyCode); });
  bindEvent(edit, Event::GotFocus, [&](const Input&) { focused = true; });
  int pressedAtX = -1;
  bindEvent(edit, Event::LeftDown, [&](const Input& in) { pressedAtX = in.at.x; });
  QTest::mouseClick(edit->editor(), Qt::LeftButton, {}, QPoint(12, 5));
  EXPECT_EQ(pressedAtX, 12);
  window.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
  edit->setFocus();
  QTest::keyClick(edit->editor(), Qt::Key_Return);
  QTest::keyClick(edit->editor(), Qt::Key_A);
  QTest::keyClick(edit->editor(), Qt::Key_Escape);
  EXPECT_EQ(keys, (std::vector<int>{13, 'A', 27}));
  EXPECT_TRUE(focused);

  // A button's click, by mouse or keyboard; a disabled one gives none.
  auto* button = new Button(&window);
  button->setGeometry(200, 200, 72, 32);
  int clicks = 0;
  bindEvent(button, Event::Click, [&](const Input&) { ++clicks; });
  QTest::mouseClick(button, Qt::LeftButton);
  button->setFocus();
  QTest::keyClick(button, Qt::Key_Space);
  button->setDisabled(true);
  QTest::mouseClick(button, Qt::LeftButton);
  EXPECT_EQ(clicks, 2);
}

TEST(EditBox, IntegerOnlyAndMultiLineText) {
  EditBox digits(nullptr, {.integerOnly = true});
  QTest::keyClicks(digits.editor(), "12a-3");
  EXPECT_EQ(digits.text(), "123");

  EditBox notes(nullptr, {.multiLine = true, .verticalScroll = true});
  const Text text = "第一行\r\n\r\nsecond"_gbk;
  notes.setText(text);
  EXPECT_EQ(notes.text(), text);

  EditBox search(nullptr, {.border = Border::None});
  search.setTextColour(QColor(0xC0, 0xC0, 0xC0));
  search.setBackgroundColour(QColor(0xF8, 0xF8, 0xF8));
  EXPECT_EQ(search.textColour(), QColor(0xC0, 0xC0, 0xC0));
  EXPECT_EQ(search.backgroundColour(), QColor(0xF8, 0xF8, 0xF8));
  EXPECT_FALSE(qobject_cast<QLineEdit*>(search.editor())->hasFrame());
}

TEST(ComboBoxAndTabs, CurrentItemAndPage) {
  ComboBox box;
  box.setItems({"宋体"_gbk, "楷体"_gbk});
  box.setCurrentItemText("楷体"_gbk);
  EXPECT_EQ(box.currentItemText(), "楷体"_gbk);
  EXPECT_EQ(box.currentIndex(), 1);
  box.setCurrentItemText("13");  // editable: a text that is no item still reads back
  EXPECT_EQ(box.currentItemText(), "13");

  TabControl tabs;
  QWidget* first = tabs.addPage();
  tabs.addPage();
  EXPECT_EQ(tabs.currentPage(), 0);
  tabs.setCurrentPage(1);
  EXPECT_EQ(tabs.currentPage(), 1);
  EXPECT_EQ(tabs.page(0), first);
}

TEST(Dialogs, GoThroughTheDesktopAndCancellingChangesNothing) {
  EXPECT_EQ(qtFileFilter("图片文件（*.png;*.jpg;*.bmp;*.jpeg）|*.png;*.jpg;*.bmp;*.jpeg;"_gbk),
            QStringLiteral("图片文件（*.png;*.jpg;*.bmp;*.jpeg） (*.png *.jpg *.bmp *.jpeg)"));

  test::ScriptedDesktop scripted;
  QWidget owner;
  OpenFileDialog dialog(&owner);
  dialog.setFilter("x|*.png");
  scripted.files = {"/tmp/一.png"_gbk, std::nullopt};
  EXPECT_EQ(dialog.showOpen(scripted), "/tmp/一.png"_gbk);
  EXPECT_EQ(dialog.showOpen(scripted), std::nullopt);
  EXPECT_EQ(dialog.fileName(), "/tmp/一.png"_gbk);

  ColourPicker picker;
  picker.resize(56, 23);
  QTest::mouseClick(&picker, Qt::LeftButton);  // no desktop: no dialog
  picker.useDesktop(scripted);
  scripted.colours = {QColor(Qt::red), std::nullopt};
  QTest::mouseClick(&picker, Qt::LeftButton);
  EXPECT_EQ(picker.colour(), QColor(Qt::red));
  QTest::mouseClick(&picker, Qt::LeftButton);
  EXPECT_EQ(picker.colour(), QColor(Qt::red));

  scripted.answers = {MessageAnswer::Cancel};
  EXPECT_EQ(scripted.messageBox(nullptr, "没有匹配数据"_gbk, Text(), MessageButtons::OkCancel),
            MessageAnswer::Cancel);
  ASSERT_EQ(scripted.calls.size(), 5u);
  EXPECT_EQ(scripted.calls[0].what, "openFile");
  EXPECT_EQ(scripted.calls[0].text, "x|*.png");
  EXPECT_EQ(scripted.calls[4].what, "messageBox");
  EXPECT_EQ(scripted.calls[4].text, "没有匹配数据"_gbk);
}

TEST(Window, LoadRunsCreatedFirstAndDestroyHides) {
  Window window(Frame::None);
  window.resize(100, 80);
  window.setTitle("更新窗口v1.3"_gbk);
  EXPECT_EQ(window.title(), "更新窗口v1.3"_gbk);
  EXPECT_EQ(window.windowTitle(), QStringLiteral("更新窗口v1.3"));
  bool visibleInCreated = true;
  int created = 0;
  bindEvent(&window, Event::Created, [&](const Input&) {
    ++created;
    visibleInCreated = window.isVisible();
  });
  window.load();
  EXPECT_EQ(created, 1);
  EXPECT_FALSE(visibleInCreated);
  EXPECT_TRUE(window.isVisible());
  window.destroyWindow();
  EXPECT_FALSE(window.isVisible());
  window.load();  // every load runs the created event again
  EXPECT_EQ(created, 2);
  window.destroyWindow();
  // A modal load waits until the window is closed.
  QTimer::singleShot(50, &window, [&] { window.destroyWindow(); });
  window.loadModal();
  EXPECT_EQ(created, 3);
  EXPECT_FALSE(window.isVisible());
  window.destroyWindow();
}

TEST(Window, FirstActivationOnceAndLostFocusOnDeactivation) {
  Window window(Frame::None);
  Window other(Frame::None);
  window.resize(50, 50);
  other.resize(50, 50);
  int activations = 0;
  int lost = 0;
  bindEvent(&window, Event::FirstActivation, [&](const Input&) { ++activations; });
  bindEvent(&window, Event::LostFocus, [&](const Input&) { ++lost; });
  window.load();
  window.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
  other.load();
  other.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&other));
  window.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
  EXPECT_EQ(activations, 1);
  EXPECT_EQ(lost, 1);
  window.destroyWindow();
  other.destroyWindow();
}

// A window the desktop never activates still has its first activation, a moment after it
// shows, and only once.
TEST(Window, FirstActivationComesWithoutTheDesktopActivatingIt) {
  // Swallows the activations, as a desktop that keeps new windows from the focus would.
  struct NoActivation : QObject {
    bool eventFilter(QObject*, QEvent* e) override { return e->type() == QEvent::WindowActivate; }
  } noActivation;
  Window window(Frame::None);
  window.resize(50, 50);
  int activations = 0;
  bindEvent(&window, Event::FirstActivation, [&](const Input&) { ++activations; });
  window.installEventFilter(&noActivation);  // after the binding: it sees the events first
  window.load();
  EXPECT_EQ(activations, 0);
  QTest::qWait(Window::kActivationGraceMs / 2);
  EXPECT_EQ(activations, 0) << "it waits a moment for the desktop";
  EXPECT_TRUE(QTest::qWaitFor([&] { return activations == 1; }, 5000));
  window.destroyWindow();
  window.removeEventFilter(&noActivation);
  window.load();
  QTest::qWait(Window::kActivationGraceMs + 100);
  EXPECT_EQ(activations, 1);
  window.destroyWindow();
}

TEST(Desktop, QtMessageBoxIsModalUntitledReadsInformationAndSpeaksChinese) {
  ASSERT_TRUE(useChineseQtTexts()) << "Qt's translations (qt6-translations-l10n) are missing";
  QString title;
  QStringList buttons;
  bool modal = false;
  QTimer::singleShot(0, [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    ASSERT_NE(box, nullptr);
    title = box->windowTitle();
    modal = box->isModal();
    buttons = {box->button(QMessageBox::Ok)->text(), box->button(QMessageBox::Cancel)->text()};
    box->button(QMessageBox::Cancel)->click();
  });
  const MessageAnswer answer =
      QtDesktop().messageBox(nullptr, "确定吗"_gbk, Text(), MessageButtons::OkCancel);
  EXPECT_EQ(answer, MessageAnswer::Cancel);
  EXPECT_EQ(title, QStringLiteral("信息："));
  EXPECT_TRUE(modal);
  EXPECT_EQ(buttons, (QStringList{QStringLiteral("确定"), QStringLiteral("取消")}));
}

TEST(Clipboard, StillImagesAndWindowSnapshots) {
  QImage red(8, 6, QImage::Format_RGB32);
  red.fill(Qt::red);
  ASSERT_TRUE(placeImageOnClipboard(red));
  EXPECT_EQ(QGuiApplication::clipboard()->image().pixelColor(3, 3), QColor(Qt::red));
  EXPECT_FALSE(placeImageOnClipboard(QImage()));

  PictureBox box;
  box.resize(40, 30);
  box.setMode(DisplayMode::Stretched);
  box.setPicture(solidPicture(10, 10, Qt::blue));
  ASSERT_TRUE(decoded(box.pictureView()));
  auto* child = new Label(&box);
  child->setGeometry(0, 0, 10, 10);
  child->setBackgroundColour(QColor(Qt::green));
  const QImage back = snapshotWindow(&box);
  EXPECT_EQ(back.size(), QSize(40, 30));
  EXPECT_EQ(back.pixelColor(20, 20), QColor(Qt::blue));
  EXPECT_EQ(back.pixelColor(5, 5), QColor(Qt::green));
}
