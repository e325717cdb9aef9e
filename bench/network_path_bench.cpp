// The program on a modelled network path against the fastest client that path allows, in the
// same run. Every site of the demo site sits behind a latency path of round-trip time R (a new
// connection's first byte leaves R after it opened, every chunk either way takes R/2). The
// perfect client opens its connections at time 0 and sends each request the moment what it
// depends on is in.
//
// Measured, at R = 100 and 200 ms, median of the rounds:
// - start-up: from where main starts building (the application object exists) until the last
//   of the sixteen pictures is shown; the perfect client until its sixteenth picture is in;
// - a press on 网络所有编辑 until its eight thumbnails are shown, right after that start-up;
// - a keyword search until its eight pictures are shown.
// For the press and the search the perfect client's connections are open already, as the
// program's are from its start-up.
//
// Usage: network_path_bench [rounds]  (default 5)
#include <QApplication>
#include <QCoreApplication>
#include <QTimer>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "bench_support.h"
#include "browse/search.h"
#include "browse/template_list.h"
#include "demo/demo_site.h"
#include "latency_proxy.h"
#include "runtime/markers.h"
#include "shell/program.h"
#include "shell/startup.h"
#include "support/scripted_desktop.h"
#include "support/temp_folder.h"

namespace {

using namespace mw;
using bench::LatencyPath;
using bench::median;
using Clock = std::chrono::steady_clock;

double msBetween(Clock::time_point a, Clock::time_point b) {
  return std::chrono::duration<double, std::milli>(b - a).count();
}

// The sites the start-up reads, in the order of the path's ports.
enum PathSite { kProbe, kAnnouncement, kHome, kSearch, kTemplate, kPathSites };

struct Path {
  std::unique_ptr<LatencyPath> proxies;
  net::SiteSettings settings;

  Path(const demo::DemoSite& site, std::chrono::milliseconds rtt) {
    using demo::Site;
    proxies = std::make_unique<LatencyPath>(
        std::vector<int>{site.port(Site::Probe), site.port(Site::Announcement), site.port(Site::Home),
                         site.port(Site::Search), site.port(Site::Template)},
        rtt);
    settings = site.settings();
    settings.probeHost = host(kProbe);
    settings.announcementHost = host(kAnnouncement);
    settings.homeHost = host(kHome);
    settings.searchHost = host(kSearch);
    settings.templateHost = host(kTemplate);
  }
  std::string host(PathSite s) const { return "127.0.0.1:" + std::to_string(proxies->port(std::size_t(s))); }
};

// The path of an absolute address ("http://host:port/a/b" gives "/a/b").
std::string pathOf(const std::string& url) {
  const std::size_t slash = url.find('/', url.find("://") + 3);
  return slash == std::string::npos ? "/" : url.substr(slash);
}

// A bare HTTP/1.1 client: GET requests, answers with a Content-Length as the demo site gives
// them. Each request goes on a connection of its own, opened beforehand, so that the client
// is as fast whether or not the server keeps connections alive.
class PerfectClient {
 public:
  using Done = std::function<void(std::string body)>;

  ~PerfectClient() {
    for (auto& [host, conns] : hosts_)
      for (auto& c : conns) ::close(c.fd);
  }

  void open(const std::string& hostPort, int count) {
    const int port = std::stoi(hostPort.substr(hostPort.find(':') + 1));
    for (int i = 0; i < count; ++i) {
      const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
      sockaddr_in addr{};
      addr.sin_family = AF_INET;
      addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
      addr.sin_port = htons(std::uint16_t(port));
      ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
      int yes = 1;
      ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
      hosts_[hostPort].push_back({fd, {}, {}, false});
    }
  }

  void get(const std::string& hostPort, const std::string& path, Done done) {
    for (auto& c : hosts_[hostPort]) {
      if (c.used) continue;
      c.used = true;
      c.done = std::move(done);
      const std::string request = "GET " + path + " HTTP/1.1\r\nHost: " + hostPort + "\r\n\r\n";
      for (std::size_t sent = 0; sent < request.size();) {
        const ssize_t n = ::send(c.fd, request.data() + sent, request.size() - sent, MSG_NOSIGNAL);
        if (n > 0) {
          sent += std::size_t(n);
        } else {
          pollfd p{c.fd, POLLOUT, 0};  // still connecting
          ::poll(&p, 1, 100);
        }
      }
      return;
    }
    std::fprintf(stderr, "perfect client: no connection left for %s\n", hostPort.c_str());
  }

  // Until every request has been answered.
  void run() {
    for (;;) {
      std::vector<pollfd> fds;
      std::vector<Conn*> of;
      for (auto& [host, conns] : hosts_)
        for (auto& c : conns)
          if (c.done) {
            fds.push_back({c.fd, POLLIN, 0});
            of.push_back(&c);
          }
      if (fds.empty()) return;
      ::poll(fds.data(), fds.size(), 1000);
      for (std::size_t i = 0; i < fds.size(); ++i)
        if (fds[i].revents) receive(*of[i]);
    }
  }

 private:
  struct Conn {
    int fd;
    std::string in;
    Done done;
    bool used;
  };

