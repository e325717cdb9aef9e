#include "actions/editor.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QBuffer>
#include <QClipboard>
#include <QFontInfo>
#include <QFontMetrics>
#include <QGlyphRun>
#include <QMimeData>
#include <QRawFont>
#include <QTest>
#include <QTextLayout>
#include <algorithm>
#include <filesystem>

#include "runtime/files.h"
#include "support/handler_parts.h"
#include "support/picture_wait.h"
#include "support/temp_folder.h"
#include "support/test_pictures.h"
#include "toolkit/font_names.h"

using namespace mw;

namespace {

struct Editor : ::testing::Test {
  test::HandlerParts parts;
  forms::HandlerRegistry registry{parts.context};
  test::TempFolder folder;
  forms::MainForm& f = parts.main;
  const forms::EditorState& state = parts.state.editor;

  void SetUp() override {
    toolkit::useFontSubstitutes();  // as the program does
    actions::bindEditor(registry);
  }

  static void press(QWidget* w, QPoint at = QPoint(5, 5)) { QTest::mousePress(w, Qt::LeftButton, {}, at); }

  // Writes the picture file and opens it through the dialog.
  Text open(const std::string& bytes, const char* name = "picture") {
    const Text path = folder.text(name);
    EXPECT_TRUE(runtime::writeFile(path, bytes));
    parts.desktop.files.push_back(path);
    press(f.本地编辑_打开文件);
    EXPECT_TRUE(test::decoded(f.本地编辑_图片框->pictureView()));
    return path;
  }
  Text openPicture(int w, int h, QColor colour = Qt::white) { return open(test::solidPicture(w, h, colour)); }

  // A step, until the box has made its picture for the new size.
  void zoom(QWidget* button) {
    press(button);
    EXPECT_TRUE(test::decoded(f.本地编辑_图片框->pictureView()));
  }
  void zoomIn() { zoom(f.本地编辑_图片放大); }
  void zoomOut() { zoom(f.图片缩小); }
  void type(const Text& text) { f.本地编辑_编辑框->setText(text); }
  Text tip() const { return f.气球提示框1->text(); }

  // The sizes of the box and of both labels on it, which always agree.
  QSize shownSize() const {
    const QSize box = f.本地编辑_图片框->size();
    EXPECT_EQ(f.本地编辑_感应透明标签->size(), box);
    EXPECT_EQ(f.本地编辑_文本透明标签->size(), box);
    EXPECT_EQ(box, QSize(state.editorWidth, state.editorHeight));
    return box;
  }
};

TEST_F(Editor, OpeningFitsThePictureInto300PixelsAndStartsItsCaptionEmpty) {
  EXPECT_EQ(f.本地编辑_文本透明标签->caption().substr(0, 10), "使用说明："_gbk);
  const struct {
    int w, h;
    QSize shown;
  } cases[] = {
      {600, 400, {300, 200}}, {400, 600, {200, 300}}, {500, 400, {375, 300}}, {700, 490, {428, 300}}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.w) + " x " + std::to_string(c.h));
    const std::string bytes = test::solidPicture(c.w, c.h, Qt::white);
    const Text path = open(bytes);
    EXPECT_EQ(state.editorFile, path);
    EXPECT_DOUBLE_EQ(state.editorAspect, double(c.h) / c.w);
    EXPECT_EQ(shownSize(), c.shown);
    EXPECT_EQ(f.本地编辑_图片框->picture(), bytes);
    EXPECT_TRUE(f.本地编辑_图片框->pictureView().shown());
    EXPECT_EQ(f.本地编辑_文本透明标签->caption(), "");
  }
  // 0.7 high as wide, within the tolerance, is a tall picture.
  EXPECT_EQ(actions::editorFitSize(0.7 - 0.00000009), QSize(428, 300));
  EXPECT_EQ(actions::editorFitSize(0.7 - 0.0000002), QSize(300, 209));

  ASSERT_FALSE(parts.desktop.calls.empty());
  EXPECT_EQ(parts.desktop.calls.front().what, "openFile");
  EXPECT_EQ(parts.desktop.calls.front().text,
            "图片文件（*.png;*.jpg;*.bmp;*.jpeg;*.webp;*.avif）|*.png;*.jpg;*.bmp;*.jpeg;*.webp;*.avif;"_gbk);
  EXPECT_TRUE(parts.messages().empty());
  // The font chosen in the combo boxes on the edit box and the text alike.
  for (QWidget* w :
       {static_cast<QWidget*>(f.本地编辑_编辑框), static_cast<QWidget*>(f.本地编辑_文本透明标签)}) {
    EXPECT_EQ(w->font().family(), "宋体");
    EXPECT_EQ(w->font().pointSize(), 18);
  }
}

