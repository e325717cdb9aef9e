#include "library/library.h"

#include <grp.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QFont>
#include <QPainter>
#include <QPainterPath>
#include <QThreadPool>
#include <algorithm>
#include <atomic>
#include <fstream>
#include <functional>
#include <iterator>
#include <set>
#include <sstream>
#include <thread>

#include "actions/favourites.h"
#include "library/folder_scan.h"
#include "library/index_store.h"
#include "library/ink_lines.h"
#include "library/picture_reader.h"
#include "library/reader_process.h"
#include "library/words.h"
#include "ocr/protocol.h"
#include "picture/decode_memory.h"
#include "support/captioned_picture.h"
#include "support/temp_folder.h"
#include "support/test_pictures.h"

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

std::unique_ptr<Library> running(const LibraryOptions& options, const std::vector<std::string>& folders) {
  auto lib = std::make_unique<Library>(options);
  EXPECT_TRUE(lib->start());
  lib->setFolders(folders);
  return lib;
}

// A library whose word reader is tests/library/hostile_reader.py in `mode`, which notes each
// request in the file "asked".
LibraryOptions hostile(const test::TempFolder& temp, const std::string& mode) {
  LibraryOptions options = optionsIn(temp, 1);
  options.reader.program = MW_SOURCE_DIR "/tests/library/hostile_reader.py";
  options.reader.enlargeBelow = 0;  // it tells pictures by their widths
  options.reader.languages =
      mode + " " + std::to_string(ocr::kMagic) + " " + (temp.path() / "asked").string();
  writeBytes(temp.path() / "asked", "");
  return options;
}

int asked(const test::TempFolder& temp) {
  std::ifstream log(temp.path() / "asked");
  return int(std::count(std::istreambuf_iterator<char>(log), {}, '\n'));
}

// chmod 000 stops no one who may override permissions: as root (CI), `body` runs in a child that
// has become nobody. The test process has no other thread for the child to miss once Qt's pool,
// which scaling a picture starts, has let its threads go: the child's would wait for them.
void asOtherThanRoot(const std::function<void()>& body) {
  QThreadPool::globalInstance()->waitForDone();
  if (const pid_t child = fork(); child != 0) {
    int status = 0;
    EXPECT_TRUE(waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0);
    return;
  }
  if (getuid() == 0 && (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0)) _exit(3);
  body();
  _exit(testing::Test::HasFailure() ? 1 : 0);
}

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

// A word reader that crashes, or hangs past a picture's time, costs no picture its words: a fresh
// reader reads the picture it had and the rest, and no reader is left behind.
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
  EXPECT_EQ(lib.find("早安").size(), std::size_t(count));
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

// A helper that cannot be started, or is killed while it reads and again while it loads its model,
// is started again after a pause, for as long as pictures wait.
// A missing helper is said (once: nothing retries), the pictures are found by their names meanwhile,
// and they are read once it is there.
TEST(Library, ReadingGoesOnAfterTheHelperFailsToStartOrIsKilled) {
  test::TempFolder temp;
  LibraryOptions options = optionsIn(temp, 1);
  options.rescanMs = 200;
  options.reader.program = (temp.path() / "memwick-ocr").string();  // not there yet
  auto lib = std::make_unique<Library>(options);
  std::atomic<int> told = 0;  // reports saying there is no reader
  lib->onProgress([&](const LibraryProgress& p) { told += !p.noReader.empty(); });
  ASSERT_TRUE(lib->start());
  const auto pictures = picturesSaying(temp, "早安", 30);
  lib->setFolders({pictures.string()});
  ASSERT_TRUE(eventually([&] { return lib->progress().noReader.starts_with("cannot run "); }));
  EXPECT_TRUE(eventually([&] { return lib->find("图").size() == 30; }));
  for (int i = 1; i <= 3; ++i) {  // three more looks over the folder, each finding one more picture
    writeBytes(pictures / ("再看" + std::to_string(i) + ".png"), captionedPicture("晚安"));
    EXPECT_TRUE(eventually([&] { return lib->find("再看").size() == std::size_t(i); }));
  }
  EXPECT_EQ(told, 1);
  lib->onProgress(nullptr);
  std::filesystem::create_symlink(ReaderProcess::locate(), options.reader.program);
  pid_t killed = 0;
  const auto another = [&] {
    const auto helpers = runningHelpers();
    return helpers.size() == 1 && helpers[0] != killed && (killed = helpers[0]) > 0;
  };
  ASSERT_TRUE(eventually([&] { return lib->progress().done >= 2 && another(); }));
  kill(killed, SIGKILL);
  ASSERT_TRUE(eventually(another));
  kill(killed, SIGKILL);
  EXPECT_TRUE(eventually([&] { return idle(*lib); }));
  EXPECT_EQ(lib->find("早安").size(), 30u);
  EXPECT_TRUE(runningHelpers().empty());
}

