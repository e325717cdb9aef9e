#pragma once
// A scripted template site for the list tests: list pages of chosen sizes whose thumbnails
// answer with bytes naming their own path, and a log of every request with its headers.
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "net/http_server.h"

namespace mw::test {

struct LoggedRequest {
  std::string target;  // path and query
  std::multimap<std::string, std::string> headers;
};

class TemplateSite {
 public:
  TemplateSite()
      : server_([this](httplib::Server& s) {
          s.Get("/face/New.aspx", [this](const httplib::Request& req, httplib::Response& res) {
            log(req);
            res.set_content(latestPage(), "text/html; charset=utf-8");
          });
          s.Get("/face/ListWithImage.aspx", [this](const httplib::Request& req, httplib::Response& res) {
            log(req);
            const int pn = req.has_param("pn") ? std::stoi(req.get_param_value("pn")) : 1;
            res.set_content(allPage(pn), "text/html; charset=utf-8");
          });
          s.Get(R"(/t/.*)", [this](const httplib::Request& req, httplib::Response& res) {
            log(req);
            if (thumbDelayMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(thumbDelayMs));
            std::lock_guard lock(mutex_);
            if (failing.count(req.path)) {
              res.status = 404;
              return;
            }
            res.set_content(thumbBytes(req.path), "image/png");
          });
        }) {}

  std::string base() const { return "http://127.0.0.1:" + std::to_string(server_.port); }

  // What a thumbnail answers: its own path, so a box tells which item it shows.
  static std::string thumbBytes(const std::string& path) { return "thumb " + path; }
  // Thumbnail path of item i (1-based) of the latest list ("L") or of site page K.
  static std::string latestThumb(int i) { return "/t/L/" + std::to_string(i) + ".png"; }
  static std::string allThumb(int sitePage, int i) {
    return "/t/" + std::to_string(sitePage) + "/" + std::to_string(i) + ".png";
  }

  std::vector<LoggedRequest> requests() const {
    std::lock_guard lock(mutex_);
    return log_;
  }
  std::vector<std::string> targets() const {
    std::vector<std::string> out;
    for (const auto& r : requests()) out.push_back(r.target);
    return out;
  }
  // Requests other than thumbnails.
  std::vector<std::string> pageTargets() const {
    std::vector<std::string> out;
    for (const auto& t : targets())
      if (!t.starts_with("/t/")) out.push_back(t);
    return out;
  }
  void clearLog() {
    std::lock_guard lock(mutex_);
    log_.clear();
  }

  // Set before the requests that read them.
  int latestItems = 95;
  int defaultPageItems = 45;
  std::map<int, int> pageItems;  // site page -> item count
  std::set<int> latestWithoutSrc;
  std::set<std::string> failing;  // thumbnail paths answered 404
  int thumbDelayMs = 0;
  bool latestMarkerBlank = true;  // the blank the latest list's block marker starts with

 private:
  static std::string item(const std::string& src, bool withSrc) {
    // Written with percent-escapes in the title, as a real page does.
    return "<li><a href=\"/face/make.aspx?id=1\"><div class=\"img\"><img alt=\"%E8%A1%A8\"" +
           (withSrc ? " src=\"" + src + "\"" : std::string()) +
           " /></div><div class=\"title\"><span>x</span></div></a></li>\r\n";
  }
  std::string latestPage() const {
    std::string page = std::string("<html><body>\r\n") + (latestMarkerBlank ? " " : "") +
                       "<div class=\"link-block thumbnail\">\r\n<ul>\r\n";
    for (int i = 1; i <= latestItems; ++i) page += item(latestThumb(i), !latestWithoutSrc.count(i));
    return page + "</ul></div>\r\n<div class=\"g-bottombar-ad-block\">ad</div></body></html>";
  }
  std::string allPage(int pn) const {
    const auto it = pageItems.find(pn);
    const int n = it != pageItems.end() ? it->second : defaultPageItems;
    std::string page = "<html><body>\r\n<ul class=\"link-list\">\r\n";
    for (int i = 1; i <= n; ++i) page += item(allThumb(pn, i), true);
    return page + "</ul>\r\n<div class=\"bean-page\">1 2 3</div></body></html>";
  }
  void log(const httplib::Request& req) {
    LoggedRequest r{req.target, {}};
    for (const auto& [name, value] : req.headers)
      if (!name.starts_with("REMOTE_") && !name.starts_with("LOCAL_")) r.headers.emplace(name, value);
    std::lock_guard lock(mutex_);
    log_.push_back(std::move(r));
  }

  mutable std::mutex mutex_;
  std::vector<LoggedRequest> log_;
  HttpServer server_;  // last: stops before the state its handlers read goes away
};

}  // namespace mw::test
