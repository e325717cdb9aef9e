#include "site/picture_store.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCryptographicHash>
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <random>

#include "site/collection.h"

namespace mw::site {
namespace {

using namespace std::chrono;

// Names of files on their way in (".<id>.<random>.part") and out (".<id>.<ext>.<random>.gone"):
// hidden, and never taken for a picture.
constexpr std::string_view kPartSuffix = ".part";
constexpr std::string_view kGoneSuffix = ".gone";
// A file on its way out whose node died is dealt with by the next sweep after this long.
constexpr seconds kAbandoned{60};
constexpr std::size_t kMaxRead = std::size_t(64) << 20;

std::string uniqueSuffix() {
  static std::atomic<unsigned> counter{0};
  static const unsigned seed = std::random_device{}();
  return std::to_string(::getpid()) + "-" + std::to_string(seed) + "-" + std::to_string(++counter);
}

std::string systemError(const std::string& what, const std::string& path) {
  return what + " " + path + ": " + std::strerror(errno);
}

bool syncFolder(const std::string& folder) {
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return false;
  const bool ok = ::fsync(fd) == 0;
  ::close(fd);
  return ok;
}

// Makes `folder` below `parent` when missing, durably (the parent synced).
bool makeFolder(const std::string& parent, const std::string& folder, std::string& error) {
  if (::mkdir(folder.c_str(), 0755) == 0) {
    if (syncFolder(parent)) return true;
    error = systemError("cannot sync", parent);
    return false;
  }
  if (errno == EEXIST) return true;
  error = systemError("cannot make", folder);
  return false;
}

bool writeAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    bytes.remove_prefix(std::size_t(n));
  }
  return true;
}

system_clock::time_point changed(const struct stat& st, bool statusChange) {
  const timespec& t = statusChange ? st.st_ctim : st.st_mtim;
  return system_clock::time_point(
      duration_cast<system_clock::duration>(seconds(t.tv_sec) + nanoseconds(t.tv_nsec)));
}

bool olderThan(const struct stat& st, seconds age, bool statusChange = false) {
  return changed(st, statusChange) < system_clock::now() - age;
}

std::vector<std::string> entries(const std::string& folder) {
  std::vector<std::string> names;
  DIR* dir = ::opendir(folder.c_str());
  if (!dir) return names;
  while (const dirent* e = ::readdir(dir))
    if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0) names.emplace_back(e->d_name);
  ::closedir(dir);
  return names;
}

bool isHexPair(const std::string& name) {
  return name.size() == 2 && std::all_of(name.begin(), name.end(), [](char c) {
           return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
         });
}

}  // namespace

std::string pictureId(std::string_view bytes) {
  return QCryptographicHash::hash(QByteArrayView(bytes.data(), qsizetype(bytes.size())),
                                  QCryptographicHash::Sha256)
      .toHex()
      .toStdString();
}

FolderStore::FolderStore(std::string root) : root_(std::move(root)) {}