TEST_F(Editor, ZoomStepsTenPixelsInHeightAndStopsOnceASideIsPastItsLimit) {
  openPicture(400, 600);
  zoomIn();
  EXPECT_EQ(shownSize(), QSize(206, 310));
  zoomIn();
  EXPECT_EQ(parts.messages(), std::vector<Text>{"已是最大尺寸"_gbk});
  EXPECT_EQ(parts.desktop.calls.back().title, "");
  EXPECT_EQ(parts.desktop.calls.back().buttons, platform::MessageButtons::Ok);
  EXPECT_EQ(shownSize(), QSize(206, 310));
  zoomOut();
  EXPECT_EQ(shownSize(), QSize(200, 300));

  openPicture(500, 400);  // 375 wide already
  zoomIn();
  EXPECT_EQ(parts.messages().size(), 2u);
  EXPECT_EQ(shownSize(), QSize(375, 300));

  // 150 high: thirteen steps down to 20, one more to 10, then no further.
  openPicture(600, 300);
  for (int height = 140; height >= 10; height -= 10) {
    zoomOut();
    ASSERT_EQ(shownSize(), QSize(2 * height, height));
  }
  EXPECT_EQ(parts.messages().size(), 2u);
  zoomOut();
  EXPECT_EQ(parts.messages().back(), "已是最小尺寸"_gbk);
  EXPECT_EQ(shownSize(), QSize(20, 10));

  // Each step reads the file again; one that is gone leaves the box empty at the new size.
  zoomIn();
  EXPECT_TRUE(f.本地编辑_图片框->pictureView().shown());
  std::filesystem::remove(folder.path() / "picture");
  zoomIn();
  EXPECT_EQ(shownSize(), QSize(60, 30));
  EXPECT_TRUE(f.本地编辑_图片框->picture().empty());
  EXPECT_EQ(parts.messages().size(), 3u);
}

TEST_F(Editor, APressPlacesTheTypedTextThereAndASecondOneMovesIt) {
  openPicture(600, 400);
  type("第一行\r\n第二行"_gbk);
  press(f.本地编辑_感应透明标签, QPoint(50, 120));
  EXPECT_EQ(f.本地编辑_文本透明标签->pos(), QPoint(50, 120));
  EXPECT_EQ(f.本地编辑_文本透明标签->caption(), "第一行\r\n第二行"_gbk);

  press(f.本地编辑_感应透明标签, QPoint(10, 30));
  EXPECT_EQ(f.本地编辑_文本透明标签->pos(), QPoint(10, 30));
  EXPECT_EQ(f.本地编辑_文本透明标签->caption(), "第一行\r\n第二行"_gbk);

  // Another picture empties the caption but keeps the place.
  openPicture(400, 600);
  EXPECT_EQ(f.本地编辑_文本透明标签->caption(), "");
  EXPECT_EQ(f.本地编辑_文本透明标签->pos(), QPoint(10, 30));
}

