#include "demo/demo_site.h"

#include <httplib.h>

#include <QByteArray>
#include <QCryptographicHash>
#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <deque>
#include <map>
#include <mutex>
#include <random>
#include <thread>

#include "demo/caption_renderer.h"
#include "demo/content_catalog.h"
#include "net/listen_backlog.h"
#include "runtime/text.h"

namespace mw::demo {
using runtime::gbk;
using runtime::utf8;
namespace {

const char* const kHtmlUtf8 = "text/html; charset=utf-8";
const char* const kHtmlGbk = "text/html; charset=gb2312";
const char* const kFieldPrefix = "ctl00$ctl00$ContentPlaceHolder1$ContentPlaceHolder1$";
const char* const kLabelPrefix = "ctl00_ctl00_ContentPlaceHolder1_ContentPlaceHolder1_";
const char* const kViewStateGenerator = "CA0B0334";
const char* const kLineNames[] = {"第一行文字", "第二行文字", "第三行文字", "第四行文字"};
const int kNewPictures = 12;
const int kSearchPageSize = 20;
const std::size_t kMadePicturesKept = 256;
const std::size_t kMaxPostBytes = 1 << 20;

// encodeURIComponent-style escaping, as the template site writes names into its list blocks.
std::string percentEncode(const std::string& bytes) {
  static const char* hex = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : bytes) {
    if (std::isalnum(c) || c == '-' || c == '.' || c == '_' || c == '~') {
      out += static_cast<char>(c);
    } else {
      out += '%';
      out += hex[c >> 4];
      out += hex[c & 15];
    }
  }
  return out;
}

std::string htmlEscape(const std::string& s) {
  std::string out;
  for (char c : s) {
    switch (c) {
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '&':
        out += "&amp;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '\'':
        out += "&#39;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

std::string base64(const QByteArray& bytes) { return bytes.toBase64().toStdString(); }

// A whole-number query value; `fallback` when absent, -1 when malformed.
int intParam(const httplib::Request& req, const char* name, int fallback) {
  if (!req.has_param(name)) return fallback;
  const std::string v = req.get_param_value(name);
  if (v.empty() || v.size() > 9 || v.find_first_not_of("0123456789") != std::string::npos) return -1;
  return std::stoi(v);
}

}  // namespace

int templateIndexForId(int id, int templateCount) {
  return templateCount > 0 && id > 0 ? (id - 1) % templateCount : 0;
}

struct DemoSite::Impl {
  DemoOptions options;
  std::array<std::unique_ptr<httplib::Server>, kSiteCount> servers;
  std::array<std::thread, kSiteCount> threads;
  std::array<int, kSiteCount> ports{};
  std::array<std::atomic<bool>, kSiteCount> listenEnded{};
  bool started = false;

  std::atomic<long long> visits{0};
  std::atomic<long long> requests{0};
  std::mutex failureMutex;
  std::mt19937 failureRandom;
  QByteArray salt;  // makes forms of one run stale for another

  std::mutex madeMutex;
  std::map<std::string, std::string> made;  // "made/<name>.jpg" -> JPEG bytes
  std::deque<std::string> madeOrder;
  long long madeCount = 0;

  const Catalog& catalog = demoCatalog();

  explicit Impl(DemoOptions o) : options(std::move(o)), failureRandom(options.failureSeed) {
    std::random_device device;
    for (int i = 0; i < 16; ++i) salt.append(static_cast<char>(device() & 0xFF));
  }

  // Address of this site as the client reached it, for absolute links in pages.
  std::string selfAddress(const httplib::Request& req, Site site) const {
    const std::string host = req.get_header_value("Host");
    if (!host.empty() && net::isValidHostPort(host)) return "http://" + host;
    return "http://" + options.bindAddress + ":" + std::to_string(ports[static_cast<int>(site)]);
  }

  // Delays and fault injection shared by every site.
  void install(httplib::Server& server) {
    // httplib's default also sets SO_REUSEPORT, which would let a second site share a fixed
    // port silently; keep only SO_REUSEADDR so a busy port fails the start.
    server.set_socket_options([](socket_t sock) {
      int yes = 1;
      setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    });
    // The largest thing posted is the make form, a few KB: refuse huge bodies before reading them.
    server.set_payload_max_length(kMaxPostBytes);
    server.set_pre_routing_handler([this](const httplib::Request&, httplib::Response& res) {
      ++requests;
      if (options.latencyMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(options.latencyMs));
      bool fail = false;
      if (options.failureRate > 0) {
        const std::lock_guard lock(failureMutex);
        fail = std::uniform_real_distribution<double>(0, 1)(failureRandom) < options.failureRate;
      }
      if (!fail) return httplib::Server::HandlerResponse::Unhandled;
      res.status = 503;
      res.set_content("<html><body><h1>503 Service Unavailable</h1></body></html>", "text/html");
      return httplib::Server::HandlerResponse::Handled;
    });
  }

  // ---- template site ----

  const TemplateEntry* templateFor(int id) const {
    if (id < 1 || id > kListPages * kListPageItems || catalog.templates.empty()) return nullptr;
    return &catalog.templates[templateIndexForId(id, static_cast<int>(catalog.templates.size()))];
  }

  std::string listItem(int id) const {
    const TemplateEntry* t = templateFor(id);
    const std::string name = percentEncode(t->title);
    const std::string sid = std::to_string(id);
    return "<li><a href=\"/face/make.aspx?id=" + sid + "\" target=\"_blank\"><div class=\"img\"><img alt=\"" +
           name + "\" src=\"/store/face/" + sid + "/thumbnail.jpg\" /></div><div class=\"title\"><span>" +
           name + "</span></div></a></li>\r\n";
  }

  static std::string pageHead(const std::string& title) {
    return "<!DOCTYPE html>\r\n<html>\r\n<head>\r\n<meta http-equiv=\"Content-Type\" content=\"text/html; "
           "charset=utf-8\" />\r\n<title>" +
           title +
           "</title>\r\n</head>\r\n<body>\r\n<div class=\"g-header\"><a href=\"/\">表情模板</a> | <a "
           "href=\"/face/New.aspx\">最新模板</a> | <a "
           "href=\"/face/ListWithImage.aspx\">全部模板</a></div>\r\n";
  }

  std::string latestPage() const {
    std::string page =
        pageHead("最新模板") + "<div class=\"g-main\">\r\n <div class=\"link-block thumbnail\">\r\n<ul>\r\n";
    const int newest = kListPages * kListPageItems;
    for (int i = 0; i < kLatestItems; ++i) page += listItem(newest - i);
    page +=
        "</ul>\r\n</div>\r\n</div>\r\n<div "
        "class=\"g-bottombar-ad-block\">广告位招租</div>\r\n</body>\r\n</html>\r\n";
    return page;
  }

  std::string allListPage(int pn) const {
    std::string page = pageHead("全部模板 第" + std::to_string(pn) + "页") +
                       "<div class=\"g-main\">\r\n<ul class=\"link-list\">\r\n";
    if (pn >= 1 && pn <= kListPages)
      for (int j = 1; j <= kListPageItems; ++j) page += listItem((pn - 1) * kListPageItems + j);
    page += "</ul>\r\n<div class=\"bean-page\">";
    if (pn > 1) page += "<a href=\"/face/ListWithImage.aspx?pn=" + std::to_string(pn - 1) + "\">上一页</a> ";
    page += "第" + std::to_string(pn) + "页，共" + std::to_string(kListPages) + "页";
    if (pn < kListPages)
      page += " <a href=\"/face/ListWithImage.aspx?pn=" + std::to_string(pn + 1) + "\">下一页</a>";
    page += "</div>\r\n</div>\r\n</body>\r\n</html>\r\n";
    return page;
  }

  // The hidden fields of a template's form: fixed for one run of the site and one template, so a
  // form fetched from another run (or altered) is stale.
  QByteArray formDigest(int id, const char* what) const {
    QByteArray input = salt;
    input.append(what).append(QByteArray::number(id));
    return QCryptographicHash::hash(input, QCryptographicHash::Sha256);
  }

  std::string viewState(int id) const {
    // "\xFF\x01\x0F" starts every state ("/wEP..."), "\xFB\xEF\xBE" encodes as "++++" and the odd length
    // ends it with "=": the program has to escape all three when it posts the form back.
    QByteArray raw("\xFF\x01\x0F\x0F\xFB\xEF\xBE", 7);
    QByteArray digest = formDigest(id, "viewstate");
    for (int i = 0; i < 12; ++i) {
      raw.append(digest);
      digest = QCryptographicHash::hash(digest, QCryptographicHash::Sha256);
    }
    raw.append(QByteArray::number(id));
    while (raw.size() % 3 == 0) raw.append('\x01');
    return base64(raw);
  }

  std::string eventValidation(int id) const {
    QByteArray raw("\xFF\xFF\xFF\x01", 4);
    raw.append(formDigest(id, "validation"));
    return base64(raw.left(34));
  }

  std::string makePage(int id, const std::string& notice) const {
    const TemplateEntry* t = templateFor(id);
    if (!t) return pageHead("模板不存在") + "<p>模板不存在或已被删除。</p>\r\n</body>\r\n</html>\r\n";
    const std::string sid = std::to_string(id);
    std::string page = pageHead(t->title + " - 在线制作");
    page += "<form method=\"post\" action=\"./make.aspx?id=" + sid +
            "\" id=\"form1\">\r\n<div class=\"aspNetHidden\">\r\n";
    page += "<input type=\"hidden\" name=\"__VIEWSTATE\" id=\"__VIEWSTATE\" value=\"" + viewState(id) +
            "\" />\r\n";
    page += "</div>\r\n<div class=\"aspNetHidden\">\r\n";
    page += "<input type=\"hidden\" name=\"__VIEWSTATEGENERATOR\" id=\"__VIEWSTATEGENERATOR\" value=\"" +
            std::string(kViewStateGenerator) + "\" />\r\n";
    page += "<input type=\"hidden\" name=\"__EVENTVALIDATION\" id=\"__EVENTVALIDATION\" value=\"" +
            eventValidation(id) + "\" />\r\n</div>\r\n";
    page +=
        "<div class=\"search\"><input name=\"ctl00$ctl00$ContentPlaceHolder1$TextBoxSearch\" type=\"text\" "
        "id=\"ctl00_ctl00_ContentPlaceHolder1_TextBoxSearch\" /></div>\r\n";
    page += "<h1>" + htmlEscape(t->title) + "</h1>\r\n";
    if (!notice.empty()) page += "<p class=\"notice\">" + notice + "</p>\r\n";
    page += "<div class=\"preview\"><img src=\"/store/face/" + sid + "/template.jpg\" alt=\"\" /></div>\r\n";
    // The text block is percent-encoded UTF-8 throughout, as the program decodes it whole.
    page += "<div class=\"text-block\">\r\n";
    for (std::size_t i = 0; i < t->captionAreas.size(); ++i) {
      const std::string n = std::to_string(i + 1);
      page += "<p><span id=\"" + std::string(kLabelPrefix) + "LabelTextLine" + n + "\">" +
              percentEncode(kLineNames[i]) + "</span><input name=\"" + kFieldPrefix + "TextBoxTextLine" + n +
              "\" type=\"text\" id=\"" + kLabelPrefix + "TextBoxTextLine" + n + "\" /></p>\r\n";
    }
    page += "</div>\r\n<div class=\"make\"><span class=\"option\"><input id=\"" + std::string(kLabelPrefix) +
            "CheckBoxGif\" type=\"checkbox\" name=\"" + kFieldPrefix + "CheckBoxGif\" /></span>\r\n";
    page += "<input type=\"submit\" name=\"" + std::string(kFieldPrefix) +
            "ButtonMake\" value=\"生成图片！\" />\r\n";
    page += "<textarea name=\"" + std::string(kFieldPrefix) +
            "TextBoxPost\"></textarea>\r\n</div>\r\n</form>\r\n</body>\r\n</html>\r\n";
    return page;
  }

  void answerMakePost(const httplib::Request& req, httplib::Response& res) {
    const int id = intParam(req, "id", -1);
    const TemplateEntry* t = templateFor(id);
    if (!t) {
      res.set_content(makePage(id, {}), kHtmlUtf8);
      return;
    }
    httplib::Params form;
    httplib::detail::parse_query_text(req.body, form);
    auto field = [&](const std::string& name) {
      const auto it = form.find(name);
      return it == form.end() ? std::string() : it->second;
    };
    if (field("__VIEWSTATE") != viewState(id) || field("__EVENTVALIDATION") != eventValidation(id) ||
        field("__VIEWSTATEGENERATOR") != kViewStateGenerator) {
      // As an ASP.NET site rejects a stale or altered form: an error page, no picture.
      res.status = 500;
      res.set_content(
          "<html><head><title>Validation of viewstate MAC failed.</title></head><body><h1>Server Error in "
          "'/' "
          "Application.</h1><p>Validation of viewstate MAC failed. The page you posted is out of date; load "
          "it "
          "again.</p></body></html>\r\n",
          "text/html; charset=utf-8");
      return;
    }
    std::vector<std::string> lines;
    for (std::size_t i = 1; i <= t->captionAreas.size(); ++i)
      lines.push_back(field(std::string(kFieldPrefix) + "TextBoxTextLine" + std::to_string(i)));
    const std::string jpeg = renderCaptions(t->picture, t->captionAreas, lines);
    if (jpeg.empty()) {
      res.status = 500;
      res.set_content(makePage(id, "图片生成失败，请稍后再试。"), kHtmlUtf8);
      return;
    }
    std::string name;
    {
      const std::lock_guard lock(madeMutex);
      const QByteArray tag =
          QCryptographicHash::hash(QByteArray::number(++madeCount) + salt, QCryptographicHash::Md5);
      name = "made/" + std::to_string(id) + "_" + tag.toHex().left(12).toStdString() + ".jpg";
      made.emplace(name, jpeg);
      madeOrder.push_back(name);
      while (madeOrder.size() > kMadePicturesKept) {
        made.erase(madeOrder.front());
        madeOrder.pop_front();
      }
    }
    std::string page = pageHead(t->title + " - 生成结果");
    page += "<div class=\"result\">\r\n<img class=\"JIATHIS_IMG_OK\" src=\"" + name +
            "\" style=\"max-width:100%\" alt=\"\" "
            "/>\r\n<p>右键图片另存为即可保存。</p>\r\n</div>\r\n</body>\r\n</html>\r\n";
    res.set_content(page, kHtmlUtf8);
  }

  void routeTemplateSite(httplib::Server& s) {
    s.Get("/face/New.aspx", [this](const httplib::Request&, httplib::Response& res) {
      res.set_content(latestPage(), kHtmlUtf8);
    });
    s.Get("/face/ListWithImage.aspx", [this](const httplib::Request& req, httplib::Response& res) {
      res.set_content(allListPage(intParam(req, "pn", 1)), kHtmlUtf8);
    });
    s.Get(R"(/store/face/(\d{1,9})/(thumbnail|template)\.jpg)",
          [this](const httplib::Request& req, httplib::Response& res) {
            const TemplateEntry* t = templateFor(std::stoi(req.matches[1]));
            if (!t) {
              res.status = 404;
              return;
            }
            res.set_content(req.matches[2] == "thumbnail" ? t->thumbnail : t->picture, "image/jpeg");
          });
    s.Get("/face/make.aspx", [this](const httplib::Request& req, httplib::Response& res) {
      res.set_content(makePage(intParam(req, "id", -1), {}), kHtmlUtf8);
    });
    s.Post("/face/make.aspx",
           [this](const httplib::Request& req, httplib::Response& res) { answerMakePost(req, res); });
    s.Get(R"(/face/(made/\d+_[0-9a-f]+\.jpg))", [this](const httplib::Request& req, httplib::Response& res) {
      const std::lock_guard lock(madeMutex);
      const auto it = made.find(req.matches[1]);
      if (it == made.end()) {
        res.status = 404;
        return;
      }
      res.set_content(it->second, "image/jpeg");
    });
  }

  // ---- search site (GBK pages) ----

  std::string pictureAddress(const httplib::Request& req, const PictureEntry& p) const {
    return selfAddress(req, Site::Search) + "/uploads/allimg/" + p.fileName;
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

  void routeSearchSite(httplib::Server& s) {
    s.Get("/plus/search.php", [this](const httplib::Request& req, httplib::Response& res) {
      res.set_content(searchPage(req), kHtmlGbk);
    });
    s.Get("/a/new/", [this](const httplib::Request& req, httplib::Response& res) {
      res.set_content(newPicturesPage(req), kHtmlGbk);
    });
    s.Get(R"(/uploads/allimg/([a-z0-9]+\.(jpg|png|gif)))",
          [this](const httplib::Request& req, httplib::Response& res) {
            for (const PictureEntry& p : catalog.pictures) {
              if (p.fileName == req.matches[1]) {
                const std::string ext = req.matches[2];
                res.set_content(p.bytes, ext == "jpg" ? "image/jpeg" : "image/" + ext);
                return;
              }
            }
            res.status = 404;
          });
  }

  // ---- home, announcement, probe, share and group pages ----

  std::string homePage() const {
    const std::string& v = options.newestVersion;
    std::string page =
        "<!DOCTYPE html>\r\n<html>\r\n<head>\r\n<meta http-equiv=\"Content-Type\" content=\"text/html; "
        "charset=utf-8\" />\r\n<title>Memwick 表情助手</title>\r\n</head>\r\n<body>\r\n";
    // 文本1 must come before 文本10: the program's search for "文本1" also matches "文本10".
    page += "<p>最新版本：文本1" + htmlEscape(v) + "文本1</p>\r\n";
    page +=
        "<p>更新说明：文本2" + htmlEscape(v) + "版：网络制作支持四行文字，收藏夹保存更稳定。文本2</p>\r\n";
    page += "<p>公告：文本3欢迎使用Memwick，文本3文本4本站为内置演示站点，图片均为程序绘制。文本4</p>\r\n";
    page += "<ul>\r\n<li>文本5修复：搜索翻页偶尔重复显示的问题。文本5</li>\r\n";
    page += "<li>文本6新增：本地制作可调整文字颜色。文本6</li>\r\n";
    page += "<li>文本7优化：启动时加载更快。文本7</li>\r\n";
    page += "<li>文本8感谢大家的支持！文本8</li>\r\n</ul>\r\n";
    page +=
        "<p>交流群：文本9" + std::string(kGroupKeyFirst) + "文本9文本10" + kGroupKeySecond + "文本10</p>\r\n";
    page += "<p>下载：百度网" + std::string(kShareId) + "百度址 提取码：百度密" + kSharePassword +
            "百度码</p>\r\n";
    page += "</body>\r\n</html>\r\n";
    return page;
  }

  std::string announcementPage() {
    const long long readCount = options.readCounterStart + ++visits;
    return gbk(
        "<html>\r\n<head>\r\n<meta http-equiv=\"Content-Type\" content=\"text/html; charset=gbk\" />\r\n"
        "<title>Memwick 表情助手发布帖 - 软件发布</title>\r\n</head>\r\n<body>\r\n<div class=\"hm "
        "ptn\">\r\n<ul>\r\n"
        "<li>回复：86</li>\r\n<li>阅读：" +
        std::to_string(readCount) +
        "</li>\r\n</ul>\r\n</div>\r\n<div class=\"t_fsz\">Memwick 是一个斗图助手，欢迎下载使用。</div>\r\n"
        "</body>\r\n</html>\r\n");
  }

  void routeOtherSites() {
    servers[static_cast<int>(Site::Home)]->Get("/", [this](const httplib::Request&, httplib::Response& res) {
      res.set_content(homePage(), kHtmlUtf8);
    });
    servers[static_cast<int>(Site::Announcement)]->Get(
        "/forum/thread-2833224-1-1.html", [this](const httplib::Request&, httplib::Response& res) {
          res.set_content(announcementPage(), "text/html; charset=gbk");
        });
    servers[static_cast<int>(Site::Probe)]->Get("/", [](const httplib::Request&, httplib::Response& res) {
      res.set_content(std::string("<!DOCTYPE html>\r\n<html><head><meta charset=\"utf-8\"><title>") +
                          kProbeMarker + "检测</title></head><body><p>" + kProbeMarker +
                          "：正常</p></body></html>\r\n",
                      kHtmlUtf8);
    });
    servers[static_cast<int>(Site::Share)]->Get(R"(/s/([A-Za-z0-9_-]{1,64}))", [](const httplib::Request& req,
                                                                                  httplib::Response& res) {
      res.set_content(
          "<!DOCTYPE html>\r\n<html><head><meta charset=\"utf-8\"><title>Memwick 安装包 - 分享</title></head>"
          "<body><h1>Memwick 安装包</h1><p>分享编号：" +
              req.matches[1].str() + "</p><p>请输入提取码：<input type=\"text\" /></p></body></html>\r\n",
          kHtmlUtf8);
    });
    servers[static_cast<int>(Site::Group)]->Get(
        "/wpa/qunwpa", [](const httplib::Request& req, httplib::Response& res) {
          res.set_content(
              "<!DOCTYPE html>\r\n<html><head><meta charset=\"utf-8\"><title>加入群聊</title></head><body>"
              "<h1>Memwick 交流群</h1><p>邀请码：" +
                  htmlEscape(req.get_param_value("idkey")) +
                  "</p><p>在聊天程序中打开即可加入。</p></body></html>\r\n",
              kHtmlUtf8);
        });
  }
};

DemoSite::DemoSite(DemoOptions options) : impl_(std::make_unique<Impl>(std::move(options))) {}

DemoSite::~DemoSite() { stop(); }

bool DemoSite::start(std::string* error) {
  Impl& d = *impl_;
  auto fail = [&](const std::string& message) {
    stop();
    if (error) *error = message;
    return false;
  };
  if (d.started) return true;
  if (!d.catalog.error.empty()) return fail(d.catalog.error);
  if (d.options.basePort < 0 || d.options.basePort > 65535 - kSiteCount)
    return fail("base port must be 0 or 1 to " + std::to_string(65535 - kSiteCount));
  for (int i = 0; i < kSiteCount; ++i) {
    d.servers[i] = std::make_unique<httplib::Server>();
    d.install(*d.servers[i]);
  }
  d.routeTemplateSite(*d.servers[static_cast<int>(Site::Template)]);
  d.routeSearchSite(*d.servers[static_cast<int>(Site::Search)]);
  d.routeOtherSites();
  for (int i = 0; i < kSiteCount; ++i) {
    httplib::Server& server = *d.servers[i];
    if (d.options.basePort == 0) {
      d.ports[i] = server.bind_to_any_port(d.options.bindAddress);
    } else {
      d.ports[i] = d.options.basePort + i;
      if (!server.bind_to_port(d.options.bindAddress, d.ports[i])) d.ports[i] = -1;
    }
    if (d.ports[i] <= 0) {
      const std::string where =
          d.options.basePort == 0 ? "a free port" : "port " + std::to_string(d.options.basePort + i);
      return fail("cannot listen on " + d.options.bindAddress + " (" + where + ")");
    }
    net::widenListenBacklog(d.ports[i]);
    d.listenEnded[i] = false;
    d.threads[i] = std::thread([&server, &ended = d.listenEnded[i]] {
      server.listen_after_bind();
      ended = true;
    });
    // Stopping a server before its loop runs would leave the loop running: wait for it.
    while (!server.is_running() && !d.listenEnded[i])
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    if (d.listenEnded[i])
      return fail("cannot serve on " + d.options.bindAddress + ":" + std::to_string(d.ports[i]));
  }
  d.started = true;
  return true;
}

void DemoSite::stop() {
  Impl& d = *impl_;
  for (int i = 0; i < kSiteCount; ++i) {
    if (d.servers[i]) d.servers[i]->stop();
    if (d.threads[i].joinable()) d.threads[i].join();
    d.servers[i].reset();
  }
  d.started = false;
}

bool DemoSite::running() const { return impl_->started; }

int DemoSite::port(Site site) const { return impl_->ports[static_cast<int>(site)]; }

net::SiteSettings DemoSite::settings() const {
  auto host = [this](Site site) { return impl_->options.bindAddress + ":" + std::to_string(port(site)); };
  net::SiteSettings s;
  s.templateHost = host(Site::Template);
  s.searchHost = host(Site::Search);
  s.homeHost = host(Site::Home);
  s.announcementHost = host(Site::Announcement);
  s.probeHost = host(Site::Probe);
  s.shareHost = host(Site::Share);
  s.groupHost = host(Site::Group);
  s.probeMarker = kProbeMarker;
  return s;
}

long long DemoSite::announcementVisits() const { return impl_->visits; }

long long DemoSite::requestCount() const { return impl_->requests; }

}  // namespace mw::demo
