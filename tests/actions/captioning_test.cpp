#include "actions/captioning.h"

#include <gtest/gtest.h>

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <QTest>
#include <map>
#include <mutex>
#include <set>

#include "actions/clipboard.h"
#include "forms/notices.h"
#include "forms/paging_bar.h"
#include "net/encoding.h"
#include "net/http_server.h"
#include "support/handler_parts.h"
#include "support/test_pictures.h"

using namespace mw;
using mw::runtime::gbk;
using mw::test::HttpServer;

namespace {

const char* const kLineNames[] = {"第一行文字", "第二行文字", "第三行文字", "第四行文字"};
const std::string kField = "ctl00%24ctl00%24ContentPlaceHolder1%24ContentPlaceHolder1%24TextBoxTextLine";
// What every post ends with: the button's value 生成图片！ as UTF-8, and the empty post box.
const std::string kPostTail =
    "&ctl00%24ctl00%24ContentPlaceHolder1%24ContentPlaceHolder1%24ButtonMake=%E7%94%9F%E6%88%90%E5%9B%BE%E7%"
    "89%87%"
    "EF%BC%81&ctl00%24ctl00%24ContentPlaceHolder1%24ContentPlaceHolder1%24TextBoxPost=";

struct Logged {
  std::string method, target, body;
  httplib::Headers headers;
};

// A template site with make forms of 1 to 4 lines (template id n has the lines of
// `lineCounts[n]`), whose line names carry the id, and a POST that names a made picture.
class FormSite {
 public:
  FormSite()
      : server_([this](httplib::Server& s) {
          s.Get("/face/make.aspx", [this](const httplib::Request& q, httplib::Response& r) {
            log(q);
            const int id = std::stoi(q.get_param_value("id"));
            if (!lineCounts.count(id)) {
              r.status = 404;
              r.set_content("<html>not here</html>", "text/html");
              return;
            }
            r.set_content(makePage(id), "text/html; charset=utf-8");
          });
          s.Post("/face/make.aspx", [this](const httplib::Request& q, httplib::Response& r) {
            log(q);
            const std::string img = answerMarker
                                        ? "<img class=\"JIATHIS_IMG_OK\" src=\"made/" +
                                              std::to_string(++posts_) + ".png\" style=\"max-width:100%\" />"
                                        : "<p>busy</p>";
            r.set_content("<html><body>" + img + "</body></html>", "text/html; charset=utf-8");
          });
          s.Get(R"(/store/face/(\d+)/thumbnail.jpg)",
                [this](const httplib::Request& q, httplib::Response& r) {
                  log(q);
                  if (failThumbnails) {
                    r.status = 404;
                    return;
                  }
                  r.set_content(thumbnail(std::stoi(q.matches[1])), "image/png");
                });
          s.Get(R"(/face/.*)", [this](const httplib::Request& q, httplib::Response& r) {
            log(q);
            r.set_content(madeBytes.empty() ? made(q.path) : madeBytes, "image/png");
          });
        }) {}

  std::string base() const { return server_.url(""); }
  std::string thumbUrl(int id) const {
    return base() + "/store/face/" + std::to_string(id) + "/thumbnail.jpg";
  }
  static std::string thumbnail(int id) { return test::solidPicture(30 + id, 20, QColor(id * 40, 0, 0)); }
  static std::string made(const std::string& path) {
    return test::solidPicture(60, 40 + int(path.size()), QColor(0, 120, 0));
  }
  // Line i of template `id`, as the site names it.
  static std::string lineName(int id, int i) {
    return std::string(kLineNames[i - 1]) + " " + std::to_string(id);
  }

  std::vector<Logged> log() const {
    std::lock_guard lock(mutex_);
    return log_;
  }
  std::vector<std::string> requests() const {
    std::vector<std::string> out;
    for (const Logged& l : log()) out.push_back(l.method + " " + l.target);
    return out;
  }
  void clearLog() {
    std::lock_guard lock(mutex_);
    log_.clear();
  }

  std::map<int, int> lineCounts;  // template id -> caption lines
  std::string viewState = "/wEP++ab=";
  std::string eventValidation = "x+y/z==";
  bool answerMarker = true;
  bool failThumbnails = false;
  std::string madeBytes;  // instead of a made picture when set

