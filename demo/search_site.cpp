#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "demo/content_catalog.h"
#include "demo/site_server.h"
#include "demo/sites.h"
#include "runtime/text.h"

namespace mw::demo {
using runtime::gbk;
using runtime::utf8;
namespace {

const int kNewPictures = 12;
const int kSearchPageSize = 20;

// The search site, in GBK: keyword search over the picture titles, the new-pictures list and
// the pictures themselves.
struct SearchSite {
  const Catalog& catalog;
  std::string fallbackAddress;  // for links, when a request names no usable Host

  std::string pictureAddress(const httplib::Request& req, const PictureEntry& p) const {
    return selfAddress(req, fallbackAddress) + "/uploads/allimg/" + p.fileName;
  }

  std::string searchPage(const httplib::Request& req) const {
    // The query arrives as "q", the result-page links carry "keyword"; both hold GBK bytes.
    const std::string keywordGbk =
        req.has_param("q") ? req.get_param_value("q") : req.get_param_value("keyword");
    const std::string keyword = utf8(keywordGbk);
    std::vector<std::string> terms;
    for (std::size_t pos = 0; pos < keyword.size();) {
      const std::size_t end = std::min(keyword.find(' ', pos), keyword.size());
      if (end > pos) terms.push_back(keyword.substr(pos, end - pos));
      pos = end + 1;
    }
    std::vector<const PictureEntry*> found;
    if (!terms.empty()) {
      // Newest first, as the site lists its results.
      for (auto it = catalog.pictures.rbegin(); it != catalog.pictures.rend(); ++it) {
        bool all = true;
        for (const std::string& term : terms) all = all && it->title.find(term) != std::string::npos;
        if (all) found.push_back(&*it);
      }
    }
    const int total = static_cast<int>(found.size());
    const int pages = (total + kSearchPageSize - 1) / kSearchPageSize;
    // Any page past the last shows the same empty list; bounding it keeps the index arithmetic
    // below from overflowing on a huge PageNo.
    const int pageNo = std::clamp(intParam(req, "PageNo", 1), 1, pages + 1);

    std::string page =
        "<html>\r\n<head>\r\n<meta http-equiv=\"Content-Type\" content=\"text/html; charset=gb2312\" "
        "/>\r\n<title>" +
        htmlEscape(keyword) + "_搜索结果</title>\r\n</head>\r\n<body>\r\n";
    page += "<div class=\"header\"><a href=\"/\">表情包</a> &gt; <a href=\"/a/new/\">最新表情</a></div>\r\n";
    if (terms.empty()) page += "<p>关键字不能为空！</p>\r\n";
    page += "<div class=\"resultlist\">\r\n<ul>\r\n";
    for (int i = (pageNo - 1) * kSearchPageSize; i < std::min(total, pageNo * kSearchPageSize); ++i) {
      const PictureEntry& p = *found[i];
      const std::string n = std::to_string(p.number);
      page += "<li><a href=\"/a/" + n + ".html\" target=\"_blank\"><img id=\"pic" + n +
              "\" alt=\"\" /></a><p><a href=\"/a/" + n + ".html\" title=\"" + htmlEscape(p.title) + "\">" +
              htmlEscape(p.title) + "</a></p><script type=\"text/javascript\">document.getElementById(\"pic" +
              n + "\").src = \"" + pictureAddress(req, p) + "\"; </script></li>\r\n";
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
    for (int k = 1; k <= pages; ++k) {
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

void routeSearchSite(httplib::Server& s, const Catalog& catalog, const std::string& address) {
  const auto site = std::make_shared<SearchSite>(SearchSite{catalog, address});
  s.Get("/plus/search.php", [site](const httplib::Request& req, httplib::Response& res) {
    res.set_content(site->searchPage(req), kHtmlGbk);
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
}

}  // namespace mw::demo
