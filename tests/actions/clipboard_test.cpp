#include "actions/clipboard.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QApplication>
#include <QBuffer>
#include <QClipboard>
#include <QCursor>
#include <QDrag>
#include <QImageReader>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QTest>
#include <QUrl>
#include <atomic>
#include <filesystem>
#include <fstream>

#include "net/http_server.h"
#include "picture/picture_decoder.h"
#include "picture/picture_writers.h"
#include "platform/clipboard.h"
#include "runtime/files.h"
#include "support/handler_parts.h"
#include "support/test_pictures.h"
#include "toolkit/pointer.h"

using namespace mw;
using mw::test::HttpServer;
namespace fs = std::filesystem;

namespace {

// Larger than twice a box, so that the box shows it decoded smaller than the copy's full size.
QImage gradientPicture() {
  QImage image(400, 380, QImage::Format_RGB32);
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x) image.setPixel(x, y, qRgb(x % 256, y % 256, (x * y) % 256));
  return image;
}

QImage argb(const QImage& image) { return image.convertToFormat(QImage::Format_ARGB32); }

QImage decoded(const Bytes& bytes) { return picture::decodePicture(bytes).image; }

QStringList sortedFormats(const QMimeData* data) {
  QStringList formats = data->formats();
  formats.sort();
  return formats;
}

// A server answering every path with `body`, counting the requests.
struct PictureServer {
  explicit PictureServer(std::string body)
      : body_(std::move(body)), server([this](httplib::Server& s) {
          s.Get(".*", [this](const httplib::Request&, httplib::Response& r) {
            ++hits;
            r.set_content(body_, "image/gif");
          });
        }) {}
  std::string url(const std::string& path) const { return server.url(path); }
  std::string body_;
  std::atomic<int> hits{0};
  HttpServer server;
};

struct Copying : ::testing::Test {
  test::HandlerParts parts;
  forms::HandlerRegistry registry{parts.context};
  forms::MainForm& f = parts.main;
  QClipboard* clipboard = QGuiApplication::clipboard();

  void SetUp() override {
    actions::bindClipboard(registry);
    parts.state.search.searchShownUrls = TextArray(8);
    clipboard->setText("before");
  }
  void TearDown() override { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

  void click(int k) {
    QTest::mousePress(f.slot(k), Qt::LeftButton, {}, QPoint(5, 5));
    QTest::mouseRelease(f.slot(k), Qt::LeftButton, {}, QPoint(5, 5));
  }
  Text tip() const { return f.气球提示框1->text(); }
  bool clipboardAsBefore() const {
    return clipboard->text() == "before" && !clipboard->mimeData()->hasImage();
  }

  // Presses on box k and moves `distance` pixels with the button held; the drag that started.
  QDrag* pressAndMove(int k, int distance) {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);  // earlier drags
    QWidget* box = f.slot(k);
    QTest::mousePress(box, Qt::LeftButton, {}, QPoint(5, 5));
    const QPointF to(5 + distance, 5);
    QMouseEvent move(QEvent::MouseMove, to, box->mapToGlobal(to), Qt::NoButton, Qt::LeftButton,
                     Qt::NoModifier);
    QApplication::sendEvent(box, &move);
    QTest::mouseRelease(box, Qt::LeftButton, {}, to.toPoint());
    return box->findChild<QDrag*>();
  }
};

TEST_F(Copying, JpegAndPngSlotsPlaceTheirPictureDecodedInFull) {
  QCursor::setPos(300, 200);
  const QImage picture = gradientPicture();
  for (const char* format : {"JPG", "PNG"}) {
    SCOPED_TRACE(format);
    const Bytes bytes = test::encode(picture, format, 90);
    f.图片框2->setPicture(bytes);
    parts.state.search.searchShownUrls[1] = "http://127.0.0.1:1/a.jpg";
    clipboard->setText("before");
    click(2);
    ASSERT_TRUE(clipboard->mimeData()->hasImage());
    EXPECT_EQ(clipboard->image().size(), picture.size());
    EXPECT_EQ(argb(clipboard->image()), argb(decoded(bytes)));
    EXPECT_EQ(tip(), actions::kCopiedTip);
    EXPECT_EQ(f.气球提示框1->point(), QCursor::pos());
  }
  EXPECT_EQ(tip(), "已复制本图片，粘贴到聊天框即可使用"_gbk);
}

