// The local editor on a 4000 x 3000 photo-like JPEG of a few MB: opening it (打开文件, the file
// chosen in the dialog) and one zoom step (图片缩小), each until the picture box has drawn the
// picture at its new size. The program's way (the picture decoded for the size it is shown at,
// with libjpeg's DCT scaling) against the same two steps done with a full decode followed by
// scaling to the shown size, in the same run, one after the other in every round (their order
// alternating), so that the load of a shared machine falls on both alike. Besides the time on
// the clock it prints the processor time of the whole process (all threads), which a busy
// machine inflates far less.
#include <QApplication>
#include <QBuffer>
#include <QPixmap>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <vector>

#include "bench_support.h"
#include "picture/picture.h"
#include "picture/picture_decoder.h"
#include "runtime/files.h"
#include "shell/program.h"
#include "support/scripted_desktop.h"
#include "support/temp_folder.h"

namespace {

using mw::bench::interleaved;
using mw::bench::median;
using mw::bench::millisecondsSince;
using mw::bench::press;

constexpr int kRounds = 31;

double processCpuMs() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

// Clock and processor time of `work`, appended to the two lists.
template <typename Work>
void timed(std::vector<double>& clock, std::vector<double>& cpu, Work work) {
  const double cpuStart = processCpuMs();
  const auto start = std::chrono::steady_clock::now();
  work();
  clock.push_back(millisecondsSince(start));
  cpu.push_back(processCpuMs() - cpuStart);
}

// The photo-like picture with the grain of a camera, so that it weighs what a photo weighs.
QByteArray photoJpeg() {
  QImage image = mw::bench::photoLikePicture(4000, 3000);
  mw::bench::addGrain(image, 6);
  QByteArray data;
  QBuffer buffer(&data);
  buffer.open(QIODevice::WriteOnly);
  if (!image.save(&buffer, "JPG", 90)) std::abort();
  return data;
}

// Has the box draw its picture once the decoding threads have made it for the box's size. (The
// window is not shown: the first drawing delivers the resize a shown window gets at once.)
void drawnWhenDecoded(mw::toolkit::PictureBox* box) {
  box->grab();
  while (box->pictureView().decoding()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  box->grab();
}

// A full decode of the file, scaled to the client area of a box of `box` size (border 1).
QImage fullDecodeScaled(const mw::Text& path, QSize box) {
  const mw::Bytes bytes = mw::runtime::readFile(path).value_or(mw::Bytes());
  const mw::picture::DecodedPicture decoded = mw::picture::decodePicture(bytes);
  if (!decoded.ok()) std::abort();
  return mw::picture::scaledForDisplay(decoded.image, box - QSize(2, 2));
}

// What the rounds measured: wall and processor times, and the sizes the box went through.
struct Figures {
  std::vector<double> program, programCpu, fullDecode, fullDecodeCpu, opening, zoomFirstDrawn, zoomDecoded;
  QSize openedAt, zoomedAt, decodedAt;
};

void printFigures(const Figures& r, long long jpegBytes) {
  const double a = median(r.program), b = median(r.fullDecode);
  const double ac = median(r.programCpu), bc = median(r.fullDecodeCpu);
  std::printf("local editor: open a picture, then one zoom step, each until the box has drawn it\n");
  std::printf(
      "  picture: JPEG 4000 x 3000, %lld bytes; shown at %d x %d, then %d x %d; median of %d rounds\n",
      jpegBytes, r.openedAt.width(), r.openedAt.height(), r.zoomedAt.width(), r.zoomedAt.height(), kRounds);
  std::printf("  program (decoded for the shown size, %d x %d)  %7.2f ms  (processor %7.2f ms)\n",
              r.decodedAt.width(), r.decodedAt.height(), a, ac);
  std::printf("  full decode, then scaling                      %7.2f ms  (processor %7.2f ms)\n", b, bc);
  std::printf("  program / full decode: %.2f\n", a / b);
  std::printf(
      "  of the program's: opening %.2f ms; the zoom step drawn at its new size after %.2f ms, from\n"
      "  the picture held, and its own decode for that size drawn after %.2f ms\n",
      median(r.opening), median(r.zoomFirstDrawn), median(r.zoomDecoded));
}

}  // namespace

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication app(argc, argv);
  const QByteArray jpeg = photoJpeg();
  mw::test::TempPlaces places;
  const mw::Text path = places.folder.text("photo.jpg");
  if (!mw::runtime::writeFile(path, std::string_view(jpeg.constData(), std::size_t(jpeg.size()))))
    std::abort();

  mw::test::ScriptedDesktop desk;
  mw::shell::Program p([](std::string_view) { return mw::Bytes(); }, {}, desk, places);
  auto& f = p.main;
  f.showPage(mw::forms::Page::Local);

  Figures r;
  auto openAndZoom = [&] {
    desk.files.push_back(path);
    timed(r.program, r.programCpu, [&] {
      const auto start = std::chrono::steady_clock::now();
      press(f.本地编辑_打开文件);
      drawnWhenDecoded(f.本地编辑_图片框);
      r.opening.push_back(millisecondsSince(start));
      r.openedAt = f.本地编辑_图片框->size();
      const auto zoomStart = std::chrono::steady_clock::now();
      press(f.图片缩小);
      f.本地编辑_图片框->grab();  // the picture held, drawn at the new size until its decode arrives
      r.zoomFirstDrawn.push_back(millisecondsSince(zoomStart));
      drawnWhenDecoded(f.本地编辑_图片框);
      r.zoomDecoded.push_back(millisecondsSince(zoomStart));
    });
    r.zoomedAt = f.本地编辑_图片框->size();
    r.decodedAt = f.本地编辑_图片框->pictureView().currentFrame().size();
    if (!f.本地编辑_图片框->pictureView().shown()) std::fprintf(stderr, "the box shows no picture\n");
  };
  auto decodeInFull = [&] {
    timed(r.fullDecode, r.fullDecodeCpu, [&] {
      if (fullDecodeScaled(path, QSize(400, 300)).isNull() ||
          fullDecodeScaled(path, QSize(386, 290)).isNull())
        std::abort();
    });
  };
  interleaved(kRounds, openAndZoom, decodeInFull);
  printFigures(r, static_cast<long long>(jpeg.size()));
  return 0;
}
