// Four pages of heavy or hostile pictures, each shown in 图片框1..8 of the main window as the
// program fills a page (fillPictureBoxes: eight downloads from a loopback server), with the
// window's event pump installed as the program installs it:
//   1. eight GIFs of about 900 bytes, each 4 one-pixel frames on an 8192 x 8192 screen;
//   2. eight GIFs of 999 one-pixel frames on a 512 x 500 screen;
//   3. eight PNGs of about 65 KB declaring 16384 x 4096;
//   4. eight ordinary 500 x 500 GIFs of 200 frames (a ball crossing a patterned background);
//   5. eight animated WebPs whose header declares an 8192 x 8192 canvas;
//   6. eight animated WebPs of 2000 frames, each a pixel changed on 512 x 500;
//   7. eight AVIFs whose container declares 8192 x 8192;
//   8. eight ordinary 500 x 500 animated WebPs of 100 frames (a ball crossing a pattern).
// For each page: peak RSS (VmHWM), and the longest gap between two ticks of a 10 ms timer on
// the window's thread from the start of the load until 2 s after the handler returned. For
// page 4 also the CPU share and RSS while the pictures then animate for 10 s.
//
// Every page runs in a process of its own (this program again, with --page N DIR), so that
// each peak is that page's own; the parent makes the pictures and prints the table.
// Usage: picture_memory_bench [DIR] (DIR keeps the pictures made).
#include <gif_lib.h>
#include <httplib.h>
#include <png.h>

#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QPainter>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "browse/picture_slots.h"
#include "forms/main_form.h"
#include "net/listen_backlog.h"
#include "picture/picture_writers.h"
#include "resources/embedded_pictures.h"
#include "runtime/event_pump.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Page {
  const char* name;
  const char* extension;
  bool animate;
};
constexpr std::array<Page, 8> kPages{{
    {"8 GIFs, 4 frames on 8192 x 8192", "gif", false},
    {"8 GIFs, 999 one-pixel frames, 512 x 500", "gif", false},
    {"8 PNGs declaring 16384 x 4096", "png", false},
    {"8 GIFs 500 x 500, 200 frames", "gif", true},
    {"8 WebPs, 2 frames on 8192 x 8192", "webp", false},
    {"8 WebPs, 2000 one-pixel frames, 512 x 500", "webp", false},
    {"8 AVIFs declaring 8192 x 8192", "avif", false},
    {"8 WebPs 500 x 500, 100 frames", "webp", true},
}};

// ---- Making the pictures (parent process)

class GifOut {
 public:
  GifOut(int w, int h, const std::vector<GifColorType>& palette) {
    int error = 0;
    gif_ = EGifOpen(&bytes_, &GifOut::write, &error);
    if (!gif_) throw std::runtime_error("EGifOpen");
    ColorMapObject* map = GifMakeMapObject(int(palette.size()), palette.data());
    EGifSetGifVersion(gif_, true);
    const int status = EGifPutScreenDesc(gif_, w, h, 8, 0, map);
    GifFreeMapObject(map);
    check(status);
    // Loop forever.
    const GifByteType loop[] = {1, 0, 0};
    check(EGifPutExtensionLeader(gif_, APPLICATION_EXT_FUNC_CODE));
    check(EGifPutExtensionBlock(gif_, 11, "NETSCAPE2.0"));
    check(EGifPutExtensionBlock(gif_, 3, loop));
    check(EGifPutExtensionTrailer(gif_));
  }
  ~GifOut() {
    if (gif_) {
      int error = 0;
      EGifCloseFile(gif_, &error);
    }
  }
  void frame(int left, int top, int w, int h, const std::vector<GifPixelType>& indices, int delayCs,
             int disposal = DISPOSE_DO_NOT) {
    GraphicsControlBlock gcb{};
    gcb.DisposalMode = disposal;
    gcb.DelayTime = delayCs;
    gcb.TransparentColor = NO_TRANSPARENT_COLOR;
    GifByteType ext[4];
    const std::size_t n = EGifGCBToExtension(&gcb, ext);
    check(EGifPutExtension(gif_, GRAPHICS_EXT_FUNC_CODE, int(n), ext));
    check(EGifPutImageDesc(gif_, left, top, w, h, false, nullptr));
    std::vector<GifPixelType> row(static_cast<std::size_t>(w));
    for (int y = 0; y < h; ++y) {
      std::copy_n(indices.begin() + std::ptrdiff_t(y) * w, w, row.begin());
      check(EGifPutLine(gif_, row.data(), w));
    }
  }
  std::string finish() {
    int error = 0;
    if (EGifCloseFile(gif_, &error) == GIF_ERROR) throw std::runtime_error("EGifCloseFile");
    gif_ = nullptr;
    return bytes_;
  }

