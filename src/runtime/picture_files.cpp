#include "runtime/picture_files.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <xxhash.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "runtime/files.h"

namespace mw::runtime {
namespace {

namespace fs = std::filesystem;

constexpr const char* kLockName = "lock";

// 16 hex digits of a 64-bit hash of the content: a name only has to tell this run's pictures
// apart, and a fast hash keeps a large GIF's copy about as quick as writing its file.
std::string contentName(std::string_view bytes) {
  char name[17];
  std::snprintf(name, sizeof name, "%016llx",
                static_cast<unsigned long long>(XXH3_64bits(bytes.data(), bytes.size())));
  return name;
}

// What runs that have ended left: their folders, and the single files of earlier versions. The
// folder may be shared with other files (the picture index lives beside it in the cache folder).
bool leftByARun(const fs::directory_entry& entry) {
  const std::string name = entry.path().filename().string();
  std::error_code error;
  if (name.starts_with("run-")) return entry.is_directory(error) && !entry.is_symlink(error);
  return name == "memwick-copy.gif" || name == "memwick-drag.gif" || name == "memwick-drag.png";
}

void removeLeftovers(const std::string& folder) {
  std::error_code error;
  for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
    if (!leftByARun(*it)) continue;
    std::error_code ignored;
    fs::remove_all(it->path(), ignored);
  }
}

}  // namespace

PictureFiles::PictureFiles(const Text& privateFolder, std::uint64_t keptBytes) : keptBytes_(keptBytes) {
  if (privateFolder.empty()) return;
  const std::string folder = nativePath(privateFolder);
  // Every run holds the lock shared while it goes, so a run that has it alone is the only one.
  lock_ = ::open((folder + "/" + kLockName).c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (lock_ < 0) return;
  if (::flock(lock_, LOCK_EX | LOCK_NB) == 0) removeLeftovers(folder);
  // The run's folder is made only once the lock is shared: a run starting meanwhile, which
  // would take it alone to clean up, then waits.
  std::string run = folder + "/run-XXXXXX";
  if (::flock(lock_, LOCK_SH) == 0 && ::mkdtemp(run.data())) runFolder_ = pathText(run);
}

PictureFiles::~PictureFiles() {
  for (const Entry& entry : entries_)
    if (entry.path != clipboard_) ::unlink(nativePath(entry.path).c_str());
  if (!runFolder_.empty()) ::rmdir(nativePath(runFolder_).c_str());  // fails while the clipboard's is there
  if (lock_ >= 0) ::close(lock_);
}

Text PictureFiles::file(std::string_view bytes, std::string_view extension) {
  if (runFolder_.empty()) return {};
  const Text path = runFolder_ + "/" + contentName(bytes) + "." + Text(extension);
  const std::string native = nativePath(path);
  for (auto it = entries_.begin(); it != entries_.end(); ++it) {
    if (it->path != path) continue;
    struct stat st {};
    if (::stat(native.c_str(), &st) == 0 && std::uint64_t(st.st_size) == it->size) {
      entries_.splice(entries_.end(), entries_, it);  // used now; the file is not touched
      return path;
    }
    // Removed or changed by someone else: written afresh.
    ::unlink(native.c_str());
    total_ -= it->size;
    entries_.erase(it);
    break;
  }
  if (writeNewFile(path, bytes) != NewFile::Written) return {};
  entries_.push_back({path, bytes.size()});
  total_ += bytes.size();
  return path;
}

void PictureFiles::setInUse(Use use, const Text& file) {
  (use == Use::Clipboard ? clipboard_ : drag_) = file;
  trim();
}

void PictureFiles::trim() {
  for (auto it = entries_.begin(); total_ > keptBytes_ && it != entries_.end();) {
    if (inUse(it->path)) {
      ++it;
      continue;
    }
    ::unlink(nativePath(it->path).c_str());
    total_ -= it->size;
    it = entries_.erase(it);
  }
}

}  // namespace mw::runtime