TEST_F(Editor, ConfirmGivesThePlacedTextTheChosenFontSizeAndColour) {
  openPicture(600, 400);
  type("表情"_gbk);
  press(f.本地编辑_感应透明标签, QPoint(20, 20));
  f.本地编辑_字体组合框->setCurrentItemText("楷体"_gbk);
  f.本地编辑_字号组合框->setCurrentItemText("36");
  parts.desktop.colours.push_back(QColor(Qt::red));
  press(f.本地编辑_颜色选择器);
  EXPECT_EQ(f.本地编辑_文本透明标签->font().pointSize(), 18) << "nothing changes before 确定";

  press(f.本地编辑_设置按钮);
  auto* text = f.本地编辑_文本透明标签;
  EXPECT_EQ(text->font().family(), "楷体");
  EXPECT_EQ(text->font().pointSize(), 36);
  EXPECT_EQ(text->textColour(), QColor(Qt::red));
  EXPECT_EQ(text->caption(), "表情"_gbk);
  EXPECT_EQ(f.本地编辑_编辑框->font().family(), "楷体");
  EXPECT_EQ(f.本地编辑_编辑框->font().pointSize(), 36);

  // A size the user typed counts, truncated; one that is no positive number keeps the size.
  f.本地编辑_字号组合框->setCurrentItemText("13.9");
  press(f.本地编辑_设置按钮);
  EXPECT_EQ(text->font().pointSize(), 13);
  f.本地编辑_字号组合框->setCurrentItemText("大");
  press(f.本地编辑_设置按钮);
  EXPECT_EQ(text->font().pointSize(), 13);
}

// Each name of the combo box is drawn by the first installed stand-in of its list, which has the
// Chinese glyphs, and the windows' own Chinese by the first installed Hei, whatever else is
// installed (other CJK fonts, a Chinese locale).
TEST_F(Editor, EveryFontNameIsDrawnByAnInstalledChineseFont) {
  const QString sample = QStringLiteral("使用说明：打开一张图片，在右方编辑框输入文字");
  const auto& table = toolkit::fontSubstitutes();
  const auto standIns = [&](const QString& name) {
    const auto entry =
        std::find_if(table.begin(), table.end(), [&](const auto& s) { return s.name == name; });
    return entry == table.end() ? QStringList() : entry->installed;
  };
  // The families that draw `sample` in `font`.
  const auto drawnBy = [&](const QFont& font) {
    QTextLayout layout(sample, font);
    layout.beginLayout();
    layout.createLine();
    layout.endLayout();
    QStringList families;
    for (const QGlyphRun& run : layout.glyphRuns()) families << run.rawFont().familyName().toLower();
    return families.join(", ").toStdString();
  };
  ASSERT_EQ(f.本地编辑_字体组合框->count(), 4);
  for (int i = 0; i < f.本地编辑_字体组合框->count(); ++i) {
    const QString name = f.本地编辑_字体组合框->itemText(i);
    SCOPED_TRACE(name.toStdString());
    const QString standIn = toolkit::firstInstalled(standIns(name));
    ASSERT_FALSE(standIn.isEmpty()) << "none installed";
    f.本地编辑_字体组合框->setCurrentIndex(i);
    press(f.本地编辑_设置按钮);
    const QFont font = f.本地编辑_文本透明标签->font();
    EXPECT_EQ(drawnBy(font), standIn.toLower().toStdString());
    const QRawFont raw = QRawFont::fromFont(font);
    for (QChar c : sample) EXPECT_TRUE(raw.supportsCharacter(c)) << QString(c).toStdString();
  }
  const QString hei = toolkit::firstInstalled(standIns(QStringLiteral("微软雅黑")));
  EXPECT_EQ(drawnBy(QApplication::font()), hei.toLower().toStdString());
}