// Over the window the tip opens at the pointer; a press by the keyboard with the pointer
// elsewhere puts it at the control pressed (on Wayland the pointer's place is not known then).
TEST_F(Copying, TheTipOpensAtThePointerOverTheWindowElseAtTheControlPressed) {
  f.主窗口->move(40, 30);
  f.主窗口->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(f.主窗口));
  f.图片框2->setPicture(test::encode(gradientPicture(), "PNG", 90));
  parts.state.search.searchShownUrls[1] = "http://127.0.0.1:1/a.png";
  const auto pressByKey = [&] {
    f.气球提示框1->hideNow();
    f.图片框2->setFocus();
    QTest::keyClick(f.图片框2, Qt::Key_Space);
    return QTest::qWaitFor([&] { return f.气球提示框1->phase() != toolkit::BalloonTip::Phase::Idle; }, 1000);
  };

  QCursor::setPos(f.主窗口->geometry().bottomRight() + QPoint(60, 40));
  ASSERT_TRUE(pressByKey());
  EXPECT_EQ(f.气球提示框1->point(), f.图片框2->mapToGlobal(f.图片框2->rect().center()));

  const QPoint over = f.主窗口->mapToGlobal(QPoint(300, 420));
  QCursor::setPos(over);
  ASSERT_TRUE(QTest::qWaitFor([&] { return toolkit::pointerOver(f.主窗口).has_value(); }, 1000));
  ASSERT_TRUE(pressByKey());
  EXPECT_EQ(f.气球提示框1->point(), over);
  f.主窗口->hide();
}

TEST_F(Copying, AnEmptyBoxOrUndecodableBytesLeaveTheClipboardAsItWas) {
  click(5);
  EXPECT_EQ(tip(), "无图片数据"_gbk);
  EXPECT_TRUE(clipboardAsBefore());

  f.图片框5->setPicture("no picture at all");
  click(5);
  EXPECT_EQ(tip(), "图片数据无法识别，未能复制"_gbk);
  EXPECT_TRUE(clipboardAsBefore());
  EXPECT_FALSE(actions::copyPictureToClipboard(parts.context, "\x89PNG\r\n\x1a\n then garbage"));
  EXPECT_FALSE(actions::copyPictureToClipboard(parts.context, {}));
  EXPECT_TRUE(clipboardAsBefore());
}