 private:
  static int write(GifFileType* gif, const GifByteType* data, int n) {
    static_cast<std::string*>(gif->UserData)->append(reinterpret_cast<const char*>(data), std::size_t(n));
    return n;
  }
  static void check(int status) {
    if (status == GIF_ERROR) throw std::runtime_error("giflib");
  }
  GifFileType* gif_ = nullptr;
  std::string bytes_;
};

std::vector<GifColorType> palette(int count, int variant) {
  std::vector<GifColorType> p(static_cast<std::size_t>(count));
  for (int i = 0; i < count; ++i)
    p[std::size_t(i)] = {GifByteType((i * 37 + variant * 29) & 0xFF), GifByteType((i * 91) & 0xFF),
                         GifByteType((i * 53 + variant * 71) & 0xFF)};
  return p;
}

std::string bigScreenGif(int variant) {
  GifOut gif(8192, 8192, palette(256, variant));
  for (int f = 0; f < 4; ++f) gif.frame(f * 100, f * 100, 1, 1, {GifPixelType(f + 1)}, 10);
  return gif.finish();
}

std::string manyFramesGif(int variant) {
  GifOut gif(512, 500, palette(256, variant));
  for (int f = 0; f < 999; ++f) gif.frame((f * 7) % 512, (f * 13) % 500, 1, 1, {GifPixelType(f % 256)}, 0);
  return gif.finish();
}

// Grey, 8 bits, all rows blank: libpng at its strongest compression gets the 64 Mi pixels
// into some 65 KB.
std::string tallPng(int variant) {
  std::string out;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png))) throw std::runtime_error("libpng");
  png_set_write_fn(
      png, &out,
      [](png_structp p, png_bytep data, png_size_t n) {
        static_cast<std::string*>(png_get_io_ptr(p))->append(reinterpret_cast<const char*>(data), n);
      },
      nullptr);
  png_set_compression_level(png, 9);
  png_set_IHDR(png, info, 16384, 4096, 8, PNG_COLOR_TYPE_GRAY, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  std::vector<png_byte> row(16384, png_byte(variant));
  for (int y = 0; y < 4096; ++y) png_write_row(png, row.data());
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  return out;
}