TEST_F(Editor, FinishCopiesTheBoxWithBorderAndTextAsShown) {
  QClipboard* clipboard = QGuiApplication::clipboard();
  // Before any picture: the empty box and its border.
  press(f.本地编辑_完成);
  ASSERT_TRUE(clipboard->mimeData()->hasImage());
  EXPECT_EQ(clipboard->image().size(), QSize(300, 300));

  const QColor paper(255, 255, 192);
  openPicture(600, 400, paper);
  type("字"_gbk);
  f.本地编辑_字号组合框->setCurrentItemText("36");
  f.本地编辑_颜色选择器->setColour(Qt::red);
  press(f.本地编辑_设置按钮);
  const QPoint at(60, 50);
  press(f.本地编辑_感应透明标签, at);
  clipboard->setText("before");
  press(f.本地编辑_完成);
  EXPECT_TRUE(parts.messages().empty());
  ASSERT_TRUE(clipboard->mimeData()->hasImage());
  const QImage copied = clipboard->image().convertToFormat(QImage::Format_RGB32);
  ASSERT_EQ(copied.size(), QSize(300, 200));
  EXPECT_EQ(QColor(copied.pixel(0, 0)), QColor(0xA0, 0xA0, 0xA0)) << "the border";
  EXPECT_EQ(QColor(copied.pixel(150, 199)), QColor(0xA0, 0xA0, 0xA0));
  EXPECT_EQ(QColor(copied.pixel(150, 150)), paper) << "the picture";
  // Pixel for pixel what a 24-bit BMP of the box holds, the text's smoothed edges included.
  QByteArray bmp;
  QBuffer buffer(&bmp);
  buffer.open(QIODevice::WriteOnly);
  ASSERT_TRUE(
      f.本地编辑_图片框->grab().toImage().convertToFormat(QImage::Format_RGB888).save(&buffer, "BMP"));
  EXPECT_EQ(copied, QImage::fromData(bmp, "BMP").convertToFormat(QImage::Format_RGB32));

  const QRect glyphs =
      QFontMetrics(f.本地编辑_文本透明标签->font())
          .boundingRect(QStringLiteral("字"))
          .translated(at + QPoint(0, QFontMetrics(f.本地编辑_文本透明标签->font()).ascent()));
  int inside = 0, outside = 0;
  for (int y = 0; y < copied.height(); ++y)
    for (int x = 0; x < copied.width(); ++x) {
      const QColor c = copied.pixel(x, y);
      if (c.red() < 200 || c.green() > 80 || c.blue() > 80) continue;  // not the text's red
      (glyphs.adjusted(-2, -2, 2, 2).contains(x, y) ? inside : outside)++;
    }
  EXPECT_GT(inside, 20);
  EXPECT_EQ(outside, 0);
}

TEST_F(Editor, CancelAFileThatIsNoPictureAndZoomBeforeAPictureChangeNothing) {
  const QSize initial = f.本地编辑_图片框->size();
  const Text usage = f.本地编辑_文本透明标签->caption();
  zoomIn();
  zoomOut();
  EXPECT_EQ(f.本地编辑_图片框->size(), initial);
  EXPECT_TRUE(parts.messages().empty());

  press(f.本地编辑_打开文件);  // cancelled
  EXPECT_EQ(state.editorFile, "");
  EXPECT_EQ(f.本地编辑_文本透明标签->caption(), usage);
  EXPECT_EQ(tip(), "");

  // A good header over broken data: found out once the box has decoded it, and undone.
  std::string broken = test::solidPicture(600, 400, Qt::blue);
  broken[broken.find("IDAT") + 8] ^= 0x55;
  open(broken, "broken.png");
  EXPECT_EQ(tip(), "无法打开该图片"_gbk);
  EXPECT_EQ(state.editorFile, "");
  EXPECT_EQ(state.editorAspect, 0);
  EXPECT_EQ(f.本地编辑_图片框->size(), initial);
  EXPECT_EQ(f.本地编辑_感应透明标签->size(), initial);
  EXPECT_EQ(f.本地编辑_文本透明标签->size(), QSize(216, 144));
  EXPECT_TRUE(f.本地编辑_图片框->picture().empty());
  EXPECT_EQ(f.本地编辑_文本透明标签->caption(), usage);

  const std::string picture = test::solidPicture(600, 400, Qt::blue, "JPG");
  const Text path = open(picture, "a.jpg");
  type("留下"_gbk);
  press(f.本地编辑_感应透明标签, QPoint(30, 40));
  f.本地编辑_字号组合框->setCurrentItemText("9");
  f.气球提示框1->showAt({}, "");
  const auto unchanged = [&] {
    EXPECT_EQ(state.editorFile, path);
    EXPECT_EQ(shownSize(), QSize(300, 200));
    EXPECT_EQ(f.本地编辑_图片框->picture(), picture);
    EXPECT_TRUE(f.本地编辑_图片框->pictureView().shown());
    EXPECT_EQ(f.本地编辑_文本透明标签->caption(), "留下"_gbk);
    EXPECT_EQ(f.本地编辑_文本透明标签->font().pointSize(), 18);
  };
  press(f.本地编辑_打开文件);
  unchanged();
  EXPECT_EQ(tip(), "");

  for (const std::string& bytes : {std::string("no picture at all"), picture.substr(0, 20), broken}) {
    f.气球提示框1->showAt({}, "");
    open(bytes, "b.jpg");
    unchanged();
    EXPECT_EQ(tip(), "无法打开该图片"_gbk) << bytes.size();
  }
  f.气球提示框1->showAt({}, "");
  parts.desktop.files.push_back(folder.text("missing.png"));
  press(f.本地编辑_打开文件);
  unchanged();
  EXPECT_EQ(tip(), "无法打开该图片"_gbk);
  EXPECT_TRUE(parts.messages().empty());
}

