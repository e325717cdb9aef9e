#pragma once
// A fresh folder under the system's temporary folder, removed with everything in it at the
// end of the scope; and environment variables set for a scope.
#include <stdlib.h>

#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>

#include "runtime/files.h"
#include "runtime/ini_file.h"
#include "runtime/places.h"

namespace mw::test {

class TempFolder {
 public:
  TempFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "mw-test-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) throw std::runtime_error("no temporary folder");
    path_ = pattern;
  }
  ~TempFolder() {
    std::error_code ignored;
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all, ignored);
    std::filesystem::remove_all(path_, ignored);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::filesystem::path& path() const { return path_; }
  // The folder, or a path below it, as a program text (GBK); `name` is GBK too.
  Text text(const Text& name = {}) const {
    const Text folder = runtime::pathText(path_.string());
    return name.empty() ? folder : folder + "/" + name;
  }

 private:
  std::filesystem::path path_;
};

// The private folder the program makes in a user's runtime folder, in `runtimeFolder`.
inline Text privateFolderIn(const TempFolder& runtimeFolder) {
  runtime::UserFolders user;
  user.runtime = runtimeFolder.path().string();
  return runtime::privateFolder(user);
}

// Program places in a fresh temporary folder: the settings in it, the favourites below it,
// and a settings file naming that folder, as a first start leaves them; the private folder in
// a runtime folder of its own.
struct TempPlaces {
  TempPlaces() { runtime::writeIni(places.settingsFile(), "收藏"_gbk, "地址"_gbk, places.favouritesFolder); }
  operator const runtime::ProgramPlaces&() const { return places; }

  TempFolder folder, runtimeFolder;
  runtime::ProgramPlaces places{folder.text(), folder.text("我的收藏"_gbk), privateFolderIn(runtimeFolder)};
};

class ScopedEnv {
 public:
  // Sets the variable, or unsets it for nullopt.
  ScopedEnv(const char* name, std::optional<std::string> value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    if (value)
      ::setenv(name, value->c_str(), 1);
    else
      ::unsetenv(name);
  }
  ~ScopedEnv() {
    if (old_)
      ::setenv(name_, old_->c_str(), 1);
    else
      ::unsetenv(name_);
  }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  const char* name_;
  std::optional<std::string> old_;
};

}  // namespace mw::test