// A patterned background, then a 32-pixel ball crossing it: each later frame repaints only
// the rectangle around the ball's old and new places, as GIF optimisers write animations.
std::string ordinaryGif(int variant) {
  constexpr int kSize = 500, kBall = 32, kFrames = 200;
  auto background = [&](int x, int y) {
    return GifPixelType(((x / 10 + y / 10) % 2) * 16 + ((x * y / 97 + variant * 5) / 7) % 16);
  };
  auto ballAt = [&](int f) {
    const double t = f * 2 * M_PI / kFrames;
    return std::pair<int, int>{int(kSize / 2 - kBall / 2 + 200 * std::cos(t)),
                               int(kSize / 2 - kBall / 2 + 200 * std::sin(2 * t) / 2)};
  };
  auto pixel = [&](int x, int y, int f) {
    const auto [bx, by] = ballAt(f);
    const int dx = x - bx - kBall / 2, dy = y - by - kBall / 2;
    return dx * dx + dy * dy < kBall * kBall / 4 ? GifPixelType(32 + (f % 8)) : background(x, y);
  };
  GifOut gif(kSize, kSize, palette(64, variant));
  std::vector<GifPixelType> full(std::size_t(kSize) * kSize);
  for (int y = 0; y < kSize; ++y)
    for (int x = 0; x < kSize; ++x) full[std::size_t(y) * kSize + std::size_t(x)] = pixel(x, y, 0);
  gif.frame(0, 0, kSize, kSize, full, 10);
  for (int f = 1; f < kFrames; ++f) {
    const auto [ox, oy] = ballAt(f - 1);
    const auto [nx, ny] = ballAt(f);
    const int left = std::min(ox, nx), top = std::min(oy, ny);
    const int w = std::max(ox, nx) + kBall - left, h = std::max(oy, ny) + kBall - top;
    std::vector<GifPixelType> part(std::size_t(w) * std::size_t(h));
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x)
        part[std::size_t(y) * std::size_t(w) + std::size_t(x)] = pixel(left + x, top + y, f);
    gif.frame(left, top, w, h, part, 10);
  }
  return gif.finish();
}

QImage filled(int w, int h, int variant) {
  QImage image(w, h, QImage::Format_RGB32);
  image.fill(qRgb(variant * 30, 120, 255 - variant * 30));
  return image;
}

// Two 64 x 64 frames, with the canvas size in the VP8X chunk (24 bits each, less one, at
// bytes 24 and 27) made 8192 x 8192.
std::string bigCanvasWebp(int variant) {
  std::string webp = mw::picture::writeAnimatedWebp(
      {{filled(64, 64, variant), 100}, {filled(64, 64, variant + 1), 100}}, 0, -1);
  for (int i = 0; i < 3; ++i) webp[std::size_t(24 + i)] = webp[std::size_t(27 + i)] = char(8191 >> (8 * i));
  return webp;
}

std::string manyFramesWebp(int variant) {
  std::vector<mw::picture::WebpFrame> frames;
  QImage canvas = filled(512, 500, variant);
  for (int f = 0; f < 2000; ++f) {
    canvas.setPixel((f * 7) % 512, (f * 13) % 500, qRgb(f % 256, 0, 0));
    frames.push_back({canvas, 0});
  }
  return mw::picture::writeAnimatedWebp(frames, 0, -1);
}

// A 16 x 16 AVIF whose image spatial extents (the "ispe" box) say 8192 x 8192.
std::string bigAvif(int variant) {
  std::string avif = mw::picture::writeAvif(filled(16, 16, variant), 60);
  const std::size_t at = avif.find("ispe") + 8;
  for (std::size_t i = 0; i < 8; ++i) avif[at + i] = "\0\0\x20\0\0\0\x20\0"[i];
  return avif;
}

std::string ordinaryWebp(int variant) {
  QImage background(500, 500, QImage::Format_RGB32);
  for (int y = 0; y < 500; ++y)
    for (int x = 0; x < 500; ++x)
      background.setPixel(x, y, qRgb((x / 10 + y / 10) % 2 * 120 + variant * 10, (x * y / 97) % 200, 90));
  std::vector<mw::picture::WebpFrame> frames;
  for (int f = 0; f < 100; ++f) {
    QImage frame = background;
    QPainter p(&frame);
    p.setBrush(QColor(255, 220, 0));
    const double t = f * 2 * M_PI / 100;
    p.drawEllipse(QPointF(250 + 200 * std::cos(t), 250 + 100 * std::sin(2 * t)), 16, 16);
    p.end();
    frames.push_back({frame, 100});
  }
  return mw::picture::writeAnimatedWebp(frames, 0, 75);
}