 private:
  std::string makePage(int id) const {
    std::string page =
        "<html><body><form>\r\n<input type=\"hidden\" name=\"__VIEWSTATE\" id=\"__VIEWSTATE\" value=\"" +
        viewState +
        "\" />\r\n<input type=\"hidden\" name=\"__VIEWSTATEGENERATOR\" "
        "id=\"__VIEWSTATEGENERATOR\" value=\"CA0B0334\" />\r\n<input type=\"hidden\" "
        "name=\"__EVENTVALIDATION\" id=\"__EVENTVALIDATION\" value=\"" +
        eventValidation + "\" />\r\n<div class=\"text-block\">\r\n";
    for (int i = 1; i <= lineCounts.at(id); ++i)
      page += "<p><span id=\"ctl00_ctl00_ContentPlaceHolder1_ContentPlaceHolder1_LabelTextLine" +
              std::to_string(i) + "\">" + net::urlEncode(lineName(id, i)) +
              "</span><input type=\"text\" /></p>\r\n";
    return page + "</div><span class=\"option\"><input id=\"gif\" /></span></form></body></html>";
  }
  void log(const httplib::Request& q) {
    std::lock_guard lock(mutex_);
    log_.push_back({q.method, q.target, q.body, q.headers});
  }

  int posts_ = 0;
  mutable std::mutex mutex_;
  std::vector<Logged> log_;
  HttpServer server_;  // last: stops before what its handlers read goes away
};

struct Captioning : ::testing::Test {
  FormSite site;
  test::HandlerParts parts;
  forms::HandlerRegistry registry{parts.context};
  forms::MainForm& f = parts.main;

