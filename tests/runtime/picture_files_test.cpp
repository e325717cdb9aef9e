#include "runtime/picture_files.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "runtime/places.h"
#include "support/temp_folder.h"

using namespace mw;
using mw::runtime::PictureFiles;
using mw::test::TempFolder;
namespace fs = std::filesystem;

namespace {

bool exists(const Text& path) { return !path.empty() && fs::exists(fs::path(path)); }

TEST(PictureFiles, PastTheKeptBytesTheLeastLatelyUsedGoButNeverOneInUse) {
  TempFolder folder;
  PictureFiles files(folder.text(), 100);
  const std::string a(40, 'a'), b(40, 'b'), c(40, 'c'), d(40, 'd'), e(150, 'e');
  const Text fileA = files.file(a, "gif");
  const Text fileB = files.file(b, "gif");
  EXPECT_NE(fileA, fileB);
  EXPECT_EQ(files.file(a, "gif"), fileA);
  files.setInUse(PictureFiles::Use::Clipboard, fileA);

  // Past 100 bytes once c is handed out: b goes (a was used later, and is on the clipboard).
  const Text fileC = files.file(c, "gif");
  files.setInUse(PictureFiles::Use::Drag, fileC);
  EXPECT_TRUE(exists(fileA) && exists(fileC));
  EXPECT_FALSE(exists(fileB));

  // The clipboard moves on to d: a goes; the dragged c stays.
  const Text fileD = files.file(d, "gif");
  files.setInUse(PictureFiles::Use::Clipboard, fileD);
  EXPECT_FALSE(exists(fileA));
  EXPECT_TRUE(exists(fileC) && exists(fileD));

  // A picture larger than all allowed is still had, with what is in use.
  const Text fileE = files.file(e, "gif");
  files.setInUse(PictureFiles::Use::Clipboard, fileE);
  EXPECT_TRUE(exists(fileE) && exists(fileC));
  EXPECT_FALSE(exists(fileD));

  // One removed is written again when needed, and so is one someone else removed.
  EXPECT_EQ(files.file(b, "gif"), fileB);
  EXPECT_TRUE(exists(fileB));
  fs::remove(fs::path(fileC));
  EXPECT_EQ(files.file(c, "gif"), fileC);
  EXPECT_TRUE(exists(fileC));
}

TEST(PictureFiles, ARunRemovesWhatEndedRunsLeftButNotWhileAnotherGoesOn) {
  TempFolder folder;
  const fs::path privateFolder = folder.path();
  Text kept, dragged;
  {
    PictureFiles going(folder.text());
    kept = going.file("GIF89a kept", "gif");
    dragged = going.file("GIF89a dragged", "gif");
    going.setInUse(PictureFiles::Use::Clipboard, kept);
    going.setInUse(PictureFiles::Use::Drag, dragged);
    // What looks left behind may be another run's: a run starting meanwhile leaves it all.
    fs::create_directory(privateFolder / "run-ended");
    std::ofstream(privateFolder / "run-ended/0123456789abcdef.gif") << "GIF89a";
    std::ofstream(privateFolder / "memwick-copy.gif") << "GIF89a";
    PictureFiles second(folder.text());
    EXPECT_NE(second.folder(), going.folder());
    EXPECT_TRUE(fs::exists(privateFolder / "run-ended") && fs::exists(privateFolder / "memwick-copy.gif"));
  }
  // At exit only the clipboard's file stays, for whoever has yet to paste it.
  EXPECT_TRUE(exists(kept));
  EXPECT_FALSE(exists(dragged));

  PictureFiles next(folder.text());
  EXPECT_FALSE(exists(kept));
  std::vector<fs::path> left;
  for (const auto& entry : fs::directory_iterator(privateFolder)) left.push_back(entry.path());
  EXPECT_EQ(left.size(), 2u) << "the lock and this run's folder";
  EXPECT_TRUE(fs::is_directory(fs::path(next.folder())));

  // Without a runtime folder the private folder lies in the cache folder and is kept the same way.
  TempFolder cache;
  runtime::UserFolders user;
  user.cache = cache.path().string();
  const Text cached = runtime::privateFolder(user);
  ASSERT_EQ(cached, cache.text("memwick"));
  std::ofstream(cache.path() / "memwick/memwick-drag.png") << "PNG";
  // Others' files beside the pictures, such as the picture index, outlive every start.
  std::ofstream(cache.path() / "memwick/library.sqlite") << "index";
  fs::create_directory(cache.path() / "memwick/runs");
  PictureFiles inCache(cached);
  EXPECT_FALSE(fs::exists(cache.path() / "memwick/memwick-drag.png"));
  EXPECT_TRUE(fs::exists(cache.path() / "memwick/library.sqlite") && fs::exists(cache.path() / "memwick/runs"));
  EXPECT_TRUE(exists(inCache.file("GIF89a", "gif")));
}

}  // namespace
