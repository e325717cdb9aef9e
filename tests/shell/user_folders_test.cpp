#include "shell/user_folders.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "support/temp_folder.h"

using namespace mw;
using mw::test::ScopedEnv;
using mw::test::TempFolder;
namespace fs = std::filesystem;

namespace {

TEST(UserFolders, FromTheXdgSettings) {
  TempFolder home;
  const ScopedEnv homeEnv("HOME", home.path().string());
  {
    const ScopedEnv config("XDG_CONFIG_HOME", std::nullopt);
    const ScopedEnv cache("XDG_CACHE_HOME", std::nullopt);
    const ScopedEnv run("XDG_RUNTIME_DIR", std::nullopt);
    const runtime::UserFolders user = shell::userFolders();
    EXPECT_EQ(user.config, (home.path() / ".config").string());
    EXPECT_EQ(user.pictures, (home.path() / "Pictures").string());
    EXPECT_EQ(user.cache, (home.path() / ".cache").string());
    EXPECT_EQ(user.runtime, "");  // the cache folder then holds the private folder
  }
  {
    // Relative ones are ignored.
    const ScopedEnv config("XDG_CONFIG_HOME", "cfg");
    const ScopedEnv cache("XDG_CACHE_HOME", "cache");
    const ScopedEnv run("XDG_RUNTIME_DIR", "run");
    const runtime::UserFolders user = shell::userFolders();
    EXPECT_EQ(user.config, (home.path() / ".config").string());
    EXPECT_EQ(user.cache, (home.path() / ".cache").string());
    EXPECT_EQ(user.runtime, "");
  }
  {
    const ScopedEnv cache("XDG_CACHE_HOME", (home.path() / "c").string());
    const ScopedEnv run("XDG_RUNTIME_DIR", (home.path() / "r").string());
    const runtime::UserFolders user = shell::userFolders();
    EXPECT_EQ(user.cache, (home.path() / "c").string());
    EXPECT_EQ(user.runtime, (home.path() / "r").string());
  }

  const ScopedEnv config("XDG_CONFIG_HOME", (home.path() / "cfg").string());
  fs::create_directories(home.path() / "cfg");
  std::ofstream(home.path() / "cfg/user-dirs.dirs") << "# written by xdg-user-dirs-update\n"
                                                    << "XDG_DESKTOP_DIR=\"$HOME/Desktop\"\n"
                                                    << "XDG_PICTURES_DIR=\"$HOME/图片\"\n";
  runtime::UserFolders user = shell::userFolders();
  EXPECT_EQ(user.config, (home.path() / "cfg").string());
  EXPECT_EQ(user.pictures, (home.path() / "图片").string());
  // The places of an installed copy follow them.
  const runtime::ProgramPlaces installed = runtime::programPlacesFor("/usr/bin", user);
  EXPECT_EQ(installed.settingsFolder, home.text("cfg/memwick"));
  EXPECT_EQ(installed.favouritesFolder, home.text("图片/我的收藏"_gbk));

  std::ofstream(home.path() / "cfg/user-dirs.dirs") << "XDG_PICTURES_DIR=\"/srv/pics/\"\n";
  EXPECT_EQ(shell::userFolders().pictures, "/srv/pics");
  // "$HOME/" means the user turned the folder off.
  std::ofstream(home.path() / "cfg/user-dirs.dirs") << "XDG_PICTURES_DIR=\"$HOME/\"\n";
  EXPECT_EQ(shell::userFolders().pictures, (home.path() / "Pictures").string());
}

}  // namespace