// Only a picture's own fault leaves it found by its names only: with a fresh helper too, it overran
// its time (102; 101 only once) or could not be read (103). A helper that dies on every request
// costs no picture anything, and an older build's marks, set for such helpers too, are undone
// (its index brought up in place).
TEST(Library, OnlyAPicturesOwnFaultLeavesItFoundByItsNamesOnly) {
  {
    test::TempFolder temp;
    for (int width : {100, 101, 102, 103})
      writeBytes(temp.path() / (std::to_string(width) + ".png"), test::solidPicture(width, 40, Qt::white));
    LibraryOptions options = hostile(temp, "picky");
    options.reader.limitMs = 1000;
    options.reader.limitMsPerMegapixel = 0;
    auto lib = running(options, {temp.path().string()});
    EXPECT_TRUE(eventually([&] { return asked(temp) >= 1 && idle(*lib); }));
    EXPECT_EQ(names(lib->find("ok")), (std::set<std::string>{"100.png", "101.png"}));
    EXPECT_EQ(lib->folderStates()[0].read, 4);
  }
  {
    test::TempFolder temp;
    writeBytes(temp.path() / "a.png", captionedPicture("早安"));
    auto lib = running(hostile(temp, "die"), {temp.path().string()});
    EXPECT_TRUE(eventually([&] { return asked(temp) >= 3 && !lib->progress().waiting.empty(); }));
    EXPECT_EQ(lib->folderStates()[0].read, 0);
  }
  test::TempFolder temp;
  const std::string file = (temp.path() / "index.sqlite").string();
  auto store = IndexStore::open(file);
  store->putNames({{{"/p/a.png", 1, 1}, {"a"}}, {{"/p/b.png", 1, 1}, {"b"}}});
  store->putWords({"/p/a.png", 1, 1}, {"旧字"}, ReadState::Read);
  store->putWords({"/p/b.png", 1, 1}, {}, ReadState::NameOnly);
  sqlite3* db = nullptr;
  sqlite3_open(file.c_str(), &db);
  // As the build before kept it: no reader versions, and pieces cut before Traditional was folded.
  sqlite3_exec(db,
               "ALTER TABLE pictures DROP COLUMN reader; UPDATE pieces SET names = '謝謝 謝' WHERE rowid = 1;"
               "PRAGMA user_version = 1",
               nullptr, nullptr, nullptr);
  sqlite3_close(db);
  store = IndexStore::open(file);
  const auto now = store->picturesUnder("/p");
  EXPECT_EQ(std::count_if(now.begin(), now.end(), [](auto& p) { return p.state == ReadState::Pending; }), 1);
  EXPECT_TRUE(std::all_of(now.begin(), now.end(), [](auto& p) { return p.reader == 0; }));  // read again
  EXPECT_EQ(store->words("/p/a.png"), "旧字");
  EXPECT_EQ(found(*store, "谢谢"), (std::set<std::string>{"/p/a.png"}));
}

