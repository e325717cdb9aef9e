#include "shell/startup.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QTest>
#include <algorithm>
#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>

#include "forms/paging_bar.h"
#include "runtime/files.h"
#include "runtime/ini_file.h"
#include "shell/program.h"
#include "startup_site.h"
#include "support/form_pictures.h"
#include "support/scripted_desktop.h"
#include "support/temp_folder.h"

using namespace mw;
using namespace mw::shell;
using mw::test::formPicture;
using mw::test::StartUpSite;
using mw::toolkit::Event;
using Requests = std::vector<std::string>;
using Flags = forms::PagingFlags;

namespace {

class StartUpTest : public ::testing::Test {
 protected:
  // Starts the program on the scripted sites as main does, its path warmed first, and waits
  // until its start-up step has run. `built` sees the program before it starts.
  void start(const std::function<void(Program&)>& built = {}) {
    if (!withSettings) std::filesystem::remove(places.folder.path() / "MW_scdz.ini");
    warm = warmPath(site.settings());
    p = std::make_unique<Program>(formPicture, site.settings(), desk, places);
    if (built) built(*p);
    p->start();
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
          return p->registry.runs(p->main.主窗口, Event::FirstActivation) > 0 && !p->registry.gate().busy();
        },
        10000));
  }
  Flags pagingFlags() const {
    const auto& f = p->main;
    return {toolkit::isDisabledFlag(f.上一页), toolkit::isDisabledFlag(f.首页),
            toolkit::isDisabledFlag(f.下一页), toolkit::isDisabledFlag(f.跳页_按钮)};
  }
  std::vector<Text> messages() const {
    std::vector<Text> out;
    for (const auto& c : desk.calls)
      if (c.what == "messageBox") out.push_back(c.text);
    return out;
  }
  void TearDown() override {
    if (!p) return;
    p->update.更新窗口->destroyWindow();
    p->main.主窗口->destroyWindow();
  }

  Text favourites() const { return places.places.favouritesFolder; }
  Text settingsFile() const { return places.places.settingsFile(); }

  StartUpSite site;
  test::ScriptedDesktop desk;
  test::TempPlaces places;
  bool withSettings = true;  // false: no settings file before the start
  std::unique_ptr<net::PathWarmUp> warm;
  std::unique_ptr<Program> p;
};