bool FolderStore::usable(std::string& error) const {
  struct stat st {};
  ::mkdir(root_.c_str(), 0750);
  if (::stat(root_.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
    error = "no folder " + root_;
    return false;
  }
  if (::access(root_.c_str(), W_OK | X_OK) != 0) {
    error = systemError("cannot write into", root_);
    return false;
  }
  return true;
}

std::string FolderStore::folderOf(const std::string& id) const {
  return root_ + "/" + id.substr(0, 2) + "/" + id.substr(2, 2);
}

std::string FolderStore::pathOf(const PictureKey& key) const {
  return folderOf(key.id) + "/" + key.id + "." + key.ext;
}

bool FolderStore::put(const PictureKey& key, std::string_view bytes, std::string& error) {
  if (!isPictureId(key.id)) {
    error = "not a picture id: " + key.id;
    return false;
  }
  const std::string path = pathOf(key);
  // Held already: freshened, so that a sweep does not take it for an orphan before its record
  // is written (a copy that lost that race is written again below).
  struct stat st {};
  if (::stat(path.c_str(), &st) == 0 && std::size_t(st.st_size) == bytes.size() &&
      ::utimensat(AT_FDCWD, path.c_str(), nullptr, 0) == 0)
    return true;

  const std::string outer = root_ + "/" + key.id.substr(0, 2);
  const std::string folder = folderOf(key.id);
  if (!makeFolder(root_, outer, error) || !makeFolder(outer, folder, error)) return false;
  const std::string part = folder + "/." + key.id + "." + uniqueSuffix() + std::string(kPartSuffix);
  const int fd = ::open(part.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (fd < 0) {
    error = systemError("cannot create", part);
    return false;
  }
  const bool written = writeAll(fd, bytes) && ::fsync(fd) == 0;
  if (::close(fd) != 0 || !written) {
    error = systemError("cannot write", part);
    ::unlink(part.c_str());
    return false;
  }
  if (::rename(part.c_str(), path.c_str()) != 0) {
    error = systemError("cannot rename into", path);
    ::unlink(part.c_str());
    return false;
  }
  if (!syncFolder(folder)) {
    error = systemError("cannot sync", folder);
    return false;
  }
  return true;
}

std::optional<std::string> FolderStore::read(const PictureKey& key) {
  if (!isPictureId(key.id)) return std::nullopt;
  const int fd = ::open(pathOf(key).c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  struct stat st {};
  std::optional<std::string> bytes;
  if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && std::size_t(st.st_size) <= kMaxRead) {
    bytes.emplace(std::size_t(st.st_size), '\0');
    std::size_t got = 0;
    while (got < bytes->size()) {
      const ssize_t n = ::read(fd, bytes->data() + got, bytes->size() - got);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      got += std::size_t(n);
    }
    if (got != bytes->size()) bytes.reset();
  }
  ::close(fd);
  return bytes;
}

bool FolderStore::holds(const PictureKey& key) {
  struct stat st {};
  return isPictureId(key.id) && ::stat(pathOf(key).c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// The file is first renamed out of its name, so that an upload of the same picture from then on
// writes a fresh one; it is looked at again under its new name before it goes, since an upload
// may have freshened it (and be writing its record) just before.
void FolderStore::discard(const PictureKey& key, seconds minAge, const Recorded& recorded) {
  if (!isPictureId(key.id)) return;
  const std::string path = pathOf(key);
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0 || !olderThan(st, minAge) || recorded(key.id) != false) return;
  const std::string gone =
      folderOf(key.id) + "/." + key.id + "." + key.ext + "." + uniqueSuffix() + std::string(kGoneSuffix);
  if (::rename(path.c_str(), gone.c_str()) != 0) return;
  if (::lstat(gone.c_str(), &st) == 0 && olderThan(st, minAge) && recorded(key.id) == false)
    ::unlink(gone.c_str());
  else
    ::rename(gone.c_str(), path.c_str());
  syncFolder(folderOf(key.id));
}

void FolderStore::sweep(seconds age, const Recorded& recorded) {
  for (const std::string& outer : entries(root_)) {
    if (!isHexPair(outer)) continue;
    for (const std::string& inner : entries(root_ + "/" + outer)) {
      if (!isHexPair(inner)) continue;
      const std::string folder = root_ + "/" + outer + "/" + inner;
      for (const std::string& name : entries(folder)) {
        const std::string path = folder + "/" + name;
        struct stat st {};
        if (::lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
        if (name.starts_with('.') && name.ends_with(kPartSuffix)) {
          // An upload that never finished writing; a rename keeps the time it was written at.
          if (olderThan(st, age, true)) ::unlink(path.c_str());
          continue;
        }
        if (name.starts_with('.') && name.ends_with(kGoneSuffix)) {
          // Left on its way out by a node that died: back into place when recorded after all.
          if (!olderThan(st, kAbandoned, true)) continue;
          const std::string id = name.substr(1, 64);
          const std::size_t dot = name.find('.', 66);
          if (!isPictureId(id) || name.size() < 67 || dot == std::string::npos) continue;
          const PictureKey key{id, name.substr(66, dot - 66)};
          const std::optional<bool> held = recorded(id);
          if (held == true && !holds(key))
            ::rename(path.c_str(), pathOf(key).c_str());
          else if (held.has_value())
            ::unlink(path.c_str());
          continue;
        }
        const std::size_t dot = name.find('.');
        if (dot != 64 || !isPictureId(name.substr(0, 64)) || dot + 1 >= name.size()) continue;
        discard({name.substr(0, 64), name.substr(65)}, age, recorded);
      }
    }
  }
}

}  // namespace mw::site