std::string makePicture(int page, int variant) {
  switch (page) {
    case 8:
      return ordinaryWebp(variant);
    case 5:
      return bigCanvasWebp(variant);
    case 6:
      return manyFramesWebp(variant);
    case 7:
      return bigAvif(variant);
    case 1:
      return bigScreenGif(variant);
    case 2:
      return manyFramesGif(variant);
    case 3:
      return tallPng(variant);
    default:
      return ordinaryGif(variant);
  }
}

std::string pictureFile(const std::string& dir, int page, int k) {
  return dir + "/page" + std::to_string(page) + "_" + std::to_string(k) + "." +
         kPages[std::size_t(page - 1)].extension;
}

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

// ---- Measuring one page (child process)

long statusKb(const char* key) {
  std::ifstream in("/proc/self/status");
  std::string line;
  while (std::getline(in, line))
    if (line.rfind(key, 0) == 0) return std::atol(line.c_str() + std::string(key).size());
  return -1;
}

double processCpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

void runEventsFor(int ms) {
  QEventLoop loop;
  QTimer::singleShot(ms, &loop, &QEventLoop::quit);
  loop.exec();
}

// The longest gap between the ticks of a 10 ms timer: how long the window thread was held.
class GapWatch {
 public:
  GapWatch() {
    ticks_.setTimerType(Qt::PreciseTimer);
    QObject::connect(&ticks_, &QTimer::timeout, [this] {
      const auto now = Clock::now();
      if (lastTick_ != Clock::time_point{})
        longestMs_ = std::max(longestMs_, std::chrono::duration<double, std::milli>(now - lastTick_).count());
      lastTick_ = now;
    });
    ticks_.start(10);
  }
  void restartAt(Clock::time_point t) { lastTick_ = t; }
  void stop() { ticks_.stop(); }
  double longestMs() const { return longestMs_; }

 private:
  QTimer ticks_;
  Clock::time_point lastTick_{};
  double longestMs_ = 0;
};

// The CPU share and memory held while the animated pictures play on for ten seconds.
void printAnimationCost() {
  const double cpu = processCpuSeconds();
  const auto wall = Clock::now();
  runEventsFor(10000);
  const double share =
      (processCpuSeconds() - cpu) / std::chrono::duration<double>(Clock::now() - wall).count();
  std::printf(" cpu_pct=%.1f animated_held_mb=%.0f", share * 100, statusKb("VmRSS:") / 1024.0);
}

int runPage(int page, const std::string& dir, int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication app(argc, argv);
  // As the program installs it: waiting loads keep the window painting and its timers running.
  mw::runtime::setEventPump([] { QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents); });

  std::vector<std::string> pictures;
  for (int k = 0; k < 8; ++k) pictures.push_back(readFile(pictureFile(dir, page, k)));
  httplib::Server server;
  server.Get(R"(/pic/(\d+))", [&](const httplib::Request& req, httplib::Response& res) {
    res.set_content(pictures[std::size_t(std::stoi(req.matches[1]))], "application/octet-stream");
  });
  const int port = server.bind_to_any_port("127.0.0.1");
  std::thread listener([&] { server.listen_after_bind(); });
  while (!server.is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  mw::net::widenListenBacklog(port);
  mw::TextArray urls;
  for (int k = 0; k < 8; ++k)
    urls.push_back("http://127.0.0.1:" + std::to_string(port) + "/pic/" + std::to_string(k));

  mw::forms::MainForm form(mw::resources::picture);
  form.选择夹1->setCurrentPage(0);
  form.主窗口->show();
  runEventsFor(300);

  GapWatch gaps;
  const auto start = Clock::now();
  gaps.restartAt(start);
  mw::browse::fillPictureBoxes({form.图片框1, form.图片框2, form.图片框3, form.图片框4, form.图片框5,
                                form.图片框6, form.图片框7, form.图片框8},
                               urls, 1);
  const double handlerMs = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
  runEventsFor(2000);
  gaps.stop();
  int shown = 0;
  for (int k = 1; k <= 8; ++k) shown += form.slot(k)->pictureView().shown();
  const long peakKb = statusKb("VmHWM:");
  std::printf("peak_mb=%.0f gap_ms=%.0f handler_ms=%.0f shown=%d held_mb=%.0f", peakKb / 1024.0,
              gaps.longestMs(), handlerMs, shown, statusKb("VmRSS:") / 1024.0);

  server.stop();
  listener.join();
  if (kPages[std::size_t(page - 1)].animate) printAnimationCost();
  std::printf("\n");
  return 0;
}

