// A left click on 图片框1 copying a GIF of about 2 MB, from the press until the clipboard says it
// holds it, against writing the GIF's file alone into the same folder, in the same run, their order
// turning every round. A different GIF every time, as when a user copies one picture after
// another, so that every copy writes its file. Two copies are timed: an animation in the box,
// copied as the box holds it whatever its address, and a box holding a one-frame GIF behind an
// address ending in "gif", whose copy downloads the GIF again from a server on 127.0.0.1 (timed
// alone as well).
// Then lists the folder of the copies.
//
// Usage: gif_copy_bench [ROUNDS]   (default 31; 15 rounds make 30 copies)
// The private folder is a fresh one in /dev/shm (a memory file system, as $XDG_RUNTIME_DIR is)
// when there is one. Runs on any platform Qt is given (offscreen by default; xcb under Xvfb).
#include <gif_lib.h>
#include <httplib.h>
#include <stdlib.h>

#include <QApplication>
#include <QClipboard>
#include <QMimeData>
#include <atomic>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "bench_support.h"
#include "net/fetch_page.h"
#include "runtime/files.h"
#include "shell/program.h"
#include "support/scripted_desktop.h"
#include "support/temp_folder.h"

namespace {

namespace fs = std::filesystem;
using mw::bench::median;
using mw::bench::millisecondsSince;
using mw::bench::press;

// Frames of noise in 256 colours until the GIF passes `bytes`.
std::string noiseGif(int width, int height, std::size_t bytes) {
  std::string out;
  auto write = [](GifFileType* gif, const GifByteType* data, int n) {
    static_cast<std::string*>(gif->UserData)->append(reinterpret_cast<const char*>(data), std::size_t(n));
    return n;
  };
  int error = 0;
  GifFileType* gif = EGifOpen(&out, write, &error);
  std::vector<GifColorType> palette(256);
  for (int i = 0; i < 256; ++i) palette[i] = {GifByteType(i), GifByteType(255 - i), GifByteType(i * 7)};
  ColorMapObject* map = GifMakeMapObject(256, palette.data());
  EGifSetGifVersion(gif, true);
  EGifPutScreenDesc(gif, width, height, 8, 0, map);
  std::mt19937 rng(5);
  std::vector<GifPixelType> row(std::size_t(width), 0);
  do {
    GraphicsControlBlock gcb{};
    gcb.DelayTime = 10;
    gcb.TransparentColor = NO_TRANSPARENT_COLOR;
    GifByteType ext[4];
    EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, int(EGifGCBToExtension(&gcb, ext)), ext);
    EGifPutImageDesc(gif, 0, 0, width, height, false, nullptr);
    for (int y = 0; y < height; ++y) {
      for (auto& p : row) p = GifPixelType(rng() % 256);
      EGifPutLine(gif, row.data(), width);
    }
  } while (out.size() < bytes);
  EGifCloseFile(gif, &error);
  GifFreeMapObject(map);
  return out;
}

// The GIF with a comment naming `n` before its trailer: another picture of the same size.
std::string variant(const std::string& gif, int n) {
  char comment[16];
  const int length = std::snprintf(comment, sizeof comment, "copy %06d", n);
  return gif.substr(0, gif.size() - 1) + "\x21\xFE" + char(length) + std::string(comment, length) + '\0' +
         ';';
}

bool clipboardHoldsGif() {
  const QMimeData* data = QGuiApplication::clipboard()->mimeData();
  return data && data->hasFormat(QStringLiteral("image/gif")) && data->hasUrls();
}

// A fresh folder in /dev/shm when there is one, the program's runtime folder; removed at the
// end. Its path is empty when it could not be made.
struct PrivateRuntimeDir {
  std::string path = (fs::exists("/dev/shm") ? std::string("/dev/shm") : fs::temp_directory_path().string()) +
                     "/mw-bench-XXXXXX";
  PrivateRuntimeDir() {
    if (!::mkdtemp(path.data())) path.clear();
  }
  ~PrivateRuntimeDir() {
    if (!path.empty()) fs::remove_all(path);
  }
};

