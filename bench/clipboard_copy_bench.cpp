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
#include <QMouseEvent>
#include <QPainter>
#include <QRadialGradient>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "shell/program.h"
#include "support/scripted_desktop.h"

namespace {

constexpr int kRounds = 61;
constexpr qsizetype kTargetBytes = 150 * 1024;

// Soft coloured blobs over a gradient with a little grain, saved at the highest quality that
// stays within the target size.
QByteArray photoJpeg() {
  QImage image(1280, 960, QImage::Format_RGB32);
  QPainter p(&image);
  QLinearGradient sky(0, 0, 0, image.height());
  sky.setColorAt(0, QColor(40, 90, 170));
  sky.setColorAt(1, QColor(250, 200, 140));
  p.fillRect(image.rect(), sky);
  p.setRenderHint(QPainter::Antialiasing);
  std::mt19937 rng(11);
  for (int i = 0; i < 80; ++i) {
    QRadialGradient g(rng() % 1280, rng() % 960, 30 + rng() % 200);
    g.setColorAt(0, QColor(rng() % 256, rng() % 256, rng() % 256, 220));
    g.setColorAt(1, QColor(0, 0, 0, 0));
    p.fillRect(image.rect(), g);
  }
  p.end();
  for (int y = 0; y < image.height(); ++y) {
    auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
    for (int x = 0; x < image.width(); ++x) {
      const int n = int(rng() % 9) - 4;
      const QRgb c = line[x];
      line[x] = qRgb(std::clamp(qRed(c) + n, 0, 255), std::clamp(qGreen(c) + n, 0, 255),
                     std::clamp(qBlue(c) + n, 0, 255));
    }
  }
  for (int quality = 95; quality > 5; --quality) {
    QByteArray data;
    QBuffer buffer(&data);
    buffer.open(QIODevice::WriteOnly);
    if (!image.save(&buffer, "JPG", quality)) std::abort();
    if (data.size() <= kTargetBytes) return data;
  }
  std::abort();
}

double millisecondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

// The press, delivered as the window would deliver it.
void press(QWidget* w) {
  QMouseEvent e(QEvent::MouseButtonPress, QPointF(5, 5), w->mapToGlobal(QPointF(5, 5)), Qt::LeftButton,
                Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(w, &e);
  QMouseEvent up(QEvent::MouseButtonRelease, QPointF(5, 5), w->mapToGlobal(QPointF(5, 5)), Qt::LeftButton,
                 Qt::NoButton, Qt::NoModifier);
  QCoreApplication::sendEvent(w, &up);
}

bool clipboardHoldsImage() {
  const QMimeData* data = QGuiApplication::clipboard()->mimeData();
  return data && data->hasImage();
}

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication app(argc, argv);
  QClipboard* clipboard = QGuiApplication::clipboard();
  const QByteArray jpeg = photoJpeg();

  mw::test::ScriptedDesktop desk;
  mw::shell::Program p([](std::string_view) { return mw::Bytes(); }, {}, desk);
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
  for (int round = 0; round < kRounds; ++round) {
    if (round % 2 == 0) {
      clickCopy();
      qtCopy();
    } else {
      qtCopy();
      clickCopy();
    }
  }

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