// ---- The table (parent process)

std::string field(const std::string& line, const std::string& key) {
  const std::size_t at = line.find(key + "=");
  if (at == std::string::npos) return "?";
  const std::size_t from = at + key.size() + 1;
  return line.substr(from, line.find_first_of(" \n", from) - from);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 4 && std::string(argv[1]) == "--page") return runPage(std::atoi(argv[2]), argv[3], argc, argv);

  // The pictures go to a temporary folder, or to the one named, where they are kept.
  QTemporaryDir temporary;
  const std::string path = argc >= 2 ? argv[1] : temporary.path().toStdString();
  if (argc >= 2 ? !QDir().mkpath(QString::fromStdString(path)) : !temporary.isValid()) return 1;
  std::printf("%-42s %11s\n", "page", "mean file");
  for (int page = 1; page <= int(kPages.size()); ++page) {
    std::size_t size = 0;
    for (int k = 0; k < 8; ++k) {
      const std::string bytes = makePicture(page, k);
      size += bytes.size();
      std::ofstream(pictureFile(path, page, k), std::ios::binary) << bytes;
    }
    std::printf("%-42s %8.1f KB\n", kPages[std::size_t(page - 1)].name, size / 8 / 1024.0);
  }

  std::printf("\n%-42s %10s %12s %12s %6s\n", "page", "peak RSS", "longest gap", "handler", "shown");
  bool met = true;
  for (int page = 1; page <= int(kPages.size()); ++page) {
    std::string command = "'";  // appended piece by piece: GCC 12 warns wrongly on one long sum
    command.append(argv[0])
        .append("' --page ")
        .append(std::to_string(page))
        .append(" '")
        .append(path)
        .append("'");
    FILE* child = popen(command.c_str(), "r");
    std::string line;
    char buffer[512];
    while (child && std::fgets(buffer, sizeof buffer, child)) line += buffer;
    const int status = child ? pclose(child) : -1;
    if (status != 0) {
      std::printf("%-42s child failed (status %d)\n", kPages[std::size_t(page - 1)].name, status);
      met = false;
      continue;
    }
    std::printf("%-42s %7s MB %9s ms %9s ms %4s/8\n", kPages[std::size_t(page - 1)].name,
                field(line, "peak_mb").c_str(), field(line, "gap_ms").c_str(),
                field(line, "handler_ms").c_str(), field(line, "shown").c_str());
    met = met && std::atof(field(line, "peak_mb").c_str()) <= 350 &&
          std::atof(field(line, "gap_ms").c_str()) <= 50;
    if (kPages[std::size_t(page - 1)].animate) {
      std::printf("%-42s %s%% of one core over 10 s, %s MB held\n",
                  "  then animating:", field(line, "cpu_pct").c_str(),
                  field(line, "animated_held_mb").c_str());
      met = met && std::atof(field(line, "cpu_pct").c_str()) <= 5 &&
            std::atof(field(line, "animated_held_mb").c_str()) <= 150;
    }
  }
  std::printf("\ngoals: peak <= 350 MB, gap <= 50 ms, animation <= 5%% of one core and <= 150 MB held: %s\n",
              met ? "met" : "NOT MET");
  return 0;
}
