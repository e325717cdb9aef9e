#include "library/reader_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "ocr/protocol.h"

extern char** environ;

namespace mw::library {
namespace {

using Clock = std::chrono::steady_clock;
const char* const kProgramName = "memwick-ocr";
// Loading the model takes a second or two of processor time.
constexpr long long kStartLimitMs = 60000;
// How often a wait looks at the helper's state and at `cancel`.
constexpr int kTickMs = 100;

struct ProcessState {
  char state = '?';  // R runnable, S sleeping, T stopped, ...
  long long cpuMs = 0;
};

std::optional<ProcessState> processState(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
  std::string line;
  if (!std::getline(in, line)) return std::nullopt;
  // The command name in parentheses may hold anything; the fields follow its last ')'.
  const auto close = line.rfind(')');
  if (close == std::string::npos) return std::nullopt;
  std::istringstream fields(line.substr(close + 1));
  ProcessState s;
  std::string skip;
  long long userTicks = 0, systemTicks = 0;
  fields >> s.state;
  for (int i = 0; i < 10; ++i) fields >> skip;  // ppid to cmajflt
  if (!(fields >> userTicks >> systemTicks)) return std::nullopt;
  s.cpuMs = (userTicks + systemTicks) * 1000 / sysconf(_SC_CLK_TCK);
  return s;
}

std::string describeEnd(int status) {
  if (WIFSIGNALED(status))
    return "the word reader crashed (" + std::string(strsignal(WTERMSIG(status))) + ")";
  if (WIFEXITED(status)) return "the word reader ended (status " + std::to_string(WEXITSTATUS(status)) + ")";
  return "the word reader ended";
}

}  // namespace

std::string ReaderProcess::locate() {
  namespace fs = std::filesystem;
  std::vector<fs::path> candidates;
  std::error_code error;
  const fs::path self = fs::read_symlink("/proc/self/exe", error);
  if (!error) {
    candidates.push_back(self.parent_path() / kProgramName);
    candidates.push_back((self.parent_path() / MW_OCR_FROM_BINDIR).lexically_normal());
  }
  candidates.emplace_back(MW_OCR_INSTALLED);
  for (const fs::path& c : candidates) {
    if (fs::is_regular_file(c, error) && access(c.c_str(), X_OK) == 0) return c.string();
  }
  return {};
}

std::string ReaderProcess::missing(const std::string& program) {
  if (program.empty())
    return locate().empty()
               ? std::string("no ") + kProgramName + " beside the program or at " + MW_OCR_INSTALLED
               : std::string();
  return access(program.c_str(), X_OK) == 0 ? std::string()
                                            : "cannot run " + program + ": " + std::strerror(errno);
}

std::unique_ptr<ReaderProcess> ReaderProcess::start(const std::string& program, const std::string& languages,
                                                    const std::string& pageLanguages, bool lowPriority,
                                                    const std::atomic<bool>* cancel, std::string* error) {
  auto fail = [error](std::string why) {
    if (error) *error = std::move(why);
    return nullptr;
  };
  const std::string path = program.empty() ? locate() : program;
  if (path.empty()) return fail(missing(program));
  int ends[2];
  if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0)
    return fail(std::string("cannot start the word reader: ") + std::strerror(errno));
  // The helper's end is its standard input and output; it inherits nothing else of ours.
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, ends[1], STDIN_FILENO);
  posix_spawn_file_actions_adddup2(&actions, ends[1], STDOUT_FILENO);
  posix_spawn_file_actions_addclosefrom_np(&actions, STDERR_FILENO + 1);
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t none, defaults;
  sigemptyset(&none);
  sigemptyset(&defaults);
  sigaddset(&defaults, SIGPIPE);
  posix_spawnattr_setsigmask(&attributes, &none);
  posix_spawnattr_setsigdefault(&attributes, &defaults);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
  std::string argv0 = path, argv1 = languages, argv2 = lowPriority ? "idle" : "normal",
              argv3 = pageLanguages.empty() ? languages : pageLanguages;
  char* argv[] = {argv0.data(), argv1.data(), argv2.data(), argv3.data(), nullptr};
  pid_t pid = 0;
  const int spawned = posix_spawn(&pid, path.c_str(), &actions, &attributes, argv, environ);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  close(ends[1]);
  if (spawned != 0) {
    close(ends[0]);
    return fail("cannot start " + path + ": " + std::strerror(spawned));
  }
  fcntl(ends[0], F_SETFL, fcntl(ends[0], F_GETFL) | O_NONBLOCK);
  std::unique_ptr<ReaderProcess> process(new ReaderProcess(pid, ends[0], cancel));

  long long leftMs = kStartLimitMs;
  process->startCharging();
  ocr::Hello hello;
  std::string why;
  if (!process->receiveAll(&hello, sizeof hello, leftMs)) return fail(process->failure_);
  if (hello.magic != ocr::kMagic) return fail(path + " is of another build");
  if (!hello.ready) {
    why.resize(std::min<uint32_t>(hello.messageBytes, 4096));
    process->receiveAll(why.data(), why.size(), leftMs);
    return fail(why.empty() ? "the word reader could not load its model" : why);
  }
  return process;
}

ReaderProcess::~ReaderProcess() { end({}); }

