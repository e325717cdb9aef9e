#include "library/library.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <fstream>
#include <set>
#include <sstream>

#include "actions/favourites.h"
#include "library/index_store.h"
#include "library/words.h"
#include "picture/decode_memory.h"
#include "support/captioned_picture.h"
#include "support/temp_folder.h"

using namespace mw;
using namespace mw::library;
using mw::test::captionedPicture;
using mw::test::eventually;
using mw::test::writeBytes;

namespace {

std::set<std::string> names(const std::vector<LibraryMatch>& matches) {
  std::set<std::string> out;
  for (const auto& m : matches) out.insert(m.relative);
  return out;
}

std::set<std::string> found(IndexStore& store, const std::string& keyword) {
  std::set<std::string> out;
  for (const auto& f : store.find(keyword)) out.insert(f.path);
  return out;
}

LibraryOptions optionsIn(const test::TempFolder& folder, int readers = 0) {
  LibraryOptions options;
  options.indexFile = (folder.path() / "index.sqlite").string();
  options.readers = readers;
  // What is read, not when: on a machine kept busy, reading at low priority would wait it out.
  options.reader.lowPriority = false;
  return options;
}

bool idle(const Library& lib) { return !lib.progress().busy() && lib.runningReaders() == 0; }

// A folder of `count` pictures that all say `caption`, named 图0.png, 图1.png, ...
std::filesystem::path picturesSaying(const test::TempFolder& temp, const char* caption, int count) {
  const auto pictures = temp.path() / "pics";
  std::filesystem::create_directories(pictures);
  for (int i = 0; i < count; ++i)
    writeBytes(pictures / ("图" + std::to_string(i) + ".png"), captionedPicture(caption));
  return pictures;
}

// The word readers this process has running (stopped ones too).
std::vector<pid_t> runningHelpers() {
  std::vector<pid_t> out;
  for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
    std::ifstream stat(entry.path() / "stat");
    std::string line;
    if (!std::getline(stat, line)) continue;
    const auto open = line.find('('), close = line.rfind(')');
    if (open == std::string::npos || close == std::string::npos ||
        line.substr(open + 1, close - open - 1) != "memwick-ocr")
      continue;
    std::istringstream fields(line.substr(close + 1));
    char state = 0;
    pid_t parent = 0;
    fields >> state >> parent;
    if (parent == getpid() && state != 'Z') out.push_back(pid_t(std::stol(line)));
  }
  return out;
}

}  // namespace

// A keyword is found where it stands whole in one text, after NFKC, with case and punctuation
// ignored; never across two texts.
TEST(LibraryWords, PiecesAndQueriesFindSubstringsOfOneTextOnly) {
  EXPECT_EQ(wordPieces({"我太难了"}), "我太 太难 难了 了");
  EXPECT_EQ(wordPieces({"ＡＢ c1!", "x"}), "ab bc c1 1 x");
  EXPECT_EQ(pieceQuery("下班了！"), "\"下班 班了\"");
  EXPECT_EQ(pieceQuery("Ｘ"), "\"x\"*");
  EXPECT_EQ(pieceQuery(" !? "), "");

  auto store = IndexStore::open(":memory:");
  ASSERT_TRUE(store);
  store->putNames({{{"/p/a.jpg", 1, 30}, {"a"}},
                   {{"/p/b.jpg", 1, 20}, {"Cat2024", "下班"}},
                   {{"/p/c.jpg", 1, 10}, {"c"}}});
  store->putWords({"/p/a.jpg", 1, 30}, {"我太难了"}, ReadState::Read);
  store->putWords({"/p/c.jpg", 1, 10}, {"我太", "难了"}, ReadState::Read);
  EXPECT_EQ(found(*store, "太难"), (std::set<std::string>{"/p/a.jpg"}));
  EXPECT_EQ(found(*store, "难了"), (std::set<std::string>{"/p/a.jpg", "/p/c.jpg"}));
  EXPECT_EQ(found(*store, "难"), (std::set<std::string>{"/p/a.jpg", "/p/c.jpg"}));
  EXPECT_EQ(found(*store, "ＣＡＴ-20"), (std::set<std::string>{"/p/b.jpg"}));
  EXPECT_EQ(found(*store, "t2"), (std::set<std::string>{"/p/b.jpg"}));
  EXPECT_EQ(found(*store, "2024"), (std::set<std::string>{"/p/b.jpg"}));
  EXPECT_TRUE(found(*store, "2024下").empty());  // two names, not one text
  EXPECT_TRUE(found(*store, "太难了吧").empty());
  // Newest first.
  const auto both = store->find("了");
  ASSERT_EQ(both.size(), 2u);
  EXPECT_EQ(both[0].path, "/p/a.jpg");
  // A picture written since its names were stored keeps no words read from the old bytes.
  store->putWords({"/p/a.jpg", 2, 31}, {"别的"}, ReadState::Read);
  EXPECT_TRUE(found(*store, "别的").empty());
}