TEST_F(Editor, LeavingThePageKeepsEverythingAsItWas) {
  press(f.本地保存编辑);
  EXPECT_EQ(f.page(), forms::Page::Local);
  EXPECT_TRUE(f.上一页->isHidden());
  EXPECT_TRUE(f.跳页_编辑框->isHidden());

  const Text path = openPicture(500, 400);
  type("还在"_gbk);
  f.本地编辑_颜色选择器->setColour(Qt::green);
  press(f.本地编辑_设置按钮);
  press(f.本地编辑_感应透明标签, QPoint(70, 80));
  zoomOut();

  press(f.本地编辑_返回);
  EXPECT_EQ(f.page(), forms::Page::Edit);
  EXPECT_FALSE(f.上一页->isHidden());
  EXPECT_FALSE(f.跳页_编辑框->isHidden());
  type("");
  press(f.本地保存编辑);
  EXPECT_EQ(f.page(), forms::Page::Local);
  EXPECT_EQ(state.editorFile, path);
  EXPECT_EQ(shownSize(), QSize(362, 290));
  EXPECT_TRUE(f.本地编辑_图片框->pictureView().shown());
  EXPECT_EQ(f.本地编辑_文本透明标签->pos(), QPoint(70, 80));
  EXPECT_EQ(f.本地编辑_文本透明标签->caption(), "还在"_gbk);
  EXPECT_EQ(f.本地编辑_文本透明标签->textColour(), QColor(Qt::green));
}

// A photo of 4000 x 3000 is decoded for the 300 pixels it is shown at, once: placing text,
// applying a font and copying draw what was decoded.
TEST_F(Editor, ALargeJpegIsDecodedSmallAndNotAgainForTheText) {
  QImage photo(4000, 3000, QImage::Format_RGB32);
  photo.fill(QColor(90, 140, 200));
  open(test::encode(photo, "JPG", 90), "photo.jpg");
  EXPECT_EQ(shownSize(), QSize(400, 300));
  const picture::Picture& view = f.本地编辑_图片框->pictureView();
  ASSERT_TRUE(view.shown());
  const QImage decoded = view.currentFrame();
  EXPECT_LE(decoded.width(), 1000);
  EXPECT_GE(decoded.width(), 398);

  type("字"_gbk);
  press(f.本地编辑_感应透明标签, QPoint(10, 10));
  press(f.本地编辑_设置按钮);
  press(f.本地编辑_完成);
  EXPECT_EQ(view.currentFrame().cacheKey(), decoded.cacheKey());
}

}  // namespace