  static void receive(Conn& c) {
    char buffer[65536];
    bool ended = false;
    for (;;) {
      const ssize_t n = ::recv(c.fd, buffer, sizeof buffer, 0);
      if (n <= 0) {
        ended = n == 0;
        break;
      }
      c.in.append(buffer, std::size_t(n));
    }
    const std::size_t end = c.in.find("\r\n\r\n");
    std::size_t length = 0;
    for (const char* key : {"\r\nContent-Length: ", "\r\ncontent-length: "}) {
      const std::size_t at = c.in.find(key);
      if (at != std::string::npos && at < end)
        length = std::strtoul(c.in.c_str() + at + std::strlen(key), nullptr, 10);
    }
    if (end == std::string::npos || c.in.size() < end + 4 + length) {
      if (ended) {
        std::fprintf(stderr, "perfect client: a connection closed before its answer\n");
        c.done = nullptr;
      }
      return;
    }
    Done done = std::move(c.done);
    c.done = nullptr;
    done(c.in.substr(end + 4, length));
  }

  std::map<std::string, std::vector<Conn>> hosts_;
};

TextArray newPictureAddresses(const std::string& page) {
  TextArray pieces, urls;
  runtime::textBetweenAll(page, "type=\"text/javascript\">document.getElementById", "</span></a></LI>",
                          pieces);
  for (const Text& piece : pieces)
    urls.push_back(runtime::textBetween(piece, ").src = \"", "\"; </script><LI><", 1, true));
  return urls;
}

TextArray searchResultAddresses(const std::string& page) {
  TextArray snippets, urls;
  runtime::textBetweenAll(page, "title=\"", "\"; </script>", snippets, true, 0, {}, {}, false, true, 1);
  for (const Text& s : snippets)
    urls.push_back(runtime::textBetween(s, "src = \"", "\"; </script>", 1, true));
  return urls;
}

// Eight pictures of `urls` from `first` (0-based).
void getPictures(PerfectClient& client, const std::string& host, const TextArray& urls, std::size_t first,
                 int& arrived, Clock::time_point& last) {
  for (std::size_t k = first; k < first + 8 && k < urls.size(); ++k)
    client.get(host, pathOf(urls[k]), [&](std::string) {
      ++arrived;
      last = Clock::now();
    });
}

// The start-up's dependent work: probe, then announcement and home page, then both lists, then
// each list's eight pictures. The time from opening the connections until the sixteenth
// picture is in.
double perfectStartUp(const Path& path) {
  PerfectClient client;
  const auto t0 = Clock::now();
  client.open(path.host(kProbe), 1);
  client.open(path.host(kAnnouncement), 1);
  client.open(path.host(kHome), 1);
  client.open(path.host(kSearch), 9);
  client.open(path.host(kTemplate), 9);
  int arrived = 0;
  Clock::time_point last = t0;
  const std::string search = path.host(kSearch), templates = path.host(kTemplate);
  client.get(path.host(kProbe), "/", [&](std::string probe) {
    if (probe.find(demo::kProbeMarker) == std::string::npos) return;
    client.get(path.host(kAnnouncement), "/forum/thread-2833224-1-1.html", [](std::string) {});
    client.get(path.host(kHome), "/", [&](std::string) {
      client.get(search, "/a/new/", [&](std::string page) {
        getPictures(client, search, newPictureAddresses(page), 0, arrived, last);
      });
      client.get(templates, "/face/New.aspx", [&](std::string page) {
        TextArray thumbs;
        browse::appendThumbnailUrls(browse::latestListItems(page), "http://" + templates, thumbs);
        getPictures(client, templates, thumbs, 0, arrived, last);
      });
    });
  });
  client.run();
  if (arrived != 16) std::fprintf(stderr, "perfect client: %d of 16 pictures\n", arrived);
  return msBetween(t0, last);
}

// A list page, then its first eight pictures, over connections opened (and up) beforehand.
double perfectListAndPictures(const std::string& host, const std::string& listPath,
                              const std::function<TextArray(const std::string&)>& addresses,
                              std::chrono::milliseconds rtt) {
  PerfectClient client;
  client.open(host, 9);
  std::this_thread::sleep_for(rtt + std::chrono::milliseconds(20));
  const auto t0 = Clock::now();
  int arrived = 0;
  Clock::time_point last = t0;
  client.get(host, listPath,
             [&](std::string page) { getPictures(client, host, addresses(page), 0, arrived, last); });
  client.run();
  if (arrived != 8) std::fprintf(stderr, "perfect client: %d of 8 pictures\n", arrived);
  return msBetween(t0, last);
}

// Calls `onAll` with the time at which every box in `boxes` first shows a picture.
class ShownWatch {
 public:
  explicit ShownWatch(std::vector<toolkit::PictureBox*> boxes) : boxes_(std::move(boxes)) {
    for (auto* box : boxes_)
      connections_.push_back(
          QObject::connect(&box->pictureView(), &picture::Picture::changed, [this] { check(); }));
  }
  ~ShownWatch() {
    for (auto& c : connections_) QObject::disconnect(c);
  }
  void reset() { at_.reset(); }
  std::optional<Clock::time_point> at() const { return at_; }