TEST_F(StartUpTest, NormalStartFillsFooterBothPicturePagesAndPagingStates) {
  start();
  auto& f = p->main;
  const auto& s = p->state;
  EXPECT_EQ(f.标签_使用次数->caption(), "历史使用次数：20734"_gbk);
  EXPECT_EQ(f.标签_广告1->caption(), "公告：公告一公告二"_gbk);
  EXPECT_EQ(f.标签_更新->caption(), "已是最新版"_gbk);
  EXPECT_EQ(s.update.latestVersion, "1.3");
  EXPECT_EQ(s.update.updateNotes, "第一条说明"_gbk);
  EXPECT_EQ(s.update.groupLink, site.base() + "/wpa/qunwpa?idkey=key1key2");
  EXPECT_EQ(s.paging.lastEditPage, forms::Page::Edit);
  EXPECT_TRUE(messages().empty());

  // The home page: the first eight new pictures, every paging button disabled.
  EXPECT_EQ(f.page(), forms::Page::Home);
  ASSERT_EQ(s.search.searchShownUrls.size(), 8u);
  for (int k = 1; k <= 8; ++k) {
    EXPECT_EQ(f.slot(k)->picture(), StartUpSite::picture(StartUpSite::newPicture(k))) << k;
    EXPECT_EQ(s.search.searchShownUrls[k - 1], site.base() + StartUpSite::newPicture(k));
  }
  EXPECT_EQ(pagingFlags(), (Flags{1, 1, 1, 1}));
  EXPECT_EQ(s.paging.savedHomePaging, (Flags{1, 1, 1, 1}));
  EXPECT_EQ(f.显示页->caption(), "1/1");
  EXPECT_EQ(f.标签_记录->caption(), "");

  // The 编辑 page holds the latest list, with 下一页 enabled there: 95 items make 9 pages.
  EXPECT_EQ(s.paging.savedEditPaging, (Flags{1, 1, 0, 1}));
  EXPECT_EQ(s.list.listMode, forms::ListMode::Latest);
  EXPECT_EQ(s.list.listPage, 1);
  EXPECT_EQ(s.list.listPageCount, 9);
  EXPECT_EQ(s.list.listRecordCaption, "共9页85条内容"_gbk);
  EXPECT_EQ(s.list.listImageUrls.size(), 95u);
  for (int k = 1; k <= 8; ++k)
    EXPECT_EQ(f.slot(8 + k)->picture(), StartUpSite::picture(StartUpSite::latestThumb(k))) << k;
  EXPECT_EQ(f.网络最新编辑->backgroundColour(), QColor(0xEC, 0xEC, 0xEC));
  EXPECT_EQ(f.网络所有编辑->border(), toolkit::Border::None);

  // Each request after what it depends on, the independent ones side by side.
  // The settings: the folder shown, made, and its marker picture written.
  EXPECT_EQ(s.favourites.favouritesFolder, favourites());
  EXPECT_EQ(f.收藏目录地址显示->caption(), favourites());
  EXPECT_EQ(runtime::readFile(favourites() + "/请不要删除本文件.gif"_gbk), formPicture("marker.gif"));

  const Requests r = site.requests();
  ASSERT_EQ(r.size(), 1u + 2 + 2 + 16);
  EXPECT_EQ(r[0], "probe /");
  const auto at = [&](const std::string& path) { return std::find(r.begin(), r.end(), path) - r.begin(); };
  EXPECT_LT(at("/"), at("/a/new/"));
  EXPECT_LT(at("/"), at("/face/New.aspx"));
  for (int k = 1; k <= 8; ++k) {
    EXPECT_LT(at("/a/new/"), at(StartUpSite::newPicture(k))) << k;
    EXPECT_LT(at("/face/New.aspx"), at(StartUpSite::latestThumb(k))) << k;
  }
  EXPECT_LT(at("/forum/thread-2833224-1-1.html"), ptrdiff_t(r.size()));

  // The standard controls now have the flat look: a one-pixel #A4B97F frame, no bevel.
  const QImage button = f.跳页_按钮->grab().toImage();
  EXPECT_EQ(button.pixelColor(0, button.height() / 2), QColor(0xA4, 0xB9, 0x7F));
  EXPECT_EQ(button.pixelColor(3, 3), button.pixelColor(3, button.height() - 4));
}

// A slow announcement holds nothing back: it only fills the usage count, which start-up still
// shows before it returns.
TEST_F(StartUpTest, SlowAnnouncementHoldsBackNoPicture) {
  site.announcementDelayMs = 1500;
  std::optional<std::chrono::steady_clock::time_point> allShown;
  start([&](Program& program) {
    for (int k = 1; k <= 16; ++k) {
      QObject::connect(&program.main.slot(k)->pictureView(), &picture::Picture::changed,
                       [&program, &allShown] {
                         for (int j = 1; j <= 16; ++j)
                           if (program.main.slot(j)->picture().empty()) return;
                         if (!allShown) allShown = std::chrono::steady_clock::now();
                       });
    }
  });
  ASSERT_TRUE(allShown.has_value());
  EXPECT_LT(*allShown, site.announcementAnswered());
  EXPECT_EQ(p->main.标签_使用次数->caption(), "历史使用次数：20734"_gbk);
}

TEST(UsageCount, CounterPlusOffsetTruncated) {
  EXPECT_EQ(usageCount("<li>阅读：1234</li>"_gbk), "历史使用次数：20734"_gbk);
  EXPECT_EQ(usageCount("<li>阅读：12.9</li>"_gbk), "历史使用次数：19512"_gbk);
  EXPECT_EQ(usageCount("<li>阅读：多</li>"_gbk), "历史使用次数：19500"_gbk);
  EXPECT_EQ(usageCount(""), "历史使用次数：19500"_gbk);
  // Counters near or beyond the largest integer show that largest value.
  for (const char* counter : {"9223372036854775807", "9223372036854770000", "123456789012345678901"})
    EXPECT_EQ(usageCount("<li>阅读："_gbk + counter + "</li>"), "历史使用次数：9223372036854775807"_gbk)
        << counter;
}

