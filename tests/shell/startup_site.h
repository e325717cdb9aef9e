#pragma once
// Scripted sites for the start-up tests: a probe server and one server for every other site,
// answering each page start-up reads, with a log of every request in the order received.
#include <chrono>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "net/http_server.h"
#include "net/site_settings.h"

namespace mw::test {

class StartUpSite {
 public:
  StartUpSite()
      : probe_([this](httplib::Server& s) {
          s.Get("/",
                [this](const httplib::Request& req, httplib::Response& res) { answer(req, res, probePage); });
        }),
        sites_([this](httplib::Server& s) {
          // Start-up asks for sixteen pictures at once.
          s.new_task_queue = [] { return new httplib::ThreadPool(20); };
          s.Get(".*", [this](const httplib::Request& req, httplib::Response& res) {
            if (req.path.starts_with("/p/") || req.path.starts_with("/t/"))
              return answer(req, res, picture(req.path));
            if (req.path == "/") return answer(req, res, homePage);
            if (req.path == "/forum/thread-2833224-1-1.html") return answer(req, res, announcementPage);
            if (req.path == "/a/new/") return answer(req, res, newPicturesPage());
            if (req.path == "/face/New.aspx") return answer(req, res, latestPage());
            res.status = 404;
          });
        }) {}

  net::SiteSettings settings() const {
    net::SiteSettings s;
    const std::string host = "127.0.0.1:" + std::to_string(sites_.port);
    s.templateHost = s.searchHost = s.homeHost = s.announcementHost = s.shareHost = s.groupHost = host;
    s.probeHost = "127.0.0.1:" + std::to_string(probe_.port);
    s.probeMarker = "网络连通";
    return s;
  }
  std::string base() const { return "http://127.0.0.1:" + std::to_string(sites_.port); }

  // What a picture answers: its own path, so a box tells which one it shows.
  static std::string picture(const std::string& path) { return "picture " + path; }
  static std::string newPicture(int i) { return "/p/" + std::to_string(i) + ".png"; }
  static std::string latestThumb(int i) { return "/t/" + std::to_string(i) + ".png"; }

  // A page that declares its UTF-8.
  static std::string utf8Page(const std::string& body) { return "<meta charset=\"utf-8\">" + body; }

  // The paths requested so far, the probe's as "probe /".
  std::vector<std::string> requests() const {
    std::lock_guard lock(mutex_);
    return log_;
  }

  // Set before start-up runs. Pages are UTF-8 and say so.
  std::string probePage = "<html><body>网络连通</body></html>";
  std::string announcementPage = utf8Page("<ul><li>阅读：1234</li></ul>");
  std::string homePage = utf8Page(
      "文本11.3文本1 文本2第一条说明文本2 文本3公告一文本3 文本4公告二文本4 文本5二文本5 文本6三文本6 "
      "文本7四文本7 文本8五文本8 文本9key1文本9 文本10key2文本10 百度网share1百度址 百度密pw12百度码");
  int newPictures = 10;
  int latestItems = 95;
  std::set<std::string> failing;  // paths answered 404 (not the probe)
  int delayMs = 0;                // before every answer
  int announcementDelayMs = 0;    // and before the announcement's on top

  // When the delayed announcement was answered.
  std::chrono::steady_clock::time_point announcementAnswered() const {
    const std::lock_guard lock(mutex_);
    return announcementAnswered_;
  }

 private:
  void answer(const httplib::Request& req, httplib::Response& res, const std::string& body) {
    {
      std::lock_guard lock(mutex_);
      log_.push_back((isProbe(req) ? "probe " : "") + req.path);
    }
    if (delayMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
    if (req.path == "/forum/thread-2833224-1-1.html" && announcementDelayMs > 0) {
      std::this_thread::sleep_for(std::chrono::milliseconds(announcementDelayMs));
      const std::lock_guard lock(mutex_);
      announcementAnswered_ = std::chrono::steady_clock::now();
    }
    if (!isProbe(req) && failing.count(req.path)) {
      res.status = 404;
      return;
    }
    res.set_content(body, "text/html; charset=utf-8");
  }
  bool isProbe(const httplib::Request& req) const { return req.local_port == probe_.port; }

  std::string newPicturesPage() const {
    std::string page = "<meta charset=\"utf-8\"><ul>";
    for (int i = 1; i <= newPictures; ++i) {
      page += "<LI><a href=\"/a/" + std::to_string(i) + ".html\"><img id=\"i" + std::to_string(i) +
              "\"><script type=\"text/javascript\">document.getElementById('i" + std::to_string(i) +
              "').src = \"" + base() + newPicture(i) + "\"; </script><LI><span>表情" + std::to_string(i) +
              "</span></a></LI>";
    }
    return page + "</ul>";
  }
  std::string latestPage() const {
    std::string page = "<html><body>\r\n <div class=\"link-block thumbnail\">\r\n<ul>\r\n";
    for (int i = 1; i <= latestItems; ++i) {
      page += "<li><a href=\"/face/make.aspx?id=" + std::to_string(i) + "\"><div class=\"img\"><img src=\"" +
              latestThumb(i) + "\" /></div><div class=\"title\"><span>t</span></div></a></li>\r\n";
    }
    return page + "</ul></div>\r\n<div class=\"g-bottombar-ad-block\">ad</div></body></html>";
  }

  mutable std::mutex mutex_;
  std::vector<std::string> log_;
  std::chrono::steady_clock::time_point announcementAnswered_;
  HttpServer probe_;  // last: stop before the state their handlers read goes away
  HttpServer sites_;
};

}  // namespace mw::test