// Serves /g/N.gif on 127.0.0.1: the GIF with N in its comment.
class GifServer {
 public:
  explicit GifServer(const std::string& gif) {
    server_.Get(R"(/g/(\d+)\.gif)", [this, &gif](const httplib::Request& req, httplib::Response& res) {
      res.set_content(variant(gif, std::stoi(req.matches[1])), "image/gif");
      ++served_;
    });
    port_ = server_.bind_to_any_port("127.0.0.1");
    listener_ = std::thread([this] { server_.listen_after_bind(); });
    while (!server_.is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  ~GifServer() {
    server_.stop();
    listener_.join();
  }
  std::string address(int n) const {
    return "http://127.0.0.1:" + std::to_string(port_) + "/g/" + std::to_string(n) + ".gif";
  }
  int served() const { return served_; }

 private:
  httplib::Server server_;
  std::thread listener_;
  int port_ = 0;
  std::atomic<int> served_{0};
};

struct Timings {
  std::vector<double> downloaded, asHeld, writeAlone, downloadAlone;
  bool held = true;  // every copy, download and write was done
};

// The four timed ways, each on a picture of its own, their order turning every round.
class Rounds {
 public:
  Rounds(mw::shell::Program& p, const GifServer& server, const std::string& gif)
      : p_(p), server_(server), gif_(gif), folder_(p.pictureFiles.folder()) {
    p_.state.search.searchShownUrls = mw::TextArray(8);
    QObject::connect(QGuiApplication::clipboard(), &QClipboard::dataChanged, &guard_, [this] {
      if (clipboardHoldsGif()) taken_ = std::chrono::steady_clock::now();
    });
  }

  void run(int round) {
    for (int k = 0; k < 4; ++k) {
      switch ((round + k) % 4) {
        case 0:
          copyDownloaded();
          break;
        case 1:
          copyAsHeld();
          break;
        case 2:
          download();
          break;
        default:
          write();
      }
    }
  }

  Timings timings;

 private:
  // From the press until the clipboard says it took the GIF (the copy tip shows after that).
  double clickUntilHeld() {
    QGuiApplication::clipboard()->setText("x");
    const auto start = std::chrono::steady_clock::now();
    taken_ = {};
    press(p_.main.图片框1);
    timings.held = timings.held && taken_ > start;
    return std::chrono::duration<double, std::milli>(taken_ - start).count();
  }

  void copyDownloaded() {
    p_.main.图片框1->setPicture(shown_);
    p_.state.search.searchShownUrls[0] = server_.address(++picture_);
    timings.downloaded.push_back(clickUntilHeld());
  }

  void copyAsHeld() {
    p_.main.图片框1->setPicture(variant(gif_, ++picture_));
    // Its first frame decoded for display, so that the decoding threads are idle again.
    while (p_.main.图片框1->pictureView().currentFrame().isNull()) QCoreApplication::processEvents();
    p_.state.search.searchShownUrls[0] = "http://127.0.0.1:1/g/still.GIF";  // never asked for
    timings.asHeld.push_back(clickUntilHeld());
  }

  void write() {
    const std::string bytes = variant(gif_, 1000000 + ++picture_);
    const mw::Text file = folder_ + "/alone-" + std::to_string(picture_) + ".gif";
    const auto start = std::chrono::steady_clock::now();
    timings.held = timings.held && mw::runtime::writeNewFile(file, bytes) == mw::runtime::NewFile::Written;
    timings.writeAlone.push_back(millisecondsSince(start));
    fs::remove(mw::runtime::nativePath(file));
  }

  void download() {
    const mw::Text from = server_.address(2000000 + ++picture_);
    const auto start = std::chrono::steady_clock::now();
    timings.held = timings.held && mw::net::fetchPage(from).size() > gif_.size();
    timings.downloadAlone.push_back(millisecondsSince(start));
  }

  mw::shell::Program& p_;
  const GifServer& server_;
  const std::string& gif_;
  const std::string shown_ = noiseGif(8, 8, 0);  // what the box shows while its address is copied
  const mw::Text folder_;
  QObject guard_;
  int picture_ = 0;
  std::chrono::steady_clock::time_point taken_;
};

void printTimings(const Timings& t, std::size_t gifBytes, const std::string& folder, int rounds) {
  const double a = median(t.downloaded), b = median(t.asHeld), w = median(t.writeAlone),
               d = median(t.downloadAlone);
  std::printf(
      "a GIF copy of %zu bytes, from the press on 图片框1 until the clipboard holds it (%s platform)\n",
      gifBytes, qPrintable(QGuiApplication::platformName()));
  std::printf("  private folder %s; a different GIF every time; median of %d rounds\n", folder.c_str(),
              rounds);
  std::printf("  writing its file alone                  %7.2f ms\n", w);
  std::printf("  copy of the GIF as the box holds it     %7.2f ms  (%.2f x the write; goal <= 1.5)\n", b,
              b / w);
  std::printf("  downloading it alone (fetchPage)        %7.2f ms\n", d);
  std::printf(
      "  copy that downloads it again            %7.2f ms  (%.2f x the write, %.2f x download + write)\n", a,
      a / w, a / (d + w));
}

void printFolder(const mw::Text& folder, int copies) {
  std::uintmax_t total = 0;
  int files = 0;
  std::printf("after %d GIF copies, %s:\n", copies, folder.c_str());
  for (const auto& entry : fs::directory_iterator(mw::runtime::nativePath(folder))) {
    std::printf("  %s %10ju\n", entry.path().filename().c_str(), std::uintmax_t(entry.file_size()));
    total += entry.file_size();
    ++files;
  }
  std::printf("  %d files, %ju bytes\n", files, total);
}

}  // namespace

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 31;
  const PrivateRuntimeDir runtimeDir;
  if (runtimeDir.path.empty()) return 1;

  QApplication app(argc, argv);
  const std::string gif = noiseGif(400, 300, 2 * 1000 * 1000);
  mw::test::ScriptedDesktop desk;
  mw::test::TempPlaces places;
  mw::runtime::UserFolders user;
  user.runtime = runtimeDir.path;
  places.places.privateFolder = mw::runtime::privateFolder(user);
  mw::shell::Program p([](std::string_view) { return mw::Bytes(); }, {}, desk, places);
  Timings timings;
  int served = 0;
  {
    GifServer server(gif);
    Rounds r(p, server, gif);
    for (int round = 0; round < rounds; ++round) r.run(round);
    timings = r.timings;
    served = server.served();
  }
  printTimings(timings, gif.size(), runtimeDir.path, rounds);
  if (!timings.held || served != 2 * rounds)
    std::printf("  SOMETHING FAILED: a copy, download or write was not done\n");
  printFolder(p.pictureFiles.folder(), 2 * rounds);
  return 0;
}
