#include <QString>
#include <algorithm>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "demo/content_catalog.h"
#include "demo/sites.h"
#include "library/library.h"
#include "picture/picture_decoder.h"
#include "runtime/charset.h"
#include "runtime/text.h"
#include "site/collection.h"
#include "site/site_server.h"

namespace mw::demo {
using runtime::gbk;
using runtime::utf8;
namespace {

const int kNewPictures = 12;
const int kSearchPageSize = 20;
// The client takes no larger body either.
const long long kMaxServedBytes = 64LL << 20;

// One result of a search: a library picture or a picture of the demo content.
struct Result {
  std::string title;    // UTF-8
  std::string address;  // of the picture
  std::string page;     // the result's own page
};

// A library picture's path below its folder, each part escaped.
std::string libraryPath(const std::string& relative) {
  std::string out;
  for (std::size_t pos = 0; pos <= relative.size();) {
    const std::size_t end = std::min(relative.find('/', pos), relative.size());
    if (pos > 0) out += '/';
    out += percentEncode(relative.substr(pos, end - pos));
    pos = end + 1;
  }
  return out;
}

// Text for the GBK page that keeps every letter: what GBK cannot spell (Hangul, for one) stands
// as a character reference.
std::string inGbkPage(const std::string& text) {
  if (runtime::convertCharset(text, "UTF-8", "GBK", true)) return text;
  std::string out;
  for (const char32_t c : QString::fromStdString(text).toUcs4()) {
    const std::string one = QString::fromUcs4(&c, 1).toStdString();
    out +=
        runtime::convertCharset(one, "UTF-8", "GBK", true) ? one : "&#" + std::to_string(unsigned(c)) + ";";
  }
  return out;
}

std::string mediaType(const std::string& bytes) {
  const std::string_view type = picture::mimeType(picture::sniffPictureFormat(bytes));
  return type.empty() ? "application/octet-stream" : std::string(type);
}

// The search site, in GBK: keyword search over the library (when there is one) and the picture
// titles, the new-pictures list and the pictures themselves.
struct SearchSite {
  const Catalog& catalog;
  std::string fallbackAddress;  // for links, when a request names no usable Host
  library::Library* library;
  site::Collection* collection;

  std::string pictureAddress(const httplib::Request& req, const PictureEntry& p) const {
    return selfAddress(req, fallbackAddress) + "/uploads/allimg/" + p.fileName;
  }

  // The results from `from`, `count` of them at most, and how many there are: the library's
  // matches first, then the collection's, newest first, then the demo content's. `failed` when
  // the collection could not be searched.
  struct ResultPage {
    long long total = 0;
    std::vector<Result> shown;
    bool failed = false;
  };
  ResultPage results(const httplib::Request& req, const std::string& keyword, long long from,
                     int count) const {
    ResultPage out;
    const long long to = from + count;
    const auto take = [&](std::vector<Result> all) {
      for (std::size_t i = 0; i < all.size(); ++i) {
        const long long at = out.total + static_cast<long long>(i);
        if (at >= from && at < to) out.shown.push_back(std::move(all[i]));
      }
      out.total += static_cast<long long>(all.size());
    };
    const std::string self = selfAddress(req, fallbackAddress);
    if (library) {
      std::vector<Result> found;
      for (const library::LibraryMatch& m : library->find(keyword)) {
        const std::string address = self + "/library/" + m.folder + "/" + libraryPath(m.relative);
        found.push_back({m.name, address, address});
      }
      take(std::move(found));
    }
    if (collection) {
      // Only the part of its matches the page shows is fetched.
      const long long offset = std::max(from - out.total, 0LL);
      const long long limit = std::max(to - out.total - offset, 0LL);
      const std::optional<site::SearchPage> page = collection->search(keyword, offset, int(limit));
      if (!page) {
        out.failed = true;
        return out;
      }
      for (const site::PictureRecord& p : page->pictures) {
        const std::string address = self + site::picturePath(p.id, p.ext);
        out.shown.push_back({p.title, address, address});
      }
      out.total += page->total;
    }
    std::vector<std::string> terms;
    for (std::size_t pos = 0; pos < keyword.size();) {
      const std::size_t end = std::min(keyword.find(' ', pos), keyword.size());
      if (end > pos) terms.push_back(keyword.substr(pos, end - pos));
      pos = end + 1;
    }
    if (terms.empty()) return out;
    // Newest first, as the site lists its results.
    std::vector<Result> found;
    for (auto it = catalog.pictures.rbegin(); it != catalog.pictures.rend(); ++it) {
      bool all = true;
      for (const std::string& term : terms) all = all && it->title.find(term) != std::string::npos;
      if (all)
        found.push_back({it->title, pictureAddress(req, *it), "/a/" + std::to_string(it->number) + ".html"});
    }
    take(std::move(found));
    return out;
  }