// Written in many short transactions, a kept index loses no picture at their seams, and its
// searches see every one committed.
TEST(LibraryWords, AKeptIndexWritesLargeChangesWhole) {
  test::TempFolder temp;
  auto store = IndexStore::open((temp.path() / "index.sqlite").string());
  ASSERT_TRUE(store);
  std::vector<IndexStore::NewPicture> pictures;
  std::vector<std::string> gone;
  for (int i = 0; i < 1000; ++i) {
    pictures.push_back({{"/p/" + std::to_string(i) + ".png", 1, i}, {"图片"}});
    if (i % 3 == 0) gone.push_back(pictures.back().key.path);
  }
  store->putNames(pictures);
  EXPECT_EQ(store->find("图片").size(), 1000u);
  store->remove(gone);
  EXPECT_EQ(store->find("图片").size(), 1000u - gone.size());
  EXPECT_EQ(store->size(), 1000 - (long long)gone.size());
}

TEST(Library, FollowsAddedChangedAndDeletedPicturesAndAFavouritesSave) {
  test::TempFolder temp;
  const auto pictures = temp.path() / "图库";
  std::filesystem::create_directories(pictures / "猫猫");
  writeBytes(pictures / "a.png", captionedPicture("下班了"));
  writeBytes(pictures / "猫猫" / "c.png", captionedPicture(""));
  Library lib(optionsIn(temp));
  ASSERT_TRUE(lib.start());
  lib.setFolders({pictures.string()});
  ASSERT_TRUE(eventually([&] { return names(lib.find("下班")).count("a.png"); }));
  EXPECT_EQ(names(lib.find("猫猫")), (std::set<std::string>{"猫猫/c.png"}));  // by its folder

  writeBytes(pictures / "b.jpg", captionedPicture("摸鱼", "JPEG"));
  EXPECT_TRUE(eventually([&] { return names(lib.find("摸鱼")).count("b.jpg"); }));
  // Written over in place: the periodic look over the folder sees the new size and time.
  writeBytes(pictures / "a.png", captionedPicture("加班啊"));
  EXPECT_TRUE(eventually([&] { return names(lib.find("加班")).count("a.png") && lib.find("下班").empty(); }));
  std::filesystem::remove(pictures / "b.jpg");
  EXPECT_TRUE(eventually([&] { return lib.find("摸鱼").empty(); }));

  // The favourites folder in use, and a picture saved there with a right click.
  const auto favourites = temp.path() / "收藏";
  std::filesystem::create_directories(favourites);
  writeBytes(favourites / "请不要删除本文件.gif", captionedPicture("删除", "PNG"));
  lib.setFavouritesFolder(favourites.string());
  const Text saved = actions::saveFavourite(temp.text("收藏"_gbk), captionedPicture("晚安"), 1700000000000);
  ASSERT_FALSE(saved.empty());
  EXPECT_TRUE(eventually([&] {
    const auto m = lib.find("晚安");
    return m.size() == 1 && m[0].folder == "favourites" && m[0].relative == "1700000000000.jpg";
  }));
  EXPECT_TRUE(eventually([&] { return idle(lib); }));
  EXPECT_TRUE(lib.find("删除").empty());  // the program's marker is none of the user's pictures
  // Another folder in use: the old one's pictures are no longer found.
  lib.setFavouritesFolder((temp.path() / "其他").string());
  EXPECT_TRUE(eventually([&] { return lib.find("晚安").empty(); }));
}