void ReaderProcess::end(const std::string& why, ReadFault fault) {
  if (fd_ >= 0) close(fd_);
  fd_ = -1;
  if (pid_ <= 0) return;
  fault_ = fault;
  // Nothing of the helper's is worth waiting for.
  kill(pid_, SIGKILL);
  int status = 0;
  while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
  }
  pid_ = 0;
  // Our own kill says nothing; a crash before it says what happened.
  if (why.empty() && !(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL))
    failure_ = describeEnd(status);
  else
    failure_ = why.empty() ? "the word reader was ended" : why;
}

void ReaderProcess::startCharging() {
  chargedUntil_ = Clock::now();
  if (const auto s = processState(pid_)) cpuMs_ = s->cpuMs;
}

void ReaderProcess::charge(long long& leftMs) {
  const auto now = Clock::now();
  const long long wallMs = std::chrono::duration_cast<std::chrono::milliseconds>(now - chargedUntil_).count();
  chargedUntil_ = now;
  const auto s = processState(pid_);
  if (!s) {
    leftMs -= wallMs;
    return;
  }
  leftMs -= s->state == 'R' ? s->cpuMs - cpuMs_ : wallMs;
  cpuMs_ = s->cpuMs;
}

bool ReaderProcess::waitFor(short events, long long& leftMs) {
  for (;;) {
    if (cancel_ && cancel_->load()) {
      end("reading was stopped", ReadFault::Stopped);
      return false;
    }
    pollfd p{fd_, events, 0};
    const int ready = poll(&p, 1, kTickMs);
    charge(leftMs);
    if (leftMs < 0) {
      end("the word reader took too long", ReadFault::Picture);
      return false;
    }
    if (ready > 0) {
      if (p.revents & events) return true;
      end({});  // its end of the socket closed: it ended or crashed
      return false;
    }
    if (ready < 0 && errno != EINTR) {
      end(std::string("cannot wait for the word reader: ") + std::strerror(errno));
      return false;
    }
  }
}

bool ReaderProcess::sendAll(const void* data, std::size_t size, long long& leftMs) {
  const auto* p = static_cast<const char*>(data);
  while (size > 0) {
    if (fd_ < 0) return false;
    const ssize_t n = send(fd_, p, size, MSG_NOSIGNAL);
    if (n > 0) {
      p += n;
      size -= std::size_t(n);
    } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      if (!waitFor(POLLOUT, leftMs)) return false;
    } else if (n < 0 && errno != EINTR) {
      end({});
      return false;
    }
  }
  return true;
}

bool ReaderProcess::receiveAll(void* data, std::size_t size, long long& leftMs) {
  auto* p = static_cast<char*>(data);
  while (size > 0) {
    if (fd_ < 0) return false;
    const ssize_t n = recv(fd_, p, size, 0);
    if (n > 0) {
      p += n;
      size -= std::size_t(n);
    } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      if (!waitFor(POLLIN, leftMs)) return false;
    } else if (n == 0 || errno != EINTR) {
      end({});
      return false;
    }
  }
  return true;
}

std::optional<std::vector<ReadWord>> ReaderProcess::read(const QImage& image, int pageSegmentation,
                                                         int resolution, long long& leftMs, uint32_t model) {
  if (pid_ <= 0) return std::nullopt;
  fault_ = ReadFault::None;
  const int channels = image.format() == QImage::Format_Grayscale8 ? 1 : 3;
  if (channels == 3 && image.format() != QImage::Format_RGB888)
    return read(image.convertToFormat(QImage::Format_RGB888), pageSegmentation, resolution, leftMs, model);
  ocr::Request request;
  request.width = uint32_t(image.width());
  request.height = uint32_t(image.height());
  request.channels = uint32_t(channels);
  request.bytesPerLine = uint32_t(image.bytesPerLine());
  request.pageSegmentation = uint32_t(pageSegmentation);
  request.resolution = uint32_t(resolution);
  request.model = model;
  startCharging();
  if (!sendAll(&request, sizeof request, leftMs) ||
      !sendAll(image.constBits(), std::size_t(image.sizeInBytes()), leftMs))
    return std::nullopt;
  ocr::Answer answer;
  if (!receiveAll(&answer, sizeof answer, leftMs)) return std::nullopt;
  if (answer.magic != ocr::kMagic || answer.words > ocr::kMaxWords || (answer.unreadable && answer.words)) {
    end("the word reader answered nonsense");
    return std::nullopt;
  }
  if (answer.unreadable) {
    failure_ = "the word reader cannot read it";
    fault_ = ReadFault::Picture;
    return std::nullopt;
  }
  std::vector<ReadWord> words;
  uint32_t textBytes = 0;
  for (uint32_t i = 0; i < answer.words; ++i) {
    ocr::Word word;
    if (!receiveAll(&word, sizeof word, leftMs)) return std::nullopt;
    if (word.bytes > ocr::kMaxWordBytes || (textBytes += word.bytes) > ocr::kMaxTextBytes) {
      end("the word reader answered more than it may");
      return std::nullopt;
    }
    ReadWord& w = words.emplace_back();
    w.confidence = word.confidence;
    // Within the largest picture a request may hold, whatever the helper says.
    const auto at = [](int32_t v) { return std::clamp(v, 0, int32_t(ocr::kMaxSide)); };
    w.box = QRect(QPoint(at(word.left), at(word.top)), QPoint(at(word.right) - 1, at(word.bottom) - 1));
    w.line = int(std::min<uint32_t>(word.line, ocr::kMaxWords));
    w.text.resize(word.bytes);
    if (!receiveAll(w.text.data(), w.text.size(), leftMs)) return std::nullopt;
  }
  return words;
}

}  // namespace mw::library