  // Nullopt when the collection could not be searched.
  std::optional<std::string> searchPage(const httplib::Request& req) const {
    // The query arrives as "q", the result-page links carry "keyword"; both hold GBK bytes.
    const std::string keywordGbk =
        req.has_param("q") ? req.get_param_value("q") : req.get_param_value("keyword");
    const std::string keyword = utf8(keywordGbk);
    // A page number has 9 digits at most; any page past the last shows the same empty list as
    // the one right after it.
    const long long asked = std::max(intParam(req, "PageNo", 1), 1);
    const ResultPage found = results(req, keyword, (asked - 1) * kSearchPageSize, kSearchPageSize);
    if (found.failed) return std::nullopt;
    const long long total = found.total;
    const long long pages = (total + kSearchPageSize - 1) / kSearchPageSize;
    const long long pageNo = std::min(asked, pages + 1);

    std::string page =
        "<html>\r\n<head>\r\n<meta http-equiv=\"Content-Type\" content=\"text/html; charset=gb2312\" "
        "/>\r\n<title>" +
        htmlEscape(keyword) + "_搜索结果</title>\r\n</head>\r\n<body>\r\n";
    page += "<div class=\"header\"><a href=\"/\">表情包</a> &gt; <a href=\"/a/new/\">最新表情</a></div>\r\n";
    if (keyword.find_first_not_of(' ') == std::string::npos) page += "<p>关键字不能为空！</p>\r\n";
    page += "<div class=\"resultlist\">\r\n<ul>\r\n";
    for (std::size_t k = 0; k < found.shown.size(); ++k) {
      const Result& r = found.shown[k];
      const std::string n = std::to_string((pageNo - 1) * kSearchPageSize + static_cast<long long>(k) + 1),
                        title = inGbkPage(htmlEscape(r.title));
      page += "<li><a href=\"" + htmlEscape(r.page) + "\" target=\"_blank\"><img id=\"pic" + n +
              "\" alt=\"\" /></a><p><a href=\"" + htmlEscape(r.page) + "\" title=\"" + title + "\">" + title +
              "</a></p><script type=\"text/javascript\">document.getElementById(\"pic" + n + "\").src = \"" +
              r.address + "\"; </script></li>\r\n";
    }
    page +=
        "</ul>\r\n</div>\r\n<div class=\"dede_pages\">\r\n<table border=\"0\" cellpadding=\"1\" "
        "cellspacing=\"1\">\r\n<tr>\r\n";
    const std::string prefix =
        "/plus/search.php?keyword=" + percentEncode(keywordGbk) +
        "&searchtype=titlekeyword&kwtype=1&pagesize=20&TotalResult=" + std::to_string(total) + "&PageNo=";
    page += "<td>共找到<b>" + std::to_string(total) + "</b>条记录/最大显示<b>" + std::to_string(total) +
            "</b>条 </td>\r\n";
    page += pageNo == 1 ? "<td>首页</td>\r\n" : "<td><a href='" + prefix + "1'>首页</a></td>\r\n";
    for (long long k = 1; k <= pages; ++k) {
      const std::string ks = std::to_string(k);
      page += k == pageNo ? "<td>" + ks + "&nbsp;</td>\r\n"
                          : "<td><a href='" + prefix + ks + "'>" + ks + "</a>&nbsp;</td>\r\n";
    }
    if (pageNo < pages) {
      page += "<td><a href='" + prefix + std::to_string(pageNo + 1) + "'>下一页</a></td>\r\n";
      page += "<td><a href='" + prefix + std::to_string(pages) + "'>末页</a></td>\r\n";
    }
    page += "</tr>\r\n</table>\r\n</div>\r\n</body>\r\n</html>\r\n";
    return gbk(page);
  }

