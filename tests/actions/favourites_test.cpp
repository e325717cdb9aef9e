#include "actions/favourites.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <QTest>
#include <cstdlib>
#include <filesystem>
#include <limits>

#include "runtime/clock.h"
#include "runtime/files.h"
#include "runtime/ini_file.h"
#include "support/handler_parts.h"
#include "support/temp_folder.h"
#include "support/test_pictures.h"

using namespace mw;
namespace fs = std::filesystem;

namespace {

struct Favourites : ::testing::Test {
  test::TempFolder temp;
  test::HandlerParts parts;
  forms::HandlerRegistry registry{parts.context};
  forms::MainForm& f = parts.main;
  Text folder = temp.text("我的收藏"_gbk);

  void SetUp() override {
    parts.places.settingsFolder = temp.text();
    parts.state.favourites.favouritesFolder = folder;
    ASSERT_TRUE(runtime::createFolder(folder));
    actions::bindFavourites(registry);
  }
  void rightClick(int k) { QTest::mousePress(f.slot(k), Qt::RightButton, {}, QPoint(5, 5)); }
  Text tip() const { return f.气球提示框1->text(); }
  std::vector<fs::path> saved(const Text& in) const {
    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(runtime::nativePath(in))) files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    return files;
  }
};

// Sets the time zone for the scope, as a POSIX TZ string (no zone database needed).
struct TimeZone {
  explicit TimeZone(const char* tz) : old(std::getenv("TZ") ? std::getenv("TZ") : "") {
    ::setenv("TZ", tz, 1);
    ::tzset();
  }
  ~TimeZone() {
    old.empty() ? ::unsetenv("TZ") : ::setenv("TZ", old.c_str(), 1);
    ::tzset();
  }
  std::string old;
};

TEST(FavouriteFileName, SecondsFromEightOClockOn1970_01_01LocalThenTheRealMilliseconds) {
  EXPECT_EQ(actions::favouriteFileName(1700000000123), "1700000000123");
  EXPECT_EQ(actions::favouriteFileName(1700000000005), "1700000000005");
  EXPECT_EQ(actions::favouriteFileName(1700000001000), "1700000001000");
  const long long kEightHoursMs = 8LL * 3600 * 1000;
  const std::pair<const char*, long long> zones[] = {
      {"CST-8", 0}, {"UTC0", -kEightHoursMs}, {"EST5", -kEightHoursMs - 5LL * 3600 * 1000}};
  for (const auto& [tz, offset] : zones) {
    SCOPED_TRACE(tz);
    TimeZone zone(tz);
    const long long before = runtime::epochMilliseconds();
    const long long now = std::stoll(actions::favouriteFileName(actions::favouriteClockMs()));
    EXPECT_GE(now, before + offset);
    EXPECT_LE(now, runtime::epochMilliseconds() + offset);
  }
}

TEST_F(Favourites, SavesInOneMillisecondNeverReplaceAFile) {
  const long long ms = 1700000000998;
  ASSERT_TRUE(runtime::writeFile(folder + "/1700000001000.jpg", "kept"));
  EXPECT_EQ(actions::saveFavourite(folder, "one", ms), folder + "/1700000000998.jpg");
  EXPECT_EQ(actions::saveFavourite(folder, "two", ms), folder + "/1700000000999.jpg");
  EXPECT_EQ(actions::saveFavourite(folder, "three", ms), folder + "/1700000001001.jpg");
  EXPECT_EQ(runtime::readFile(folder + "/1700000000998.jpg").value(), "one");
  EXPECT_EQ(runtime::readFile(folder + "/1700000000999.jpg").value(), "two");
  EXPECT_EQ(runtime::readFile(folder + "/1700000001000.jpg").value(), "kept");
  EXPECT_EQ(runtime::readFile(folder + "/1700000001001.jpg").value(), "three");
}

TEST_F(Favourites, AClockBeforeTheOriginOrAtItsEndStillNamesEverySaveApart) {
  for (long long ms : {-1LL, -1500LL, std::numeric_limits<long long>::min()})
    EXPECT_EQ(actions::favouriteFileName(ms), "0000") << ms;
  EXPECT_EQ(actions::saveFavourite(folder, "one", -1500), folder + "/0000.jpg");
  EXPECT_EQ(actions::saveFavourite(folder, "two", -1), folder + "/0001.jpg");
  const long long end = std::numeric_limits<long long>::max();
  const Text first = actions::saveFavourite(folder, "three", end);
  const Text second = actions::saveFavourite(folder, "four", end);
  EXPECT_NE(first, second);
  for (const Text& path : {first, second}) {
    const std::string stem = fs::path(runtime::nativePath(path)).stem().string();
    EXPECT_FALSE(stem.empty());
    EXPECT_EQ(stem.find_first_not_of("0123456789"), std::string::npos) << stem;
  }
  EXPECT_EQ(saved(folder).size(), 4u);
}

TEST_F(Favourites, ARightClickSavesTheBytesUnchangedAsJpg) {
  rightClick(12);
  EXPECT_EQ(tip(), "无图片数据"_gbk);
  f.图片框12->setPicture("<html><body><h1>503 Service Unavailable</h1></body></html>");
  rightClick(12);
  EXPECT_EQ(tip(), "图片数据无法识别，未能保存"_gbk);
  EXPECT_TRUE(saved(folder).empty());

  const std::string gif = test::animatedGif(16, 16, {Qt::red, Qt::blue}, 10);
  f.图片框12->setPicture(gif);
  f.图片框3->setPicture(gif);
  const long long before = actions::favouriteClockMs();
  rightClick(12);
  rightClick(3);
  const long long after = actions::favouriteClockMs();
  EXPECT_EQ(tip(), "图片已存至收藏目录"_gbk);
  const std::vector<fs::path> files = saved(folder);
  ASSERT_EQ(files.size(), 2u);
  for (const fs::path& file : files) {
    EXPECT_EQ(file.extension(), ".jpg");
    const std::string stem = file.stem().string();
    EXPECT_EQ(stem.size(), 13u);
    EXPECT_GE(std::stoll(stem), before);
    EXPECT_LE(std::stoll(stem), after + 1);
    EXPECT_EQ(runtime::readFile(runtime::pathText(file.string())).value(), gif);
  }
}