// A folder that cannot be read for a while, a library folder or one below it, keeps its pictures
// and their words, and nothing is read afresh once it can be read again. Only one gone loses them.
TEST(Library, AFolderThatCannotBeReadKeepsItsPictures) {
  const std::string picture = captionedPicture("早安"), blank = captionedPicture("");
  asOtherThanRoot([&] {
    test::TempFolder temp;
    const auto root = temp.path() / "pics", sub = root / "sub";
    std::filesystem::create_directories(sub);
    for (const auto& at : {root / "a.png", sub / "b.png", sub / "c.png"}) writeBytes(at, picture);
    LibraryOptions options = optionsIn(temp, 1);
    options.rescanMs = 200;
    auto lib = running(options, {root.string()});
    const auto state = [&] { return lib->folderStates()[0]; };
    ASSERT_TRUE(eventually([&] { return state() == FolderState{root.string(), "", 3, 3}; }));
    std::filesystem::permissions(sub, std::filesystem::perms::none);
    writeBytes(root / "mark.png", blank);  // found once the folder has been looked over since
    ASSERT_TRUE(eventually([&] { return state().read == 4; }));
    EXPECT_EQ(lib->find("早安").size(), 3u);
    std::filesystem::permissions(root, std::filesystem::perms::none);
    ASSERT_TRUE(eventually([&] {
      return state() == FolderState{root.string(), "无法读取：权限不够", 4, 4};
    }));
    EXPECT_EQ(lib->find("早安").size(), 3u);
    for (const auto& at : {root, sub}) std::filesystem::permissions(at, std::filesystem::perms::owner_all);
    ASSERT_TRUE(eventually([&] { return state().problem.empty(); }));
    EXPECT_EQ(lib->find("早安").size(), 3u);
    EXPECT_EQ(state().read, 4);
    std::filesystem::remove_all(sub);
    EXPECT_TRUE(eventually([&] { return names(lib->find("早安")) == std::set<std::string>{"a.png"}; }));
  });
}

// Each folder given says what is wrong with it, on stderr too, and how many of its pictures are
// read. A folder given while the library runs is looked over at once; one taken away goes.
TEST(Library, FoldersSayHowTheyAreAndComeAndGoWhileItRuns) {
  test::TempFolder temp;
  const auto a = picturesSaying(temp, "早安", 2), b = temp.path() / "b";
  std::filesystem::create_directories(b);
  writeBytes(b / "晚安.png", captionedPicture("晚安"));
  const std::string missing = (temp.path() / "没有").string(), file = (a / "图0.png").string();
  testing::internal::CaptureStderr();
  auto lib = running(optionsIn(temp, 1), {a.string(), missing, file});
  const std::vector<FolderState> states{
      {a.string(), "", 2, 2}, {missing, "文件夹不存在", 0, 0}, {file, "不是文件夹", 0, 0}};
  EXPECT_TRUE(eventually([&] { return lib->folderStates() == states; }));
  EXPECT_NE(testing::internal::GetCapturedStderr().find(missing + ": No such file or directory"),
            std::string::npos);
  lib->setFolders({b.string()});
  EXPECT_TRUE(eventually([&] { return lib->find("晚安").size() == 1 && lib->find("早安").empty(); }));
  EXPECT_TRUE(IndexStore::open((temp.path() / "index.sqlite").string())->picturesUnder(a.string()).empty());
}

// What a helper may say is bounded before anything is stored: one that answers 65,536 words is
// ended, and one within the bounds leaves at most 64 KiB for a picture. The index stays small.
TEST(Library, AHelperCannotMakeTheIndexHoldMoreThanItsBounds) {
  for (const char* mode : {"flood", "wide"}) {
    test::TempFolder temp;
    writeBytes(temp.path() / "图.png", captionedPicture(""));
    auto lib = running(hostile(temp, mode), {temp.path().string()});
    EXPECT_TRUE(
        eventually([&] { return asked(temp) >= 1 && (idle(*lib) || !lib->progress().waiting.empty()); }));
    const std::string index = (temp.path() / "index.sqlite").string();
    EXPECT_LE(IndexStore::open(index)->words((temp.path() / "图.png").string()).size(), 64u << 10) << mode;
    EXPECT_LT(std::filesystem::file_size(index) + std::filesystem::file_size(index + "-wal"), 1u << 20)
        << mode;
  }
  test::TempFolder temp;  // a large change leaves the write-ahead log empty
  const std::string file = (temp.path() / "index.sqlite").string();
  std::vector<IndexStore::NewPicture> pictures;
  for (int i = 0; i < 5000; ++i)
    pictures.push_back({{"/p/" + std::to_string(i), 1, i}, {std::string(300, 'a')}});
  auto store = IndexStore::open(file);
  store->putNames(pictures);
  EXPECT_LT(std::filesystem::file_size(file + "-wal"), 1u << 20);
}

