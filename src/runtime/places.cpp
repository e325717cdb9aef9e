#include "runtime/places.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <memory>
#include <string>

#include "runtime/files.h"

namespace mw::runtime {
namespace {

Text inFolder(const Text& folder, const Text& name) {
  return !folder.empty() && folder.back() == '/' ? folder + name : folder + "/" + name;
}

// `folder` is `parent` or lies below it.
bool within(std::string_view folder, std::string_view parent) {
  while (parent.size() > 1 && parent.back() == '/') parent.remove_suffix(1);
  if (parent.empty() || parent == "/") return false;  // that would make every copy installed
  return folder.starts_with(parent) && (folder.size() == parent.size() || folder[parent.size()] == '/');
}

// `folder`, made when missing, when it is a real folder of this user's that no one else can
// enter (a wider mode is narrowed).
bool ownPrivateFolder(const std::string& folder) {
  ::mkdir(folder.c_str(), 0700);
  struct stat st {};
  if (::lstat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::geteuid()) return false;
  return (st.st_mode & 07777) == 0700 || ::chmod(folder.c_str(), 0700) == 0;
}

}  // namespace

bool installedCopy(std::string_view programFolder, std::string_view installPrefix) {
  const std::string folder = nativePath(programFolder);
  if (within(folder, "/usr") || within(folder, nativePath(installPrefix))) return true;
  // The prefix as the kernel names the executable's folder, should it pass through a link.
  std::unique_ptr<char, decltype(&std::free)> real(::realpath(nativePath(installPrefix).c_str(), nullptr),
                                                   &std::free);
  return real && within(folder, real.get());
}

ProgramPlaces programPlaces(const UserFolders& user) { return programPlacesFor(programDirectory(), user); }

ProgramPlaces programPlacesFor(std::string_view programFolder, const UserFolders& user) {
  const Text favourites = "我的收藏"_gbk;
  const Text folder(programFolder);
  if (!folder.empty() && !installedCopy(folder, pathText(MW_INSTALL_PREFIX)))
    return {folder, inFolder(folder, favourites), privateFolder(user)};
  const Text settings = pathText(user.config + "/memwick");
  createFolder(settings);
  return {settings, inFolder(pathText(user.pictures), favourites), privateFolder(user)};
}

Text privateFolder(const UserFolders& user) {
  if (!user.runtime.empty() && ownPrivateFolder(user.runtime + "/memwick"))
    return pathText(user.runtime + "/memwick");
  if (!user.cache.empty() && createFolder(pathText(user.cache)) && ownPrivateFolder(user.cache + "/memwick"))
    return pathText(user.cache + "/memwick");
  return {};
}

}  // namespace mw::runtime