TEST_F(Favourites, AFolderThatCannotBeWrittenShowsTheFailureTip) {
  f.图片框1->setPicture(test::solidPicture(8, 8, Qt::green));
  std::vector<Text> unwritable{temp.text("missing"), "/proc", ""};
  if (::geteuid() != 0) {  // mode bits do not stop root
    fs::permissions(runtime::nativePath(folder), fs::perms::owner_read | fs::perms::owner_exec);
    unwritable.push_back(folder);
  }
  for (const Text& where : unwritable) {
    SCOPED_TRACE(where);
    parts.state.favourites.favouritesFolder = where;
    rightClick(1);
    EXPECT_EQ(tip(), "图片保存失败，请检查收藏目录"_gbk);
  }
  EXPECT_FALSE(fs::exists(runtime::nativePath(temp.text("missing"))));
}

TEST_F(Favourites, ChangingTheFolderShowsStoresAndUsesIt) {
  const Text chosen = temp.text("新的收藏"_gbk);
  ASSERT_TRUE(runtime::createFolder(chosen));
  ASSERT_TRUE(runtime::writeFile(parts.places.settingsFile(), "; mine\r\n[其他]\r\nk=v\r\n"_gbk));
  parts.desktop.folders.push_back(chosen);
  QTest::mousePress(f.更改收藏目录, Qt::LeftButton, {}, QPoint(5, 5));

  EXPECT_EQ(parts.desktop.calls.back().text, folder);  // the browser opens on the folder in use
  EXPECT_EQ(parts.state.favourites.favouritesFolder, chosen);
  EXPECT_EQ(f.收藏目录地址显示->caption(), chosen);
  EXPECT_EQ(runtime::readFile(parts.places.settingsFile()).value(),
            "; mine\r\n[其他]\r\nk=v\r\n\r\n[收藏]\r\n地址="_gbk + chosen + "\r\n");
  f.图片框9->setPicture(test::solidPicture(8, 8, Qt::green));
  rightClick(9);
  EXPECT_EQ(saved(chosen).size(), 1u);
  EXPECT_TRUE(saved(folder).empty());
  EXPECT_TRUE(parts.messages().empty());

  // A cancel leaves everything as it was.
  QTest::mousePress(f.更改收藏目录, Qt::LeftButton, {}, QPoint(5, 5));
  EXPECT_EQ(parts.state.favourites.favouritesFolder, chosen);
  EXPECT_EQ(f.收藏目录地址显示->caption(), chosen);
  EXPECT_EQ(runtime::readIni(parts.places.settingsFile(), "收藏"_gbk, "地址"_gbk), chosen);

  QTest::mousePress(f.打开收藏目录, Qt::LeftButton, {}, QPoint(5, 5));
  ASSERT_EQ(parts.desktop.calls.back().what, "openFolder");
  EXPECT_EQ(parts.desktop.calls.back().text, chosen);
  parts.desktop.opens = false;  // no file manager
  QTest::mousePress(f.打开收藏目录, Qt::LeftButton, {}, QPoint(5, 5));
  EXPECT_EQ(tip(), "无法打开收藏目录"_gbk);
}

TEST_F(Favourites, AFolderWhosePathGbkCannotHoldIsRefusedAndNothingChanges) {
  const fs::path odd = temp.path() / "Ảnh 😀";
  fs::create_directory(odd);
  const Text stored = "[收藏]\r\n地址="_gbk + folder + "\r\n";
  ASSERT_TRUE(runtime::writeFile(parts.places.settingsFile(), stored));
  f.收藏目录地址显示->setCaption(folder);
  parts.desktop.folders.push_back(runtime::pathText(odd.string()));
  QTest::mousePress(f.更改收藏目录, Qt::LeftButton, {}, QPoint(5, 5));
  EXPECT_EQ(parts.messages(), std::vector<Text>{"所选目录的路径含有无法保存的字符，请选择其他目录"_gbk});
  EXPECT_EQ(parts.state.favourites.favouritesFolder, folder);
  EXPECT_EQ(f.收藏目录地址显示->caption(), folder);
  EXPECT_EQ(runtime::readFile(parts.places.settingsFile()), stored);
}

TEST_F(Favourites, ASettingsFileThatCannotBeWrittenSaysTheFolderHoldsForThisRunOnly) {
  parts.places.settingsFolder = temp.text("missing");
  const Text chosen = temp.text("other");
  ASSERT_TRUE(runtime::createFolder(chosen));
  parts.desktop.folders.push_back(chosen);
  QTest::mousePress(f.更改收藏目录, Qt::LeftButton, {}, QPoint(5, 5));
  EXPECT_EQ(parts.messages(), std::vector<Text>{"设置文件写入失败，新目录仅本次有效"_gbk});
  EXPECT_EQ(parts.state.favourites.favouritesFolder, chosen);
  EXPECT_EQ(f.收藏目录地址显示->caption(), chosen);
  f.图片框16->setPicture(test::solidPicture(8, 8, Qt::green));
  rightClick(16);
  EXPECT_EQ(saved(chosen).size(), 1u);
}

}  // namespace