// A GIF's later frames are read when its first holds no words: its second and its last, never
// one past the end, and none for a still or a single frame.
TEST(Library, ACaptionThatComesInAfterAGifsFirstFrameIsRead) {
  const auto frame = [](const char* caption) {
    return QImage::fromData(QByteArray::fromStdString(captionedPicture(caption)));
  };
  const auto colours = [](const std::vector<QImage>& frames) {
    std::vector<QRgb> out;
    for (const QImage& f : frames) out.push_back(f.pixel(0, 0) | 0xff000000);
    return out;
  };
  const auto solid = [](QColor c) {
    QImage img(40, 30, QImage::Format_RGB32);
    img.fill(c);
    return img;
  };
  const std::vector<QImage> five{solid(Qt::red), solid(Qt::green), solid(Qt::blue), solid(Qt::yellow),
                                 solid(Qt::black)};
  EXPECT_TRUE(laterGifFrames(test::gifOf({five[0]})).empty());
  EXPECT_TRUE(laterGifFrames(captionedPicture("加班")).empty());
  EXPECT_EQ(colours(laterGifFrames(test::gifOf({five[0], five[1]}))), (std::vector<QRgb>{qRgb(0, 255, 0)}));
  EXPECT_EQ(colours(laterGifFrames(test::gifOf(five))), (std::vector<QRgb>{qRgb(0, 255, 0), qRgb(0, 0, 0)}));
  // Cut off inside its third frame: the second is the last there is.
  const std::string three = test::gifOf({five[0], five[1], five[2]});
  EXPECT_EQ(colours(laterGifFrames(three.substr(0, three.size() - 100))),
            (std::vector<QRgb>{qRgb(0, 255, 0)}));

  test::TempFolder temp;
  const auto pictures = temp.path() / "pics";
  std::filesystem::create_directories(pictures);
  writeBytes(pictures / "late.gif", test::gifOf({frame(""), frame(""), frame("加班")}));
  writeBytes(pictures / "second.gif", test::gifOf({frame(""), frame("摸鱼"), frame("")}));
  writeBytes(pictures / "first.gif", test::gifOf({frame("下班"), frame("")}));
  auto lib = running(optionsIn(temp, 1), {pictures.string()});
  ASSERT_TRUE(eventually([&] {
    return lib->find("late").size() + lib->find("second").size() + lib->find("first").size() == 3 &&
           idle(*lib);
  }));
  EXPECT_EQ(names(lib->find("加班")), (std::set<std::string>{"late.gif"}));
  EXPECT_EQ(names(lib->find("摸鱼")), (std::set<std::string>{"second.gif"}));
  EXPECT_EQ(names(lib->find("下班")), (std::set<std::string>{"first.gif"}));
}

// Each request is read by the model it asks for; a model that cannot be loaded is said.
TEST(Library, TheReadersPageAndLineModelsReadWhatIsMeantForEach) {
  std::string error;
  const auto process = ReaderProcess::start("", "chi_sim", "eng", false, nullptr, &error);
  ASSERT_TRUE(process) << error;
  const QImage caption = QImage::fromData(QByteArray::fromStdString(captionedPicture("下班了")));
  const auto readsCaption = [&](uint32_t model) {
    long long leftMs = 60000;
    const auto words = process->read(caption, 7, 70, leftMs, model);
    std::string text;
    for (const ReadWord& word : words.value()) text += word.text;
    return text.find("下班") != std::string::npos;
  };
  EXPECT_TRUE(readsCaption(ocr::kLineModel));
  EXPECT_FALSE(readsCaption(ocr::kPageModel));  // English knows no ideographs
  EXPECT_FALSE(ReaderProcess::start("", "chi_sim", "nosuch", false, nullptr, &error));
  EXPECT_NE(error.find("nosuch"), std::string::npos) << error;
}

