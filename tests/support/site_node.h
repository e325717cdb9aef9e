#pragma once
// A memwick-site node run as its own process, as a group runs one: started with the given
// options, ready once it wrote its sites file; stopped with SIGTERM (or killed) at the end.
// Nodes started one after the other start together: each is waited for only by ready().
#include <fcntl.h>
#include <httplib.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "net/site_settings.h"
#include "runtime/files.h"
#include "support/captioned_picture.h"
#include "support/temp_folder.h"

namespace mw::test {

class SiteNode {
 public:
  // The test binary lives in <build>/tests, the server in <build>/src/site.
  static std::string program() {
    return runtime::nativePath(runtime::programDirectory()) + "/../src/site/memwick-site";
  }

  explicit SiteNode(const std::vector<std::string>& options) {
    const std::string ini = (folder_.path() / "sites.ini").string();
    const std::string log = (folder_.path() / "node.log").string();
    std::vector<std::string> args{program(), "--write", ini};
    args.insert(args.end(), options.begin(), options.end());
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_ = fork();
    if (pid_ == 0) {
      // Only async-signal-safe calls between fork and exec: the test process has threads.
      const int out = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      if (out >= 0) dup2(out, STDOUT_FILENO), dup2(out, STDERR_FILENO);
      execv(argv[0], argv.data());
      _exit(127);
    }
  }
  ~SiteNode() { stop(); }
  SiteNode(const SiteNode&) = delete;
  SiteNode& operator=(const SiteNode&) = delete;

  pid_t pid() const { return pid_; }
  // Waits until it serves; false when it ended first.
  bool ready() {
    const std::string ini = (folder_.path() / "sites.ini").string();
    eventually([&] {
      if (!settings_ && std::filesystem::exists(ini)) settings_ = net::readSiteSettings(ini).settings;
      return settings_.has_value() || exited();
    });
    return settings_.has_value() && pid_ > 0;
  }
  // What it printed, for a failed test's message.
  std::string log() const { return readFile(folder_.path() / "node.log"); }
  const std::string& searchHost() const { return settings_->searchHost; }
  httplib::Client search() const {
    const std::string& host = searchHost();
    httplib::Client c(host.substr(0, host.rfind(':')), std::stoi(host.substr(host.rfind(':') + 1)));
    c.set_read_timeout(30);
    return c;
  }

  // Sends `number` (SIGHUP, say) without waiting.
  void signal(int number) const {
    if (pid_ > 0) kill(pid_, number);
  }
  // SIGTERM, or SIGKILL; then waits for it. Its exit status, -1 when it was not running.
  int stop(int signal = SIGTERM) {
    if (pid_ <= 0) return -1;
    kill(pid_, signal);
    int status = 0;
    waitpid(pid_, &status, 0);
    pid_ = -1;
    return status;
  }

 private:
  bool exited() {
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) != pid_) return false;
    pid_ = -1;
    return true;
  }
  static std::string readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

  TempFolder folder_;
  pid_t pid_ = -1;
  std::optional<net::SiteSettings> settings_;
};

}  // namespace mw::test