  void SetUp() override {
    parts.sites = test::sitesAt(site.base());
    actions::bindCaptioning(registry);
  }
  // Shows templates `ids` in slots 1.. of the list, as the list loads leave them.
  void showList(const std::vector<int>& ids, int lines = 1) {
    parts.state.list.listImageUrls.clear();
    for (std::size_t k = 0; k < ids.size(); ++k) {
      site.lineCounts.emplace(ids[k], lines);
      parts.state.list.listImageUrls.push_back(site.thumbUrl(ids[k]));
      f.slot(9 + int(k))->setPicture(FormSite::thumbnail(ids[k]));
    }
  }
  void press(QWidget* w) {
    auto* edit = qobject_cast<toolkit::EditBox*>(w);
    QTest::mousePress(edit ? edit->editor() : w, Qt::LeftButton, {}, QPoint(5, 5));
  }
  toolkit::Label* label(int i) const {
    return std::array{f.网络_标签_1, f.网络_标签_2, f.网络_标签_3, f.网络_标签_4}[i - 1];
  }
  toolkit::EditBox* edit(int i) const {
    return std::array{f.网络_编辑框_1, f.网络_编辑框_2, f.网络_编辑框_3, f.网络_编辑框_4}[i - 1];
  }
  Text tip() const { return f.气球提示框1->text(); }
  std::string lastPostBody() const {
    std::string body;
    for (const Logged& l : site.log())
      if (l.method == "POST") body = l.body;
    return body;
  }
};

TEST_F(Captioning, OpeningTemplatesOfFourToOneLinesSetsLabelsAndShownBoxes) {
  showList({4, 3, 2, 1});
  for (int id = 1; id <= 4; ++id) site.lineCounts[id] = id;
  edit(1)->setText("kept");
  edit(4)->setText("kept too");
  for (int slot = 1; slot <= 4; ++slot) {
    const int lines = 5 - slot;
    SCOPED_TRACE(lines);
    f.showPage(forms::Page::Edit);
    site.clearLog();
    press(f.slot(8 + slot));
    EXPECT_EQ(parts.state.make.selectedTemplate, slot);
    EXPECT_EQ(parts.state.make.captionLineCount, lines);
    EXPECT_EQ(f.page(), forms::Page::Online);
    EXPECT_TRUE(f.显示页->isHidden());
    EXPECT_EQ(f.网络_预览->picture(), FormSite::thumbnail(lines));
    const std::vector<std::string> requests = site.requests();
    const std::set<std::string> requested(requests.begin(), requests.end());
    EXPECT_EQ(requested,
              (std::set<std::string>{"GET /face/make.aspx?id=" + std::to_string(lines),
                                     "GET /store/face/" + std::to_string(lines) + "/thumbnail.jpg"}));
    EXPECT_FALSE(label(1)->isHidden());
    EXPECT_FALSE(edit(1)->isHidden());
    for (int i = 2; i <= 4; ++i) {
      EXPECT_EQ(label(i)->isHidden(), i > lines) << i;
      EXPECT_EQ(edit(i)->isHidden(), i > lines) << i;
    }
    // Hidden lines keep the name the last template that had them gave.
    for (int i = 1; i <= 4; ++i)
      EXPECT_EQ(label(i)->caption(), gbk(FormSite::lineName(std::max(i, lines), i))) << i;
  }
  EXPECT_EQ(edit(1)->text(), "kept");
  EXPECT_EQ(edit(4)->text(), "kept too");

  // Slot k opens item listSlotBase + k; an empty box opens nothing.
  parts.state.list.listSlotBase = 1;
  press(f.图片框11);
  EXPECT_EQ(parts.state.make.selectedTemplate, 4);
  EXPECT_EQ(label(1)->caption(), gbk(FormSite::lineName(1, 1)));
  site.clearLog();
  f.showPage(forms::Page::Edit);
  press(f.图片框16);
  EXPECT_EQ(tip(), "无图片数据"_gbk);
  EXPECT_EQ(parts.state.make.selectedTemplate, 4);
  EXPECT_EQ(f.page(), forms::Page::Edit);
  EXPECT_TRUE(site.requests().empty());
}

TEST_F(Captioning, ThePostCarriesTheFreshFormAndTheCountedLinesByteForByte) {
  const std::string head =
      "__VIEWSTATE=%2FwEP%2B%2Bab%3D&__VIEWSTATEGENERATOR=CA0B0334&__EVENTVALIDATION=x%2By%2Fz%3D%3D"
      "&ctl00%24ctl00%24ContentPlaceHolder1%24TextBoxSearch=";
  const std::string typed[] = {"%E4%BD%A0%E5%A5%BD", "a%20b", "C-3.x", "%2B%26%3D%25"};
  showList({1, 3, 4});
  site.lineCounts = {{1, 1}, {3, 3}, {4, 4}};
  edit(1)->setText("你好"_gbk);
  edit(2)->setText("a b");
  edit(3)->setText("C-3.x");
  edit(4)->setText("+&=%");
  for (int slot : {1, 2, 3}) {
    const int lines = slot == 1 ? 1 : slot + 1;
    SCOPED_TRACE(lines);
    press(f.slot(8 + slot));
    site.clearLog();
    press(f.网络_生成);
    std::string expected = head;
    for (int i = 1; i <= lines; ++i) expected += "&" + kField + std::to_string(i) + "=" + typed[i - 1];
    EXPECT_EQ(lastPostBody(), expected + kPostTail);

    // A fresh form before the post, then the picture the answer names.
    const std::string make = "/face/make.aspx?id=" + std::to_string(lines);
    ASSERT_EQ(site.requests(),
              (std::vector<std::string>{"GET " + make, "POST " + make,
                                        "GET /face/made/" + std::to_string(slot * 2 - 1) + ".png"}));
    EXPECT_EQ(f.网络_预览->picture(), FormSite::made("/face/made/" + std::to_string(slot * 2 - 1) + ".png"));

    // Again with other text and a changed form: the new hidden fields are sent.
    site.viewState = "new";
    edit(1)->setText("x");
    press(f.网络_生成);
    EXPECT_EQ(site.requests().size(), 6u);
    EXPECT_EQ(site.requests()[3], "GET " + make);
    EXPECT_EQ(lastPostBody().substr(0, 17), "__VIEWSTATE=new&_");
    EXPECT_NE(lastPostBody().find(kField + "1=x&"), std::string::npos);
    site.viewState = "/wEP++ab=";
    edit(1)->setText("你好"_gbk);
  }

  // The post goes out with the request engine's default headers.
  const Logged post = site.log()[4];
  ASSERT_EQ(post.method, "POST");
  const auto header = [&](const char* name) {
    const auto it = post.headers.find(name);
    return it == post.headers.end() ? std::string("(none)") : it->second;
  };
  EXPECT_EQ(header("Content-Type"), "application/x-www-form-urlencoded");
  EXPECT_EQ(header("User-Agent"), "Mozilla/5.0 (compatible; MSIE 9.0; Windows NT 6.1; WOW64; Trident/5.0)");
  EXPECT_EQ(header("Accept"), "text/html, application/xhtml+xml, */*");
  EXPECT_EQ(header("Accept-Language"), "zh-cn");
  EXPECT_EQ(header("Content-Length"), std::to_string(post.body.size()));
}

TEST_F(Captioning, ThePreviewCopiesTheTemplateThenTheMadePicture) {
  QClipboard* clipboard = QGuiApplication::clipboard();
  const auto copied = [&] { return clipboard->image().convertToFormat(QImage::Format_RGB32); };
  const auto decoded = [](const Bytes& b) {
    return QImage::fromData(QByteArray::fromStdString(b)).convertToFormat(QImage::Format_RGB32);
  };
  showList({2});
  site.lineCounts[2] = 2;
  press(f.图片框9);
  clipboard->setText("before");
  press(f.网络_预览);
  EXPECT_EQ(copied(), decoded(FormSite::thumbnail(2)));
  EXPECT_EQ(tip(), actions::kCopiedTip);

  press(f.网络_生成);
  ASSERT_NE(f.网络_预览->picture(), FormSite::thumbnail(2));
  press(f.网络_预览);
  EXPECT_EQ(copied(), decoded(f.网络_预览->picture()));
  EXPECT_EQ(tip(), actions::kCopiedTip);
}

TEST_F(Captioning, FailuresLeaveAnEmptyFormAnEmptyPreviewOrTheOldPicture) {
  // A make page that is not there: one line, empty names, empty hidden fields.
  showList({7, 8});
  site.lineCounts = {{8, 4}};
  press(f.图片框10);
  label(1)->setCaption("old");
  press(f.图片框9);
  EXPECT_EQ(parts.state.make.captionLineCount, 1);
  EXPECT_EQ(label(1)->caption(), "");
  EXPECT_TRUE(label(2)->isHidden());
  EXPECT_EQ(label(2)->caption(), gbk(FormSite::lineName(8, 2)));
  site.clearLog();
  edit(1)->setText("t");
  press(f.网络_生成);
  EXPECT_EQ(lastPostBody(),
            "__VIEWSTATE=&__VIEWSTATEGENERATOR=&__EVENTVALIDATION=&ctl00%24ctl00%24ContentPlaceHolder1%"
            "24TextBoxSearch=&" +
                kField + "1=t" + kPostTail);

  // An answer without the picture marker: base + "/face/" is fetched; what comes back is no
  // picture, so the preview stays and the tip says so.
  const Bytes before = f.网络_预览->picture();
  site.answerMarker = false;
  site.madeBytes = "<html>no picture</html>";
  site.clearLog();
  press(f.网络_生成);
  EXPECT_EQ(site.requests().back(), "GET /face/");
  EXPECT_EQ(f.网络_预览->picture(), before);
  EXPECT_EQ(tip(), actions::kGenerateFailedTip);
  EXPECT_EQ(tip(), "生成失败，请稍后再试"_gbk);

  // A thumbnail that cannot be downloaded leaves the preview empty.
  site.failThumbnails = true;
  press(f.图片框10);
  EXPECT_EQ(f.page(), forms::Page::Online);
  EXPECT_TRUE(f.网络_预览->picture().empty());
  QGuiApplication::clipboard()->setText("before");
  press(f.网络_预览);
  EXPECT_EQ(tip(), "未找到图片数据"_gbk);
  EXPECT_EQ(QGuiApplication::clipboard()->text(), "before");

  // The list was loaded again: another template at the selected place, then fewer items. Neither
  // is made with the lines shown.
  site.failThumbnails = false;
  press(f.图片框10);
  showList({7, 9});
  site.clearLog();
  forms::showCursorTip(parts.context, "x");
  press(f.网络_生成);
  EXPECT_EQ(tip(), "请重新选择模板"_gbk);
  EXPECT_TRUE(site.requests().empty());
  parts.state.list.listImageUrls.resize(1);
  forms::showCursorTip(parts.context, "x");
  press(f.网络_生成);
  EXPECT_EQ(tip(), "请重新选择模板"_gbk);
  f.showPage(forms::Page::Edit);
  forms::showCursorTip(parts.context, "x");
  press(f.图片框10);
  EXPECT_EQ(tip(), "请重新选择模板"_gbk);
  EXPECT_EQ(f.page(), forms::Page::Edit);
  EXPECT_TRUE(site.requests().empty());
}

TEST_F(Captioning, EditBoxPressEmptiesThatBoxAndBackShowsTheList) {
  for (int i = 1; i <= 4; ++i) edit(i)->setText("line");
  press(edit(3));
  for (int i = 1; i <= 4; ++i) EXPECT_EQ(edit(i)->text(), i == 3 ? "" : "line") << i;

  f.showPage(forms::Page::Online);
  forms::hidePagingBar(f, true);
  press(f.网络制作_返回按钮);
  EXPECT_EQ(f.page(), forms::Page::Edit);
  EXPECT_FALSE(f.显示页->isHidden());
  EXPECT_FALSE(f.跳页_编辑框->isHidden());
}

}  // namespace