TEST_F(Copying, AGifIsPlacedAsAFileOfItsOwnNeverRewrittenAndInlineForWebPages) {
  const std::string served = test::animatedGif(20, 10, {Qt::red, Qt::green, Qt::blue}, 5);
  const std::string shown = test::animatedGif(20, 10, {Qt::yellow}, 5);
  PictureServer site(served);
  f.图片框3->setPicture(shown);
  parts.state.search.searchShownUrls[2] = site.url("/pics/a.gif");
  click(3);
  EXPECT_EQ(site.hits, 1);
  EXPECT_EQ(tip(), actions::kCopiedTip);

  const QMimeData* data = clipboard->mimeData();
  EXPECT_EQ(sortedFormats(data),
            (QStringList{"image/gif", "text/html", "text/uri-list", "x-special/gnome-copied-files"}));
  EXPECT_FALSE(data->hasImage()) << "a still beside the GIF would be pasted instead";
  EXPECT_EQ(data->data("image/gif").toStdString(), served);
  ASSERT_EQ(data->urls().size(), 1);
  const QUrl url = data->urls().front();
  const fs::path file = url.toLocalFile().toStdString();
  EXPECT_EQ(file.extension(), ".gif");
  EXPECT_EQ(runtime::readFile(runtime::pathText(file.string())).value(), served);
  for (const fs::path& folder : {file.parent_path(), file.parent_path().parent_path()}) {
    struct stat st {};
    ASSERT_EQ(::stat(folder.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u) << folder;
  }
  EXPECT_EQ(data->data("x-special/gnome-copied-files"), "copy\n" + url.toEncoded());
  EXPECT_EQ(data->html(),
            "<img src=\"data:image/gif;base64," + QByteArray::fromStdString(served).toBase64() + "\">");
  const auto stamp = fs::last_write_time(file);

  // A failed download: the box's own GIF, in a file of its own; the first stays as it was.
  parts.state.search.searchShownUrls[2] = "http://127.0.0.1:1/pics/a.gif";
  click(3);
  EXPECT_EQ(tip(), actions::kCopiedTip);
  EXPECT_EQ(clipboard->mimeData()->data("image/gif").toStdString(), shown);
  const QUrl other = clipboard->mimeData()->urls().value(0);
  EXPECT_NE(other, url);
  EXPECT_EQ(runtime::readFile(runtime::pathText(other.toLocalFile().toStdString())), shown);
  EXPECT_EQ(runtime::readFile(runtime::pathText(file.string())), served);

  // The first picture again: its file, not even touched.
  parts.state.search.searchShownUrls[2] = site.url("/pics/a.gif");
  click(3);
  EXPECT_EQ(clipboard->mimeData()->urls().value(0), url);
  EXPECT_EQ(fs::last_write_time(file), stamp);

  // A file that cannot be written: the failure tip, and the clipboard as it was.
  const fs::path runFolder = file.parent_path();
  fs::remove_all(runFolder);
  std::ofstream(runFolder) << "in the way";
  clipboard->setText("before");
  click(3);
  EXPECT_EQ(tip(), actions::kCopyFailedTip);
  EXPECT_TRUE(clipboardAsBefore());

  // Up to 8 MiB a GIF is offered inline to web pages as well; past that the HTML would be too big.
  for (const std::size_t size : {platform::kInlinePictureBytes, platform::kInlinePictureBytes + 1}) {
    const std::string big =
        served.substr(0, served.size() - 1) + std::string(size - served.size(), '\0') + ";";
    EXPECT_EQ(platform::pictureFileData("/tmp/big.gif", big)->hasHtml(),
              size <= platform::kInlinePictureBytes);
  }
}

TEST_F(Copying, AGifAddressThatAnswersNoGifIsNeverOfferedAsOne) {
  const std::string page = "<html><body><h1>404 Not Found</h1></body></html>";
  HttpServer site([&](httplib::Server& s) {
    s.Get("/gone.gif", [&](const httplib::Request&, httplib::Response& r) {
      r.status = 404;
      r.set_content(page, "text/html");
    });
    s.Get("/page.gif",
          [&](const httplib::Request&, httplib::Response& r) { r.set_content(page, "text/html"); });
  });
  const std::string shown = test::animatedGif(20, 10, {Qt::yellow}, 5);
  const Bytes jpeg = test::encode(gradientPicture(), "JPG", 90);
  for (const char* path : {"/gone.gif", "/page.gif"}) {
    SCOPED_TRACE(path);
    parts.state.search.searchShownUrls[2] = site.url(path);
    f.图片框3->setPicture(shown);
    clipboard->setText("before");
    click(3);
    EXPECT_EQ(tip(), actions::kCopiedTip);
    EXPECT_EQ(clipboard->mimeData()->data("image/gif").toStdString(), shown);
    const QUrl scratch = clipboard->mimeData()->urls().value(0);
    EXPECT_EQ(runtime::readFile(runtime::pathText(scratch.toLocalFile().toStdString())), shown);

    // Neither the answer nor the box holds a GIF: nothing is offered, by copy or by drag.
    for (const Bytes& box : {jpeg, Bytes(page)}) {
      f.图片框3->setPicture(box);
      clipboard->setText("before");
      click(3);
      EXPECT_EQ(tip(), actions::kCopyFailedTip);
      EXPECT_TRUE(clipboardAsBefore());
      EXPECT_EQ(runtime::readFile(runtime::pathText(scratch.toLocalFile().toStdString())), shown);
      EXPECT_EQ(actions::pictureDragData(parts.context, 3), nullptr);
    }
  }
}

TEST_F(Copying, AnAnimationKeepsMovingBehindAnyAddressAStillGifBehindOneIsCopiedAsAStill) {
  const std::string animated = test::animatedGif(20, 10, {Qt::red, Qt::green}, 5);
  const std::string still = test::animatedGif(20, 10, {Qt::blue}, 5);
  PictureServer site(test::animatedGif(20, 10, {Qt::black, Qt::white}, 5));
  for (const char* path : {"/pics/b.GIF", "/pics/c.gif?x=1"}) {
    SCOPED_TRACE(path);
    parts.state.search.searchShownUrls[3] = site.url(path);
    f.图片框4->setPicture(animated);
    clipboard->setText("before");
    click(4);
    EXPECT_EQ(clipboard->mimeData()->data("image/gif").toStdString(), animated) << "the box's GIF";
    EXPECT_FALSE(clipboard->mimeData()->hasImage());
    EXPECT_EQ(tip(), actions::kCopiedTip);

    f.图片框4->setPicture(still);
    click(4);
    ASSERT_TRUE(clipboard->mimeData()->hasImage());
    EXPECT_FALSE(clipboard->mimeData()->hasUrls());
    EXPECT_EQ(argb(clipboard->image()), argb(decoded(still)));
  }
  // Behind a "gif" address an animation is downloaded again too; the box's serves when that fails.
  EXPECT_EQ(site.hits, 0);
  parts.state.search.searchShownUrls[3] = site.url("/pics/d.gif");
  f.图片框4->setPicture(animated);
  click(4);
  EXPECT_EQ(site.hits, 1);
  EXPECT_EQ(clipboard->mimeData()->data("image/gif").toStdString(), site.body_);
  parts.state.search.searchShownUrls[3] = "http://127.0.0.1:1/pics/d.gif";
  click(4);
  EXPECT_EQ(clipboard->mimeData()->data("image/gif").toStdString(), animated);
}

TEST_F(Copying, AnAnimatedWebpIsCopiedAndDraggedAsAGifOfItsFramesTimesAndLoops) {
  std::vector<picture::WebpFrame> frames;
  for (const int ms : {70, 120, 250}) {
    QImage image(40, 30, QImage::Format_RGBA8888);
    image.fill(Qt::transparent);
    QPainter(&image).fillRect(ms / 10, 5, 12, 12, ms == 120 ? Qt::red : Qt::blue);
    frames.push_back({image, ms});
  }
  const std::string webp = picture::writeAnimatedWebp(frames, 3, -1);
  f.图片框2->setPicture(webp);
  parts.state.search.searchShownUrls[1] = "http://127.0.0.1:1/pics/a.webp";
  click(2);
  EXPECT_EQ(tip(), actions::kCopiedTip);
  const QMimeData* data = clipboard->mimeData();
  EXPECT_EQ(sortedFormats(data),
            (QStringList{"image/gif", "text/html", "text/uri-list", "x-special/gnome-copied-files"}));
  QByteArray gif = data->data("image/gif");
  EXPECT_EQ(runtime::readFile(runtime::pathText(data->urls().value(0).toLocalFile().toStdString())),
            gif.toStdString());
  QBuffer buffer(&gif);
  QImageReader reader(&buffer, "gif");
  EXPECT_EQ(reader.loopCount(), 2) << "three plays";
  for (const picture::WebpFrame& frame : frames) {
    EXPECT_FALSE(reader.read().isNull());
    EXPECT_EQ(reader.nextImageDelay(), frame.durationMs);
  }
  EXPECT_FALSE(reader.canRead());
  const std::unique_ptr<QMimeData> dragged = actions::pictureDragData(parts.context, 2);
  ASSERT_NE(dragged, nullptr);
  EXPECT_EQ(dragged->data("image/gif"), data->data("image/gif"));

  // Cut short, it cannot be converted: nothing is placed, and the tip says so.
  clipboard->setText("before");
  f.图片框2->setPicture(webp.substr(0, webp.size() * 2 / 3));
  click(2);
  EXPECT_EQ(tip(), actions::kCopyFailedTip);
  EXPECT_TRUE(clipboardAsBefore());
  EXPECT_EQ(actions::pictureDragData(parts.context, 2), nullptr);
}

TEST_F(Copying, PressAndMoveDragsWhatTheCopyPlaced) {
  const int distance = QApplication::startDragDistance();
  const Bytes jpeg = test::encode(gradientPicture(), "JPG", 90);
  f.图片框1->setPicture(jpeg);
  const auto pressesOfBox1 = [&] { return registry.runs(f.图片框1, toolkit::Event::LeftDown); };
  EXPECT_EQ(pressAndMove(1, distance), nullptr) << "not beyond the drag distance";
  EXPECT_EQ(pressesOfBox1(), 1u);

  QDrag* drag = pressAndMove(1, distance + 1);
  EXPECT_EQ(pressesOfBox1(), 2u) << "the press ran its handler once";
  ASSERT_NE(drag, nullptr);
  const QMimeData* data = drag->mimeData();
  EXPECT_EQ(sortedFormats(data), (QStringList{"image/png", "text/uri-list"}));
  EXPECT_EQ(argb(QImage::fromData(data->data("image/png"), "PNG")), argb(clipboard->image()));
  ASSERT_EQ(data->urls().size(), 1);
  EXPECT_EQ(runtime::readFile(runtime::pathText(data->urls()[0].toLocalFile().toStdString())).value(),
            data->data("image/png").toStdString());

  // A GIF road box drags the GIF road's forms.
  const std::string gif = test::animatedGif(20, 10, {Qt::red, Qt::green}, 5);
  PictureServer site(gif);
  f.图片框6->setPicture(gif);
  parts.state.search.searchShownUrls[5] = site.url("/a.gif");
  drag = pressAndMove(6, distance + 5);
  ASSERT_NE(drag, nullptr);
  const QMimeData* copied = clipboard->mimeData();
  EXPECT_EQ(sortedFormats(drag->mimeData()), sortedFormats(copied));
  EXPECT_FALSE(drag->mimeData()->hasImage());
  EXPECT_EQ(drag->mimeData()->data("image/gif"), copied->data("image/gif"));
  EXPECT_EQ(
      runtime::readFile(runtime::pathText(drag->mimeData()->urls().value(0).toLocalFile().toStdString())),
      gif);

  // A template box (its press is not the copy's) drags its PNG as it is; an empty box nothing.
  const Bytes png = test::encode(gradientPicture(), "PNG");
  f.图片框12->setPicture(png);
  drag = pressAndMove(12, distance + 1);
  ASSERT_NE(drag, nullptr);
  EXPECT_EQ(drag->mimeData()->data("image/png").toStdString(), png);
  EXPECT_EQ(pressAndMove(13, distance + 1), nullptr);
}

}  // namespace
