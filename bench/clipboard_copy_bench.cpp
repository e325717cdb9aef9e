// A left click on 图片框1 holding a photo-like JPEG of about 150 KB, from the press until the
// clipboard holds the image: the program's copy (the toolkit's decoder at full size, then the
// clipboard) against the same copy with Qt's own JPEG reader, in the same run, one after the
// other in every round (their order alternating), so that the load of a shared machine falls
// on both alike. Runs on any platform Qt is given (offscreen by default; xcb under Xvfb).
#include <QApplication>
#include <QBuffer>
#include <QClipboard>
#include <QImage>
#include <QMimeData>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench_support.h"
#include "shell/program.h"
#include "support/scripted_desktop.h"
#include "support/temp_folder.h"

namespace {

using mw::bench::interleaved;
using mw::bench::median;
using mw::bench::millisecondsSince;
using mw::bench::press;

constexpr int kRounds = 61;
constexpr qsizetype kTargetBytes = 150 * 1024;

// The photo-like picture with a little grain, saved at the highest quality that stays within
// the target size.
QByteArray photoJpeg() {
  QImage image = mw::bench::photoLikePicture(1280, 960);
  mw::bench::addGrain(image, 4);
  for (int quality = 95; quality > 5; --quality) {
    QByteArray data;
    QBuffer buffer(&data);
    buffer.open(QIODevice::WriteOnly);
    if (!image.save(&buffer, "JPG", quality)) std::abort();
    if (data.size() <= kTargetBytes) return data;
  }
  std::abort();
}

bool clipboardHoldsImage() {
  const QMimeData* data = QGuiApplication::clipboard()->mimeData();
  return data && data->hasImage();
}

}  // namespace

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication app(argc, argv);
  QClipboard* clipboard = QGuiApplication::clipboard();
  const QByteArray jpeg = photoJpeg();

  mw::test::ScriptedDesktop desk;
  mw::test::TempPlaces places;
  mw::shell::Program p([](std::string_view) { return mw::Bytes(); }, {}, desk, places);
  p.main.图片框1->setPicture(mw::Bytes(jpeg.constData(), std::size_t(jpeg.size())));

  std::vector<double> program, qtReader;
  auto clickCopy = [&] {
    clipboard->setText("x");
    const auto start = std::chrono::steady_clock::now();
    press(p.main.图片框1);
    const bool held = clipboardHoldsImage();
    program.push_back(millisecondsSince(start));
    if (!held) std::fprintf(stderr, "the click left no image on the clipboard\n");
  };
  auto qtCopy = [&] {
    clipboard->setText("x");
    const auto start = std::chrono::steady_clock::now();
    clipboard->setImage(QImage::fromData(jpeg, "JPG"));
    const bool held = clipboardHoldsImage();
    qtReader.push_back(millisecondsSince(start));
    if (!held) std::fprintf(stderr, "Qt's reader left no image on the clipboard\n");
  };
  interleaved(kRounds, clickCopy, qtCopy);

  const double a = median(program), b = median(qtReader);
  const QImage image = QImage::fromData(jpeg, "JPG");
  std::printf("click on 图片框1 until the clipboard holds the image (%s platform)\n",
              qPrintable(QGuiApplication::platformName()));
  std::printf("  picture: JPEG %d x %d, %lld bytes; median of %d rounds\n", image.width(), image.height(),
              static_cast<long long>(jpeg.size()), kRounds);
  std::printf("  program's copy (toolkit decoder) %7.2f ms\n", a);
  std::printf("  same copy with Qt's JPEG reader  %7.2f ms  (program / Qt %.2f)\n", b, a / b);
  return 0;
}