TEST(VersionOffer, ByteWiseComparisonOfTheOwnVersion) {
  for (const char* newer : {"1.4", "2.0", "1.30", "10"}) EXPECT_TRUE(newerVersion("1.3", newer)) << newer;
  for (const char* same : {"1.3", "1.2", ""}) EXPECT_FALSE(newerVersion("1.3", same)) << same;
}

TEST_F(StartUpTest, AcceptedOfferLeavesOnlyTheUpdateWindow) {
  site.homePage = StartUpSite::utf8Page("文本11.4文本1 文本9k文本9");
  desk.answers = {platform::MessageAnswer::Ok};
  start();
  EXPECT_EQ(messages(), std::vector<Text>{"发现新版本，是否进入下载界面？"_gbk});
  EXPECT_EQ(desk.calls[0].buttons, platform::MessageButtons::OkCancel);
  EXPECT_FALSE(p->main.主窗口->isVisible());
  EXPECT_TRUE(p->update.更新窗口->isVisible());
  EXPECT_EQ(p->update.标签1->caption(), "当前版本：1.3最新版本：1.4"_gbk);
  // The update window read the home page again; no list was requested.
  const Requests r = site.requests();
  ASSERT_EQ(r.size(), 4u);
  EXPECT_EQ(r[0], "probe /");
  EXPECT_THAT(Requests(r.begin() + 1, r.begin() + 3),
              ::testing::UnorderedElementsAre("/forum/thread-2833224-1-1.html", "/"));
  EXPECT_EQ(r[3], "/");
  EXPECT_TRUE(p->state.list.listImageUrls.empty());
}

TEST_F(StartUpTest, DeclinedOfferMakesTheUpdateLabelClickableAndGoesOn) {
  site.homePage = StartUpSite::utf8Page("文本12.0文本1");
  desk.answers = {platform::MessageAnswer::Cancel};
  start();
  auto& f = p->main;
  EXPECT_EQ(f.标签_更新->caption(), "发现新版本"_gbk);
  EXPECT_EQ(f.标签_更新->textColour(), QColor(0, 0, 0xFF));
  EXPECT_EQ(f.标签_更新->cursor().shape(), Qt::PointingHandCursor);
  EXPECT_TRUE(f.主窗口->isVisible());
  EXPECT_FALSE(p->update.更新窗口->isVisible());
  EXPECT_EQ(p->state.list.listImageUrls.size(), 95u);
  // Now a press on the label opens the update window.
  QTest::mousePress(f.标签_更新, Qt::LeftButton, {}, QPoint(5, 5));
  EXPECT_TRUE(p->update.更新窗口->isVisible());
}

TEST_F(StartUpTest, OfflineShowsOnlyTheLocalSourceAndRequestsNothingElse) {
  site.probePage = "<html>别的内容</html>";
  start();
  auto& f = p->main;
  EXPECT_EQ(f.page(), forms::Page::Edit);
  EXPECT_EQ(f.主窗口->picture(), formPicture("skin_home.png"));
  EXPECT_TRUE(f.网络所有编辑->isHidden());
  EXPECT_TRUE(f.网络最新编辑->isHidden());
  EXPECT_FALSE(f.本地保存编辑->isHidden());
  EXPECT_TRUE(toolkit::isDisabledFlag(f.首页));
  EXPECT_EQ(f.标签_使用次数->caption(), "");
  EXPECT_EQ(f.标签_广告1->caption(), "“Memwick官方二群”欢迎大家进群"_gbk);
  EXPECT_EQ(site.requests(), Requests{"probe /"});
  for (int k = 1; k <= 16; ++k) EXPECT_TRUE(f.slot(k)->picture().empty()) << k;
}

TEST_F(StartUpTest, PagesThatFailGiveTheBareCountNoticeAndNoOffer) {
  site.failing = {"/forum/thread-2833224-1-1.html", "/"};
  start();
  auto& f = p->main;
  EXPECT_EQ(f.标签_使用次数->caption(), "历史使用次数：19500"_gbk);
  EXPECT_EQ(f.标签_广告1->caption(), "公告："_gbk);
  EXPECT_EQ(p->state.update.latestVersion, "");
  EXPECT_EQ(p->state.update.groupLink, site.base() + "/wpa/qunwpa?idkey=");
  EXPECT_TRUE(messages().empty());
  EXPECT_EQ(p->state.list.listImageUrls.size(), 95u);
}

