#include <QByteArray>
#include <QCryptographicHash>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <random>

#include "demo/caption_renderer.h"
#include "demo/content_catalog.h"
#include "demo/demo_site.h"
#include "demo/sites.h"
#include "site/site_server.h"

namespace mw::demo {
namespace {

const char* const kFieldPrefix = "ctl00$ctl00$ContentPlaceHolder1$ContentPlaceHolder1$";
const char* const kLabelPrefix = "ctl00_ctl00_ContentPlaceHolder1_ContentPlaceHolder1_";
const char* const kViewStateGenerator = "CA0B0334";
const char* const kLineNames[] = {"第一行文字", "第二行文字", "第三行文字", "第四行文字"};
const std::size_t kMadePicturesKept = 256;

std::string base64(const QByteArray& bytes) { return bytes.toBase64().toStdString(); }

// The template site: lists, make forms whose hidden fields belong to this run, and the
// pictures made from posted forms (the latest few kept).
struct TemplateSite {
  const Catalog& catalog;
  QByteArray salt;  // makes forms of one run stale for another

  std::mutex madeMutex;
  std::map<std::string, std::string> made;  // "made/<name>.jpg" -> JPEG bytes
  std::deque<std::string> madeOrder;
  long long madeCount = 0;

  explicit TemplateSite(const Catalog& c) : catalog(c) {
    std::random_device device;
    for (int i = 0; i < 16; ++i) salt.append(static_cast<char>(device() & 0xFF));
  }

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
};

}  // namespace

int templateIndexForId(int id, int templateCount) {
  return templateCount > 0 && id > 0 ? (id - 1) % templateCount : 0;
}

void routeTemplateSite(httplib::Server& s, const Catalog& catalog) {
  // The handlers share the site's state; it lives as long as the server keeps them.
  const auto site = std::make_shared<TemplateSite>(catalog);
  s.Get("/face/New.aspx", [site](const httplib::Request&, httplib::Response& res) {
    res.set_content(site->latestPage(), kHtmlUtf8);
  });
  s.Get("/face/ListWithImage.aspx", [site](const httplib::Request& req, httplib::Response& res) {
    res.set_content(site->allListPage(intParam(req, "pn", 1)), kHtmlUtf8);
  });
  s.Get(R"(/store/face/(\d{1,9})/(thumbnail|template)\.jpg)",
        [site](const httplib::Request& req, httplib::Response& res) {
          const TemplateEntry* t = site->templateFor(std::stoi(req.matches[1]));
          if (!t) {
            res.status = 404;
            return;
          }
          res.set_content(req.matches[2] == "thumbnail" ? t->thumbnail : t->picture, "image/jpeg");
        });
  s.Get("/face/make.aspx", [site](const httplib::Request& req, httplib::Response& res) {
    res.set_content(site->makePage(intParam(req, "id", -1), {}), kHtmlUtf8);
  });
  s.Post("/face/make.aspx",
         [site](const httplib::Request& req, httplib::Response& res) { site->answerMakePost(req, res); });
  s.Get(R"(/face/(made/\d+_[0-9a-f]+\.jpg))", [site](const httplib::Request& req, httplib::Response& res) {
    const std::lock_guard lock(site->madeMutex);
    const auto it = site->made.find(req.matches[1]);
    if (it == site->made.end()) {
      res.status = 404;
      return;
    }
    res.set_content(it->second, "image/jpeg");
  });
}

}  // namespace mw::demo