// A small picture is read larger: the engine misses characters of 10 or 11 px at their own
// size. What is read for sure is told apart from strays.
TEST(Library, SmallCaptionsOnSmallPicturesAreReadLarger) {
  ReaderOptions options;
  options.lowPriority = false;
  PictureReader reader(options);
  ASSERT_EQ(reader.error(), "");
  for (int px : {10, 11}) {
    QImage img(240, 160, QImage::Format_RGB32);
    img.fill(Qt::white);
    QPainter p(&img);
    QFont font(QStringLiteral("WenQuanYi Micro Hei"));
    font.setPixelSize(px);
    p.setFont(font);
    p.setPen(Qt::black);
    p.drawText(img.rect(), Qt::AlignCenter, QStringLiteral("下班了摸鱼"));
    p.end();
    const auto texts = reader.read(img);
    ASSERT_TRUE(texts && !texts->empty()) << px;
    EXPECT_NE(normalizedWords((*texts)[0]).find("下班"), std::string::npos) << px << " px: " << (*texts)[0];
    EXPECT_TRUE(reader.readSure()) << px;
  }
  QImage blank(240, 160, QImage::Format_RGB32);
  blank.fill(Qt::white);
  ASSERT_TRUE(reader.read(blank));
  EXPECT_FALSE(reader.readSure());
}

// A caption on a white band at a busy picture's edge is read from its crop; crops stay within it.
TEST(Library, LinesOnWhiteBandsAreReadAgainFromCropsWithinThePicture) {
  QImage img(320, 240, QImage::Format_RGB888);
  unsigned seed = 3;
  for (int y = 0; y < img.height(); ++y)
    for (int x = 0; x < img.width(); ++x) img.setPixel(x, y, QRgb(seed = seed * 1103515245 + 12345));
  QPainter p(&img);
  p.fillRect(0, 206, 320, 34, Qt::white);
  p.setFont(QFont(QStringLiteral("WenQuanYi Micro Hei"), 18));
  p.drawText(QRect(0, 208, 320, 32), Qt::AlignHCenter | Qt::AlignBottom, QStringLiteral("下班了摸鱼"));
  p.end();
  const std::vector<TextLine> lines = bandLines(img, 6);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_TRUE(QRect(90, 206, 140, 34).contains(lines[0].box.center())) << lines[0].box.y();
  const QRect crop = lineCrop(lines[0].box, img.rect());
  EXPECT_TRUE(img.rect().contains(crop) && crop.contains(lines[0].box));

  const auto merged = mergedLines({{QRect(10, 10, 100, 30), PassImage::Otsu, 50},
                                   {QRect(90, 12, 80, 28), PassImage::WhiteMask, 70},
                                   {QRect(300, -20, 100, 40), PassImage::AsIs, 40},
                                   {QRect(400, 300, 50, 20), PassImage::AsIs, 90}},
                                  img.rect(), 6);
  ASSERT_EQ(merged.size(), 2u);
  EXPECT_EQ(merged[0].box, QRect(300, 0, 20, 20));
  EXPECT_EQ(merged[1].box, QRect(10, 10, 160, 30));
  EXPECT_EQ(merged[1].image, PassImage::WhiteMask);

  ReaderOptions options;
  options.lowPriority = false;
  options.passes = options.unsurePasses = {};  // the band's crop alone
  const auto texts = PictureReader(options).read(img);
  ASSERT_TRUE(texts && texts->size() == 1);
  EXPECT_NE(normalizedWords((*texts)[0]).find("下班了摸鱼"), std::string::npos) << (*texts)[0];
}