TEST_F(StartUpTest, FewerThanEightNewPicturesLeaveTheOtherBoxesEmpty) {
  site.newPictures = 5;
  start();
  auto& f = p->main;
  for (int k = 1; k <= 8; ++k) {
    EXPECT_EQ(f.slot(k)->picture(), k <= 5 ? StartUpSite::picture(StartUpSite::newPicture(k)) : "") << k;
    EXPECT_EQ(p->state.search.searchShownUrls[k - 1], k <= 5 ? site.base() + StartUpSite::newPicture(k) : "");
  }
}

TEST_F(StartUpTest, LatestListOfNineShowsEightUnderZeroPagesAndBelowNineNothing) {
  site.latestItems = 9;
  start();
  EXPECT_EQ(p->state.list.listRecordCaption, "共0页8条内容"_gbk);
  EXPECT_EQ(p->state.list.listPageCount, 0);
  EXPECT_EQ(p->state.paging.savedEditPaging[2], 1) << "下一页 stays disabled";
  for (int k = 1; k <= 8; ++k) EXPECT_FALSE(p->main.slot(8 + k)->picture().empty()) << k;
  EXPECT_TRUE(messages().empty());
}

TEST_F(StartUpTest, LatestListBelowNineSaysNoMatchesAfterTheHomePictures) {
  site.latestItems = 8;
  start();
  EXPECT_EQ(messages(), std::vector<Text>{"没有匹配数据"_gbk});
  EXPECT_TRUE(p->state.list.listImageUrls.empty());
  for (int k = 1; k <= 8; ++k) {
    EXPECT_FALSE(p->main.slot(k)->picture().empty()) << k;
    EXPECT_TRUE(p->main.slot(8 + k)->picture().empty()) << k;
  }
  for (const std::string& r : site.requests())
    EXPECT_FALSE(r.starts_with("/t/")) << "no thumbnail is requested";
}

}  // namespace

