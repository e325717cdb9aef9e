#include "runtime/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fstream>
#include <memory>

#include "runtime/charset.h"

namespace mw::runtime {
namespace {

mode_t currentUmask() {
  // Reading the mask without changing it: /proc tells it, umask() would race with threads.
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("Umask:", 0) == 0) return static_cast<mode_t>(std::strtol(line.c_str() + 6, nullptr, 8));
  }
  return 022;
}

bool writeAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

// The file a write to `path` should replace: a symbolic link is followed.
std::string writeTarget(const std::string& path) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
    std::unique_ptr<char, decltype(&std::free)> resolved(::realpath(path.c_str(), nullptr), &std::free);
    if (resolved) return resolved.get();
  }
  return path;
}

}  // namespace

std::string nativePath(std::string_view path) { return utf8Wide(textFromBytes(path)); }

Text pathText(std::string_view native) {
  std::optional<Text> text = convertCharset(native, "UTF-8", "GBK", true);
  if (text && convertCharset(*text, "GBK", "UTF-8", true) == native) return *std::move(text);
  return convertCharset(native, "UTF-8", "GB18030").value_or(Text{});
}

bool storablePath(std::string_view path) {
  const std::optional<std::string> native = convertCharset(path, "GBK", "UTF-8", true);
  return native && convertCharset(*native, "UTF-8", "GBK", true) == path;
}

std::optional<Bytes> readFile(std::string_view path) {
  FileDescriptor fd(::open(nativePath(path).c_str(), O_RDONLY | O_CLOEXEC));
  if (fd.get() < 0) return std::nullopt;
  struct stat st {};
  if (::fstat(fd.get(), &st) != 0 || S_ISDIR(st.st_mode)) return std::nullopt;
  Bytes bytes;
  if (st.st_size > 0) bytes.reserve(static_cast<std::size_t>(st.st_size));
  char buffer[65536];
  for (;;) {
    const ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
    if (n == 0) break;
    if (n < 0) {
      if (errno == EINTR) continue;
      return std::nullopt;
    }
    bytes.append(buffer, static_cast<std::size_t>(n));
  }
  return bytes;
}

bool writeFile(std::string_view path, std::string_view bytes) {
  const std::string target = writeTarget(nativePath(path));
  if (target.empty() || target.back() == '/') return false;
  std::string temp = target + ".XXXXXX";
  FileDescriptor fd(::mkostemp(temp.data(), O_CLOEXEC));
  if (fd.get() < 0) return false;

  struct stat st {};
  const mode_t mode = ::stat(target.c_str(), &st) == 0 ? (st.st_mode & 07777) : (0666 & ~currentUmask());
  const bool ok = ::fchmod(fd.get(), mode) == 0 && writeAll(fd.get(), bytes) && ::fsync(fd.get()) == 0;
  if (!fd.close() || !ok || ::rename(temp.c_str(), target.c_str()) != 0) {
    ::unlink(temp.c_str());
    return false;
  }
  return true;
}

NewFile writeNewFile(std::string_view path, std::string_view bytes) {
  const std::string native = nativePath(path);
  FileDescriptor fd(::open(native.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
  if (fd.get() < 0) return errno == EEXIST ? NewFile::Exists : NewFile::Failed;
  const bool ok = writeAll(fd.get(), bytes) && ::fsync(fd.get()) == 0;
  if (!fd.close() || !ok) {
    ::unlink(native.c_str());
    return NewFile::Failed;
  }
  return NewFile::Written;
}

bool fileExists(std::string_view path) {
  struct stat st {};
  return ::stat(nativePath(path).c_str(), &st) == 0;
}

bool createFolder(std::string_view path) {
  const std::string native = nativePath(path);
  if (native.empty()) return false;
  // Each prefix ending before a "/" is a parent to make first.
  for (std::size_t slash = native.find('/', 1); slash != std::string::npos;
       slash = native.find('/', slash + 1)) {
    ::mkdir(native.substr(0, slash).c_str(), 0777);
  }
  ::mkdir(native.c_str(), 0777);
  struct stat st {};
  return ::stat(native.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

Text programDirectory() {
  std::string buffer(PATH_MAX, '\0');
  const ssize_t n = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
  if (n <= 0) return {};
  buffer.resize(static_cast<std::size_t>(n));
  const auto slash = buffer.rfind('/');
  if (slash == std::string::npos || slash == 0) return "/";
  return pathText(std::string_view(buffer).substr(0, slash));
}

}  // namespace mw::runtime