// A caption in a colour of its own beside a busy drawing in others: the colour's mask keeps the
// caption, its row and its column are found there (a column's box past the picture's edge is
// cut to it), and both are read from that mask, the column's characters set side by side.
TEST(Library, CaptionsInAColourOfTheirOwnAreFoundAndReadOnItsMask) {
  QImage img(480, 360, QImage::Format_RGB888);
  img.fill(QColor(200, 220, 250));
  const QColor red(210, 30, 30);
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing);
  unsigned seed = 7;
  const auto next = [&](unsigned below) { return int((seed = seed * 1103515245 + 12345) >> 16) % int(below); };
  for (int i = 0; i < 60; ++i) {
    p.setPen(QPen(i % 2 ? QColor(Qt::black) : QColor(40, 160, 60), 1 + i % 3));
    p.drawLine(next(380), next(250), next(380), next(250));
  }
  QFont font(QStringLiteral("Noto Sans CJK SC"));
  font.setPixelSize(34);
  p.setFont(font);
  p.setPen(red);
  p.drawText(QRect(0, 280, 400, 60), Qt::AlignCenter, QStringLiteral("下班了摸鱼"));
  const QString column = QStringLiteral("老板加班");
  for (int i = 0; i < int(column.size()); ++i)
    p.drawText(QRect(420, 20 + i * 48, 50, 48), Qt::AlignCenter, column.mid(i, 1));
  p.end();

  // The mask the caption's colour is ink on: it holds the caption whole.
  std::vector<QPoint> caption;
  for (int y = 0; y < img.height(); ++y)
    for (int x = 0; x < img.width(); ++x) {
      const QColor c = img.pixelColor(x, y);
      if (std::abs(c.red() - red.red()) + std::abs(c.green() - red.green()) + std::abs(c.blue() - red.blue()) <= 30)
        caption.push_back({x, y});
    }
  const std::vector<QImage> masks = inkMasks(img, 8);
  std::size_t best = 0, mostInked = 0;
  for (std::size_t m = 0; m < masks.size(); ++m) {
    const auto inked = std::size_t(std::count_if(caption.begin(), caption.end(),
                                                 [&](QPoint at) { return qGray(masks[m].pixel(at)) == 0; }));
    if (inked > mostInked) mostInked = inked, best = m;
  }
  ASSERT_FALSE(masks.empty());
  EXPECT_GT(mostInked, caption.size() * 9 / 10) << mostInked << " of " << caption.size();
  const QImage& mask = masks[best];
  const std::vector<InkLine> lines = inkLines(mask, 6);
  const auto row = std::find_if(lines.begin(), lines.end(), [](const InkLine& l) { return !l.column; });
  const auto col = std::find_if(lines.begin(), lines.end(), [](const InkLine& l) { return l.column; });
  ASSERT_TRUE(row != lines.end() && col != lines.end());
  EXPECT_TRUE(QRect(0, 270, 400, 80).contains(row->box) && row->box.width() > 150) << row->box.x();
  EXPECT_TRUE(QRect(410, 10, 70, 220).contains(col->box) && col->box.height() > 150) << col->box.y();
  const QImage set = columnAsRow(mask, col->box);
  EXPECT_GT(set.width(), 3 * set.height());
  EXPECT_EQ(columnAsRow(mask, col->box.adjusted(0, -100, 0, 100)).size(), set.size());

  ReaderOptions options;
  options.lowPriority = false;
  options.passes = options.unsurePasses = {};  // what the masks find alone
  PictureReader reader(options);
  const auto texts = reader.read(img);
  ASSERT_TRUE(texts && texts->size() == 1);
  const std::string words = normalizedWords((*texts)[0]);
  EXPECT_NE(words.find("下班了摸鱼"), std::string::npos) << (*texts)[0];
  EXPECT_NE(words.find("老板加班"), std::string::npos) << (*texts)[0];

  // A tilted caption: its row slopes as the caption does, and levelled, it is as high as a character.
  QImage tilted(480, 240, QImage::Format_RGB888);
  tilted.fill(QColor(200, 220, 250));
  p.begin(&tilted);
  p.setFont(font);
  p.setPen(red);
  p.translate(240, 120);
  p.rotate(8);
  p.drawText(QRect(-220, -30, 440, 60), Qt::AlignCenter, QStringLiteral("今天下班回家"));
  p.end();
  const QImage tiltedMask = inkMasks(tilted, 1).at(0);
  const std::vector<InkLine> tiltedLines = inkLines(tiltedMask, 1);
  ASSERT_EQ(tiltedLines.size(), 1u);
  EXPECT_NEAR(tiltedLines[0].slope, std::tan(8 * M_PI / 180), 0.03);
  EXPECT_LE(tiltedLines[0].size, 40);
  const QImage level =
      levelled(tiltedMask.copy(tiltedLines[0].box.adjusted(-20, -20, 20, 20)), tiltedLines[0].slope);
  int top = level.height(), bottom = 0;
  for (int y = 0; y < level.height(); ++y)
    for (int x = 0; x < level.width(); ++x)
      if (qGray(level.pixel(x, y)) < 128) top = std::min(top, y), bottom = std::max(bottom, y);
  EXPECT_LE(bottom - top, 40);

  // White with a black outline on white: the fill is read from what the outline encloses.
  QImage outlined(480, 160, QImage::Format_RGB888);
  outlined.fill(Qt::white);
  font.setPixelSize(44);
  font.setBold(true);
  QPainterPath path;
  path.addText(40, 100, font, QStringLiteral("今天下班回家"));
  p.begin(&outlined);
  p.strokePath(path, QPen(Qt::black, 4));
  p.fillPath(path, Qt::white);
  p.end();
  const auto outlinedTexts = reader.read(outlined);
  ASSERT_TRUE(outlinedTexts && outlinedTexts->size() == 1);
  EXPECT_NE(normalizedWords((*outlinedTexts)[0]).find("今天下班回家"), std::string::npos)
      << (*outlinedTexts)[0];
}