namespace {

TEST_F(StartUpTest, MissingSettingsFileIsReportedAndTheDefaultWritten) {
  withSettings = false;
  site.probePage = "offline";  // the settings are read on the offline road too
  start();
  EXPECT_EQ(messages(), std::vector<Text>{"未找到MW_scdz.ini文件，收藏目录已恢复默认"_gbk});
  EXPECT_EQ(runtime::readFile(settingsFile()), "[收藏]\n地址="_gbk + favourites() + "\n");
  EXPECT_EQ(p->state.favourites.favouritesFolder, favourites());
  EXPECT_TRUE(runtime::fileExists(favourites() + "/请不要删除本文件.gif"_gbk));
}

TEST_F(StartUpTest, EmptyValueIsReplacedSilentlyAMissingKeyIsNot) {
  ASSERT_TRUE(runtime::writeFile(settingsFile(), "[收藏]\r\n地址=\r\n"_gbk));
  start();
  EXPECT_TRUE(messages().empty());
  EXPECT_EQ(runtime::readIni(settingsFile(), "收藏"_gbk, "地址"_gbk), favourites());
  EXPECT_EQ(p->state.favourites.favouritesFolder, favourites());
  TearDown();

  const Bytes noKey = "[收藏]\r\n别的=1\r\n"_gbk;
  ASSERT_TRUE(runtime::writeFile(settingsFile(), noKey));
  start();
  EXPECT_TRUE(messages().empty());
  EXPECT_EQ(runtime::readFile(settingsFile()), noKey) << "the default is used, not written";
  EXPECT_EQ(p->state.favourites.favouritesFolder, favourites());
}

TEST_F(StartUpTest, AStoredFolderGbkCannotReadIsRestoredARelativeOneLiesBesideTheProgram) {
  ASSERT_TRUE(runtime::writeFile(settingsFile(), "[收藏]\r\n地址=/tmp/"_gbk + "\xFF\xFE\r\n"));
  start();
  EXPECT_EQ(messages(), std::vector<Text>{"未找到MW_scdz.ini文件，收藏目录已恢复默认"_gbk});
  EXPECT_EQ(runtime::readIni(settingsFile(), "收藏"_gbk, "地址"_gbk), favourites());
  EXPECT_EQ(p->state.favourites.favouritesFolder, favourites());
  TearDown();
  desk.calls.clear();

  const Bytes relative = "[收藏]\r\n地址=相对/收藏\r\n"_gbk;
  ASSERT_TRUE(runtime::writeFile(settingsFile(), relative));
  start();
  const Text beside = places.folder.text("相对/收藏"_gbk);
  EXPECT_TRUE(messages().empty());
  EXPECT_EQ(p->state.favourites.favouritesFolder, beside);
  EXPECT_EQ(p->main.收藏目录地址显示->caption(), beside);
  EXPECT_TRUE(runtime::fileExists(beside + "/请不要删除本文件.gif"_gbk));
  EXPECT_EQ(runtime::readFile(settingsFile()), relative);
}

TEST_F(StartUpTest, ASettingsFileThatCannotBeWrittenSaysTheDefaultHoldsForThisRunOnly) {
  places.places.settingsFolder = places.folder.text("missing");
  start();
  EXPECT_EQ(messages(), (std::vector<Text>{"未找到MW_scdz.ini文件，收藏目录已恢复默认"_gbk,
                                           "设置文件写入失败，默认目录仅本次有效"_gbk}));
  EXPECT_EQ(p->state.favourites.favouritesFolder, favourites());
  EXPECT_TRUE(runtime::fileExists(favourites() + "/请不要删除本文件.gif"_gbk));
}

TEST_F(StartUpTest, AProgramFolderGbkCannotHoldKeepsTheDefaultForThisRunOnly) {
  namespace fs = std::filesystem;
  const fs::path program = places.folder.path() / "Ảnh 😀";
  fs::create_directory(program);
  places.places = {runtime::pathText(program.string()), runtime::pathText((program / "我的收藏").string())};
  start();
  EXPECT_EQ(messages(), (std::vector<Text>{"未找到MW_scdz.ini文件，收藏目录已恢复默认"_gbk,
                                           "程序目录的路径含有无法保存的字符，收藏目录仅本次有效"_gbk}));
  EXPECT_FALSE(fs::exists(program / "MW_scdz.ini"));
  EXPECT_TRUE(fs::exists(program / "我的收藏" / "请不要删除本文件.gif"));
  EXPECT_EQ(p->main.收藏目录地址显示->toolTip(), QString::fromStdString((program / "我的收藏").string()));
  TearDown();

  // The settings file beside such a program is still read and written.
  const Text mine = places.folder.text("mine");
  ASSERT_TRUE(runtime::writeIni(places.places.settingsFile(), "收藏"_gbk, "地址"_gbk, mine));
  ASSERT_TRUE(fs::exists(program / "MW_scdz.ini"));
  desk.calls.clear();
  start();
  EXPECT_TRUE(messages().empty());
  EXPECT_EQ(p->state.favourites.favouritesFolder, mine);
}

TEST_F(StartUpTest, StoredFolderIsUsedAndItsMarkerWrittenOnce) {
  const Text mine = places.folder.text("我的图片"_gbk);
  ASSERT_TRUE(runtime::writeIni(settingsFile(), "收藏"_gbk, "地址"_gbk, mine));
  ASSERT_TRUE(runtime::createFolder(mine));
  ASSERT_TRUE(runtime::writeFile(mine + "/请不要删除本文件.gif"_gbk, "mine"));
  start();
  EXPECT_EQ(p->main.收藏目录地址显示->caption(), mine);
  EXPECT_EQ(runtime::readFile(mine + "/请不要删除本文件.gif"_gbk), "mine") << "an existing marker stays";
  EXPECT_FALSE(runtime::fileExists(favourites())) << "the default folder is not made";
}

TEST_F(StartUpTest, FolderThatCannotBeMadeLeavesTheMarkerUnwritten) {
  ASSERT_TRUE(runtime::writeFile(places.folder.text("file"), "x"));
  const Text impossible = places.folder.text("file/sub");
  ASSERT_TRUE(runtime::writeIni(settingsFile(), "收藏"_gbk, "地址"_gbk, impossible));
  start();
  EXPECT_EQ(p->main.收藏目录地址显示->caption(), impossible);
  EXPECT_FALSE(runtime::fileExists(impossible));
  EXPECT_TRUE(messages().empty());
}

}  // namespace
