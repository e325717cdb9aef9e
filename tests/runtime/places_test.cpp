#include "runtime/places.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "runtime/files.h"
#include "support/temp_folder.h"

using namespace mw;
using namespace mw::runtime;
using mw::test::TempFolder;
namespace fs = std::filesystem;

namespace {

mode_t modeOf(const fs::path& p) {
  struct stat st {};
  EXPECT_EQ(::lstat(p.c_str(), &st), 0) << p;
  return st.st_mode & 07777;
}

TEST(ProgramPlaces, BesideAPortableCopyInTheUsersPlacesForAnInstalledOne) {
  TempFolder program, home;
  const UserFolders user{(home.path() / "cfg").string(), (home.path() / "图片").string()};

  // Where the program lies decides, not what it may write: root may write to /usr/bin, and a
  // portable copy in a read-only folder still keeps its files beside itself.
  for (const Text& folder : {program.text(), Text("/proc")}) {
    SCOPED_TRACE(folder);
    const ProgramPlaces portable = programPlacesFor(folder, user);
    EXPECT_EQ(portable.settingsFolder, folder);
    EXPECT_EQ(portable.favouritesFolder, folder + "/"_gbk + "我的收藏"_gbk);
  }
  for (const Text& folder : {Text("/usr/bin"), Text("/usr/local/bin")}) {
    SCOPED_TRACE(folder);
    const ProgramPlaces installed = programPlacesFor(folder, user);
    EXPECT_EQ(installed.settingsFolder, home.text("cfg/memwick"));
    EXPECT_TRUE(fs::is_directory(home.path() / "cfg/memwick"));
    EXPECT_EQ(installed.favouritesFolder, home.text("图片/我的收藏"_gbk));
  }
  EXPECT_EQ(programPlacesFor("/usr/bin", {"/c", "/srv/pics/"}).favouritesFolder,
            "/srv/pics/"_gbk + "我的收藏"_gbk);

  // Below the prefix the build installs to, wherever that is.
  EXPECT_TRUE(installedCopy("/opt/memwick/bin", "/opt/memwick/"));
  EXPECT_TRUE(installedCopy("/opt/memwick", "/opt/memwick"));
  EXPECT_FALSE(installedCopy("/opt/memwick-unpacked", "/opt/memwick"));
  EXPECT_FALSE(installedCopy("/opt/memwick/bin", "/"));
  EXPECT_FALSE(installedCopy("/home/me/memwick", "/usr/local"));

  // The running program (in the build folder) is a portable copy.
  EXPECT_EQ(programPlaces(user).settingsFolder, programDirectory());
}

TEST(PrivateFolder, OnlyTheUserCanEnterIt) {
  TempFolder runtimeDir, cache;
  UserFolders user;
  user.runtime = runtimeDir.path().string();
  user.cache = (cache.path() / "c").string();
  EXPECT_EQ(privateFolder(user), runtimeDir.text("memwick"));
  EXPECT_EQ(modeOf(runtimeDir.path() / "memwick"), 0700u);
  // A folder made wider by someone is narrowed again.
  fs::permissions(runtimeDir.path() / "memwick", fs::perms::all);
  EXPECT_EQ(privateFolder(user), runtimeDir.text("memwick"));
  EXPECT_EQ(modeOf(runtimeDir.path() / "memwick"), 0700u);
  // A link in its place is not followed: the cache folder serves instead.
  fs::remove(runtimeDir.path() / "memwick");
  fs::create_directory_symlink(cache.path(), runtimeDir.path() / "memwick");
  EXPECT_EQ(privateFolder(user), cache.text("c/memwick"));

  // Without a runtime folder the cache folder serves, made when missing.
  user.runtime.clear();
  fs::remove_all(cache.path() / "c");
  EXPECT_EQ(privateFolder(user), cache.text("c/memwick"));
  EXPECT_EQ(modeOf(cache.path() / "c/memwick"), 0700u);
  // Without either there is none, rather than one at the root.
  EXPECT_EQ(privateFolder({}), "");
}

TEST(NewFile, IsCreatedOnlyWhereNothingIs) {
  TempFolder folder;
  const Text path = folder.text("1700000000000.jpg");
  EXPECT_EQ(writeNewFile(path, "first"), NewFile::Written);
  EXPECT_EQ(writeNewFile(path, "second"), NewFile::Exists);
  EXPECT_EQ(readFile(path).value(), "first");
  EXPECT_EQ(writeNewFile(folder.text("missing/a.jpg"), "x"), NewFile::Failed);
  EXPECT_EQ(writeNewFile("/proc/a.jpg", "x"), NewFile::Failed);
  EXPECT_EQ(std::distance(fs::directory_iterator(folder.path()), {}), 1);
}

}  // namespace