// A newer reader reads every picture again, newest first, while the older reader's words answer;
// they go only once the new ones land, and stay on a picture the newer reader cannot read.
TEST(Library, ANewerReaderReadsAgainNewestFirstWhileTheOldWordsAnswer) {
  test::TempFolder temp;
  const std::vector<int> newestFirst{220, 200, 230, 210};  // widths, the pictures' names
  for (std::size_t i = 0; i < newestFirst.size(); ++i) {
    const auto at = temp.path() / (std::to_string(newestFirst[i]) + ".png");
    writeBytes(at, test::solidPicture(newestFirst[i], 40, Qt::white));
    std::filesystem::last_write_time(
        at, std::filesystem::file_time_type::clock::now() - std::chrono::hours(i + 1));
  }
  const auto reading = [&](const char* mode, int version) {
    LibraryOptions options = hostile(temp, mode);
    options.reader.passes = {{PassImage::AsIs, 6}};
    options.reader.unsurePasses = {};
    options.reader.version = version;
    options.reader.limitMs = 1000;
    options.reader.limitMsPerMegapixel = 0;
    return running(options, {temp.path().string()});
  };
  {
    auto lib = reading("ok", ocr::kReaderVersion);
    ASSERT_TRUE(eventually([&] { return lib->find("ok").size() == 4 && idle(*lib); }));
  }
  writeBytes(temp.path() / "asked.hold", "");
  auto lib = reading("hold", ocr::kReaderVersion + 1);
  ASSERT_TRUE(eventually([&] { return asked(temp) == 1; }));
  EXPECT_EQ(lib->find("ok").size(), 4u);
  EXPECT_TRUE(lib->find("新字").empty());
  ASSERT_TRUE(eventually([&] { return asked(temp) == 3; }));  // the newest overran its time twice
  std::filesystem::remove(temp.path() / "asked.hold");
  ASSERT_TRUE(eventually([&] { return idle(*lib) && lib->find("新字").size() == 3; }));
  EXPECT_EQ(names(lib->find("ok")), std::set<std::string>{"220.png"});
  std::ifstream log(temp.path() / "asked");
  std::vector<int> order(std::istream_iterator<int>(log), {});
  order.erase(std::unique(order.begin(), order.end()), order.end());
  EXPECT_EQ(order, newestFirst);
}

// Ten clear Traditional captions, each found by its words typed in either script. The reader
// reads them in one script or the other, so that, unfolded, each script found four; by the
// whole picture's passes alone, two were misread (無語 as 4五, 厲害 as 属害) in either script.
TEST(Library, EitherScriptFindsTraditionalCaptions) {
  const std::vector<std::pair<const char*, const char*>> captions{
      {"謝謝", "谢谢"}, {"開心", "开心"},     {"無語", "无语"}, {"愛你", "爱你"}, {"難過", "难过"},
      {"厲害", "厉害"}, {"說得對", "说得对"}, {"後悔", "后悔"}, {"發財", "发财"}, {"見鬼", "见鬼"}};
  test::TempFolder temp;
  for (std::size_t i = 0; i < captions.size(); ++i)
    writeBytes(temp.path() / (std::to_string(i) + ".png"), captionedPicture(captions[i].first));
  auto lib = running(optionsIn(temp), {temp.path().string()});
  ASSERT_TRUE(eventually([&] { return lib->folderStates()[0].read == 10; }, 120));
  int traditional = 0, simplified = 0;
  for (std::size_t i = 0; i < captions.size(); ++i) {
    const std::set<std::string> it{std::to_string(i) + ".png"};
    traditional += names(lib->find(captions[i].first)) == it;
    simplified += names(lib->find(captions[i].second)) == it;
  }
  EXPECT_GE(traditional, 9);
  EXPECT_GE(simplified, 9);
}