 private:
  void check() {
    if (at_) return;
    for (auto* box : boxes_)
      if (!box->pictureView().shown()) return;
    at_ = Clock::now();
  }
  std::vector<toolkit::PictureBox*> boxes_;
  std::vector<QMetaObject::Connection> connections_;
  std::optional<Clock::time_point> at_;
};

struct ProgramTimes {
  double startUp = -1, listPress = -1, search = -1;
};

ProgramTimes programRound(const Path& path) {
  ProgramTimes times;
  test::ScriptedDesktop desk;
  test::TempPlaces places;
  const auto noPictures = [](std::string_view) { return Bytes(); };

  // What main does once the application object exists.
  const auto t0 = Clock::now();
  const auto warmPath = shell::warmPath(path.settings);
  auto p = std::make_unique<shell::Program>(noPictures, path.settings, desk, places);
  auto& f = p->main;
  std::vector<toolkit::PictureBox*> all, home, edit;
  for (int k = 1; k <= 16; ++k) {
    all.push_back(f.slot(k));
    (k <= 8 ? home : edit).push_back(f.slot(k));
  }
  ShownWatch allShown(all);
  p->start();
  const bool started = bench::waitUntil([&] {
    return allShown.at() && p->registry.runs(f.主窗口, toolkit::Event::FirstActivation) > 0 &&
           !p->registry.gate().busy();
  });
  if (!started) {
    std::fprintf(stderr, "start-up did not show sixteen pictures\n");
    return times;
  }
  times.startUp = msBetween(t0, *allShown.at());

  // 网络所有编辑 on the 编辑 page.
  f.showPage(forms::Page::Edit);
  for (auto* box : edit) box->setPicture({});
  ShownWatch editShown(edit);
  auto t = Clock::now();
  bench::press(f.网络所有编辑);
  if (bench::waitUntil([&] { return editShown.at().has_value(); }))
    times.listPress = msBetween(t, *editShown.at());

  // A keyword search on the 主页 page.
  f.showPage(forms::Page::Home);
  for (auto* box : home) box->setPicture({});
  f.搜索框->setText("开心"_gbk);
  ShownWatch homeShown(home);
  t = Clock::now();
  bench::press(f.搜索);
  if (bench::waitUntil([&] { return homeShown.at().has_value(); }))
    times.search = msBetween(t, *homeShown.at());

  if (!desk.calls.empty())
    std::fprintf(stderr, "unexpected message: %s\n", runtime::utf8(desk.calls[0].text).c_str());
  p->update.更新窗口->destroyWindow();
  f.主窗口->destroyWindow();
  return times;
}

ProgramTimes perfectRound(const Path& path, std::chrono::milliseconds rtt) {
  ProgramTimes times;
  times.startUp = perfectStartUp(path);
  const std::string templates = path.host(kTemplate), search = path.host(kSearch);
  times.listPress = perfectListAndPictures(
      templates, "/face/ListWithImage.aspx",
      [&](const std::string& page) {
        TextArray thumbs;
        browse::appendThumbnailUrls(
            browse::listPageItems(page, browse::allListBlockStart(), browse::allListBlockEnd()),
            "http://" + templates, thumbs);
        return thumbs;
      },
      rtt);
  times.search = perfectListAndPictures(
      search, pathOf(browse::searchQueryAddress("http://" + search, "开心"_gbk)), searchResultAddresses, rtt);
  return times;
}

void report(const char* what, const std::vector<double>& program, const std::vector<double>& perfect) {
  const double a = median(program), b = median(perfect);
  std::printf("  %-28s program %7.1f ms   perfect client %7.1f ms   ratio %.2f\n", what, a, b, a / b);
  std::printf("  %-28s rounds:", "");
  for (double v : program) std::printf(" %.0f", v);
  std::printf("  |");
  for (double v : perfect) std::printf(" %.0f", v);
  std::printf("\n");
}

}  // namespace

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication app(argc, argv);
  const int rounds = argc > 1 ? std::max(3, std::atoi(argv[1])) : 5;
  // No latency of its own: the path adds it. Enough workers that none waits for another.
  const auto site = bench::startDemoSite(0, 24);
  if (!site) return 1;

  for (const int r : {200, 100}) {
    const std::chrono::milliseconds rtt(r);
    std::vector<double> startUp[2], listPress[2], search[2];
    const auto record = [&](int who, const ProgramTimes& t) {
      startUp[who].push_back(t.startUp);
      listPress[who].push_back(t.listPress);
      search[who].push_back(t.search);
    };
    bench::interleaved(
        rounds, [&] { record(0, programRound(Path(*site, rtt))); },
        [&] { record(1, perfectRound(Path(*site, rtt), rtt)); });
    std::printf("R = %d ms, median of %d rounds (program | perfect client)\n", r, rounds);
    report("start-up, sixteen pictures", startUp[0], startUp[1]);
    report("网络所有编辑, eight pictures", listPress[0], listPress[1]);
    report("keyword search, eight", search[0], search[1]);
  }
  site->stop();
  return 0;
}
