#pragma once
// Whole-file and folder primitives. Paths are program texts (GBK) and are converted to the
// file system's UTF-8 here, so callers never handle the conversion themselves.
#include <unistd.h>

#include <optional>
#include <string_view>

#include "runtime/text.h"

namespace mw::runtime {

// The whole file, or nullopt when it cannot be read.
std::optional<Bytes> readFile(std::string_view path);

// Creates or replaces the file with `bytes`. The new content appears at once or not at all
// (temporary file beside it, then rename); a replaced file keeps its permissions and a
// symbolic link keeps pointing at the file it named. False when nothing could be written.
bool writeFile(std::string_view path, std::string_view bytes);

enum class NewFile { Written, Exists, Failed };
// Creates the file with `bytes` only when nothing is there yet (O_EXCL): nothing is ever
// replaced. A file that could not be written whole is removed again.
NewFile writeNewFile(std::string_view path, std::string_view bytes);

// True when something (file or folder) exists under the path.
bool fileExists(std::string_view path);

// Creates the folder and any missing parents; true when the folder exists afterwards.
bool createFolder(std::string_view path);

// The folder holding the running executable, without a trailing "/".
Text programDirectory();

// Path text to the file system's UTF-8 bytes and back. A name GBK cannot spell exactly is
// held as GB18030, which can: such a path works for the run, but is no GBK text to store.
std::string nativePath(std::string_view path);
Text pathText(std::string_view nativePath);
// True when the path is GBK text that reads back as itself: one the GBK settings file can hold.
bool storablePath(std::string_view path);

// Owns a file descriptor: closed when it goes.
class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : fd_(fd) {}
  ~FileDescriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  int get() const { return fd_; }
  // Closes now so that the caller sees a failing close (delayed write errors).
  bool close() {
    const int fd = fd_;
    fd_ = -1;
    return fd < 0 || ::close(fd) == 0;
  }

 private:
  int fd_;
};

}  // namespace mw::runtime
