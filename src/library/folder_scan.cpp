#include "library/folder_scan.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <climits>
#include <cstdlib>
#include <memory>

#include "library/words.h"

namespace mw::library {
namespace {

// Deeper folders than this are taken to be a mistake (or a trap) and not read.
constexpr int kMaxDepth = 64;

long long mtimeNs(const struct stat& st) { return st.st_mtim.tv_sec * 1'000'000'000LL + st.st_mtim.tv_nsec; }

std::string realPath(const std::string& path) {
  std::unique_ptr<char, decltype(&std::free)> real(realpath(path.c_str(), nullptr), &std::free);
  return real ? std::string(real.get()) : std::string();
}

std::string stem(const std::string& name) {
  const std::size_t dot = name.rfind('.');
  return dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
}

// True when `real` (a resolved path) lies below `root` with no hidden part on the way: a link
// may not lead into what the scan leaves out.
bool visiblyBelow(const std::string& real, const std::string& root) {
  if (!isBelow(real, root)) return false;
  for (std::size_t slash = root.size(); slash != std::string::npos; slash = real.find('/', slash + 1)) {
    if (real[slash + 1] == '.') return false;
  }
  return true;
}

struct DirCloser {
  void operator()(DIR* d) const { closedir(d); }
};

}  // namespace

bool isBelow(const std::string& path, const std::string& root) {
  return path.size() > root.size() + 1 && path.compare(0, root.size(), root) == 0 && path[root.size()] == '/';
}

std::optional<FileKey> fileKeyOf(const std::string& path) {
  struct stat st {};
  if (stat(path.c_str(), &st) != 0) return std::nullopt;
  return FileKey{path, st.st_size, mtimeNs(st)};
}

bool isPictureName(std::string_view name) {
  const std::size_t dot = name.rfind('.');
  if (dot == std::string_view::npos || dot == 0) return false;
  std::string ext(name.substr(dot + 1));
  std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return char(std::tolower(c)); });
  static const std::array<const char*, 7> kinds{"jpg", "jpeg", "png", "gif", "bmp", "webp", "avif"};
  return std::find(kinds.begin(), kinds.end(), ext) != kinds.end();
}

FolderScan scanFolder(const std::string& root, const std::vector<std::string>& skipNames) {
  FolderScan scan;
  struct Pending {
    std::string path;
    std::vector<std::string> folders;  // names below the root
  };
  std::vector<Pending> todo{{root, {}}};
  while (!todo.empty()) {
    Pending at = std::move(todo.back());
    todo.pop_back();
    // A folder that cannot be read now is not empty: what it held is left as it was.
    const auto unreadable = [&](int error) {
      if (error == 0 || isGone(error)) return;
      scan.unreadable.push_back(at.path);
      if (at.folders.empty()) scan.rootError = error;
    };
    std::unique_ptr<DIR, DirCloser> dir(opendir(at.path.c_str()));
    if (!dir) {
      unreadable(errno);
      continue;
    }
    scan.folders.push_back(at.path);
    const int fd = dirfd(dir.get());
    for (;;) {
      errno = 0;
      const dirent* entry = readdir(dir.get());
      if (!entry) {
        unreadable(errno);  // none at the end of the list
        break;
      }
      const std::string name = entry->d_name;
      if (name.empty() || name[0] == '.') continue;
      if (at.folders.empty() && std::find(skipNames.begin(), skipNames.end(), name) != skipNames.end())
        continue;
      struct stat st {};
      const std::string path = at.path + "/" + name;
      if (fstatat(fd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
        if (!isGone(errno)) scan.unreadable.push_back(path);
        continue;
      }
      if (S_ISDIR(st.st_mode)) {
        if (int(at.folders.size()) < kMaxDepth) {
          Pending sub{path, at.folders};
          sub.folders.push_back(name);
          todo.push_back(std::move(sub));
        }
        continue;
      }
      if (!isPictureName(name)) continue;
      if (S_ISLNK(st.st_mode)) {
        // A link to a picture inside the library counts; a dangling one, a loop or one that
        // leads out does not.
        if (!visiblyBelow(realPath(path), root) || fstatat(fd, name.c_str(), &st, 0) != 0) continue;
      }
      if (!S_ISREG(st.st_mode)) continue;
      ScannedPicture picture{{path, st.st_size, mtimeNs(st)}, {nameText(stem(name))}};
      for (const std::string& folder : at.folders) picture.names.push_back(nameText(folder));
      scan.pictures.push_back(std::move(picture));
    }
  }
  return scan;
}

std::optional<std::string> pictureBelow(const std::string& root, std::string_view relative) {
  if (root.empty() || relative.empty() || relative.front() == '/' ||
      relative.find('\0') != std::string_view::npos)
    return std::nullopt;
  for (std::size_t pos = 0; pos <= relative.size();) {
    const std::size_t end = std::min(relative.find('/', pos), relative.size());
    const std::string_view part = relative.substr(pos, end - pos);
    if (part.empty() || part.front() == '.') return std::nullopt;  // also "." and ".."
    pos = end + 1;
  }
  if (!isPictureName(relative)) return std::nullopt;
  const std::string path = root + "/" + std::string(relative);
  const std::string real = realPath(path);
  struct stat st {};
  if (!visiblyBelow(real, root) || stat(real.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
  return real;
}

std::string canonicalFolder(const std::string& folder, int* error) {
  int ignored = 0;
  int& why = error ? *error : ignored;
  why = ENOENT;
  if (folder.empty()) return {};
  const std::string real = realPath(folder);
  struct stat st {};
  if (real.empty() || stat(real.c_str(), &st) != 0) {
    why = errno;
    return {};
  }
  why = S_ISDIR(st.st_mode) ? 0 : ENOTDIR;
  return why == 0 ? real : std::string();
}

}  // namespace mw::library