  std::string newPicturesPage(const httplib::Request& req) const {
    std::string page =
        "<html>\r\n<head>\r\n<meta http-equiv=\"Content-Type\" content=\"text/html; charset=gb2312\" "
        "/>\r\n<title>最新表情"
        "</title>\r\n</head>\r\n<body>\r\n<div class=\"listbox\">\r\n<ul class=\"e2\">\r\n";
    int shown = 0;
    for (auto it = catalog.pictures.rbegin(); it != catalog.pictures.rend() && shown < kNewPictures;
         ++it, ++shown) {
      const std::string n = std::to_string(it->number);
      page += "<script type=\"text/javascript\">document.getElementById(\"new" + n + "\").src = \"" +
              pictureAddress(req, *it) + "\"; </script><LI><a href=\"/a/" + n + ".html\"><img id=\"new" + n +
              "\" alt=\"\" /><span>" + htmlEscape(it->title) + "</span></a></LI>\r\n";
    }
    page += "</ul>\r\n</div>\r\n</body>\r\n</html>\r\n";
    return gbk(page);
  }
};

}  // namespace

void routeSearchSite(httplib::Server& s, const Catalog& catalog, const std::string& address,
                     library::Library* library, site::Collection* collection) {
  const auto site = std::make_shared<SearchSite>(SearchSite{catalog, address, library, collection});
  s.Get("/plus/search.php", [site](const httplib::Request& req, httplib::Response& res) {
    if (const std::optional<std::string> page = site->searchPage(req)) {
      res.set_content(*page, kHtmlGbk);
      return;
    }
    res.status = 503;
    res.set_content("<html><body><h1>503 Service Unavailable</h1></body></html>", "text/html");
  });
  // Whether this node can serve: with a collection, whether its database answers.
  s.Get("/api/health", [collection](const httplib::Request&, httplib::Response& res) {
    const bool up = !collection || collection->healthy();
    res.status = up ? 200 : 503;
    res.set_content(up ? "{\"status\": \"ok\"}\n" : "{\"status\": \"database unreachable\"}\n",
                    "application/json");
  });
  s.Get("/a/new/", [site](const httplib::Request& req, httplib::Response& res) {
    res.set_content(site->newPicturesPage(req), kHtmlGbk);
  });
  s.Get(R"(/uploads/allimg/([a-z0-9]+\.(jpg|png|gif)))",
        [site](const httplib::Request& req, httplib::Response& res) {
          for (const PictureEntry& p : site->catalog.pictures) {
            if (p.fileName == req.matches[1]) {
              const std::string ext = req.matches[2];
              res.set_content(p.bytes, ext == "jpg" ? "image/jpeg" : "image/" + ext);
              return;
            }
          }
          res.status = 404;
        });
  if (!library) return;
  // Byte for byte, and only pictures the library lists: no "..", no link out of its folders or
  // into a hidden part of them.
  s.Get(R"(/library/([^/]+)/(.+))", [library](const httplib::Request& req, httplib::Response& res) {
    res.status = 404;
    const std::optional<std::string> file = library->file(req.matches[1], req.matches[2]);
    if (!file) return;
    std::ifstream in(*file, std::ios::binary | std::ios::ate);
    const long long size = in ? static_cast<long long>(in.tellg()) : -1;
    if (size < 0 || size > kMaxServedBytes) return;
    std::string bytes(static_cast<std::size_t>(size), '\0');
    in.seekg(0);
    if (!in.read(bytes.data(), size)) return;
    // A picture's name on a link is no proof: what it leads to must be one.
    if (picture::sniffPictureFormat(bytes) == picture::PictureFormat::Unknown) return;
    res.status = 200;
    const std::string type = mediaType(bytes);
    res.set_content(std::move(bytes), type);
  });
}

}  // namespace mw::demo