// Nothing in a folder stops the reading: what cannot be read is found by its name.
TEST(Library, CorruptHugeUnreadableAndLoopingEntriesAreSkippedOrFoundByName) {
  test::TempFolder temp;
  const auto pictures = temp.path();
  writeBytes(pictures / "坏图.jpg", "\xFF\xD8\xFF\xE0 not really a JPEG");
  // A PNG declaring 30000 x 30000 pixels.
  std::string huge = captionedPicture("大图");
  huge[16] = 0, huge[17] = 0, huge[18] = 0x75, huge[19] = 0x30, huge[20] = 0, huge[21] = 0, huge[22] = 0x75,
  huge[23] = 0x30;
  writeBytes(pictures / "巨图.png", huge);
  writeBytes(pictures / "锁住.png", captionedPicture("锁住"));
  std::filesystem::permissions(pictures / "锁住.png", std::filesystem::perms::none);
  std::filesystem::create_symlink("loop.jpg", pictures / "loop.jpg");
  std::filesystem::create_directories(pictures / "sub");
  std::filesystem::create_directory_symlink("..", pictures / "sub" / "up");
  writeBytes(pictures / "sub" / "表情😀.png", captionedPicture("开心"));
  Library lib(optionsIn(temp));
  ASSERT_TRUE(lib.start());
  lib.setFolders({pictures.string()});
  ASSERT_TRUE(eventually([&] { return names(lib.find("开心")).count("sub/表情😀.png"); }));
  EXPECT_TRUE(eventually([&] { return idle(lib); }));
  EXPECT_EQ(names(lib.find("坏图")), (std::set<std::string>{"坏图.jpg"}));
  EXPECT_EQ(names(lib.find("巨图")), (std::set<std::string>{"巨图.png"}));
  EXPECT_EQ(names(lib.find("表情")), (std::set<std::string>{"sub/表情😀.png"}));  // once: "up" is not followed
  EXPECT_EQ(names(lib.find("锁住")),
            (std::set<std::string>{"锁住.png"}));  // by its words too where it can be read
  EXPECT_TRUE(lib.find("loop").empty());
}

// Names are in the index before any word is read, and every word read is found at once.
TEST(Library, ASearchDuringReadingAnswersFromWhatIsIndexedSoFar) {
  test::TempFolder temp;
  const int count = 16;
  const auto pictures = picturesSaying(temp, "早安", count);
  Library lib(optionsIn(temp, 1));
  ASSERT_TRUE(lib.start());
  lib.setFolders({pictures.string()});
  ASSERT_TRUE(eventually([&] { return lib.progress().done >= 2; }));
  const LibraryProgress during = lib.progress();
  const std::size_t byName = lib.find("图").size();
  const std::size_t byWords = lib.find("早安").size();
  EXPECT_TRUE(during.busy()) << during.done << "/" << during.total;
  EXPECT_EQ(during.total, count);
  EXPECT_EQ(byName, std::size_t(count));
  EXPECT_GE(byWords, std::size_t(during.done) - 1);
  EXPECT_LT(byWords, std::size_t(count));
  // Done: every picture read, and the reading threads gone with their engines.
  EXPECT_TRUE(eventually([&] { return idle(lib); }));
  EXPECT_EQ(lib.find("早安").size(), std::size_t(count));
  EXPECT_EQ(lib.progress().total, 0);
}

// A picture that crashes or hangs the word reader costs that picture only: it is found by its
// name, a fresh reader reads the rest, and no reader is left behind.
TEST(Library, AReaderThatCrashesOrHangsCostsOnlyThePictureItHad) {
  test::TempFolder temp;
  const int count = 40;
  const auto pictures = picturesSaying(temp, "早安", count);
  LibraryOptions options = optionsIn(temp, 1);
  options.reader.limitMs = 2000;
  Library lib(options);
  ASSERT_TRUE(lib.start());
  lib.setFolders({pictures.string()});
  // Each reader is hit once it has read a picture, past its start.
  pid_t crashed = 0, hung = 0;
  ASSERT_TRUE(eventually([&] {
    const auto helpers = runningHelpers();
    if (helpers.size() != 1 || lib.progress().done < 1) return false;
    crashed = helpers[0];
    return true;
  }));
  kill(crashed, SIGSEGV);
  const int afterCrash = lib.progress().done;
  ASSERT_TRUE(eventually([&] {
    const auto helpers = runningHelpers();
    if (helpers.size() != 1 || helpers[0] == crashed || lib.progress().done < afterCrash + 2) return false;
    hung = helpers[0];
    return true;
  }));
  ASSERT_LT(lib.progress().done, count);
  kill(hung, SIGSTOP);
  EXPECT_TRUE(eventually([&] { return idle(lib); }));
  EXPECT_EQ(lib.find("图").size(), std::size_t(count));
  EXPECT_EQ(lib.find("早安").size(), std::size_t(count - 2));
  EXPECT_TRUE(runningHelpers().empty());
}

// Reading does not draw on the memory the window's pictures share: with all of it taken, a
// picture is still read.
TEST(Library, ReadsPicturesWhileTheWindowsPicturesHoldAllTheirMemory) {
  picture::DecodeMemory shown(true, picture::kDecodedBudget);
  ASSERT_TRUE(shown.take(picture::kDecodedBudget - picture::decodedInUse()));
  test::TempFolder temp;
  const auto pictures = picturesSaying(temp, "早安", 1);
  Library lib(optionsIn(temp, 1));
  ASSERT_TRUE(lib.start());
  lib.setFolders({pictures.string()});
  EXPECT_TRUE(eventually([&] { return lib.find("早安").size() == 1; }, 30));
}
