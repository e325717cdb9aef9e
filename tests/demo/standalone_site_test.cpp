// The standalone memwick-site: documents its options, prints and writes a sites file that
// points at it at once, serves a shared collection of pictures, serves until SIGTERM and then
// exits cleanly.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <httplib.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <thread>
#include <vector>

#include "demo/demo_site.h"
#include "net/encoding.h"
#include "net/fetch_page.h"
#include "net/site_settings.h"
#include "net/web_request.h"
#include "runtime/files.h"
#include "runtime/text.h"
#include "support/captioned_picture.h"
#include "support/temp_folder.h"
using mw::runtime::nativePath;
using mw::runtime::programDirectory;

namespace {

// The test binary lives in <build>/tests, the server in <build>/demo.
std::string serverPath() {
  return mw::runtime::nativePath(mw::runtime::programDirectory()) + "/../demo/memwick-site";
}

// memwick-site started with `arguments`, its output dropped, ended with SIGTERM.
struct SiteProcess {
  explicit SiteProcess(std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), serverPath());
    std::vector<char*> argv;
    for (std::string& a : arguments) argv.push_back(a.data());
    argv.push_back(nullptr);
    pid = fork();
    if (pid == 0) {
      // Only async-signal-safe calls between fork and exec: the test process has threads.
      const int devNull = open("/dev/null", O_WRONLY);
      if (devNull >= 0) dup2(devNull, STDOUT_FILENO);
      execv(argv[0], argv.data());
      _exit(127);
    }
  }
  // The exit status after SIGTERM, or -1.
  int stop() {
    int status = -1;
    if (pid > 0 && kill(pid, SIGTERM) == 0 && waitpid(pid, &status, 0) != pid) status = -1;
    pid = -1;
    return status;
  }
  ~SiteProcess() { stop(); }
  pid_t pid = -1;
};

// The settings the site writes into `ini`, once they are there and valid.
std::optional<mw::net::SiteSettings> writtenSettings(const std::string& ini) {
  std::optional<mw::net::SiteSettings> settings;
  for (int i = 0; i < 500 && !settings; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    if (std::filesystem::exists(ini)) settings = mw::net::readSiteSettings(ini).settings;
  }
  return settings;
}

std::string runAndRead(const std::string& command) {
  std::string out;
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return out;
  char buf[4096];
  while (std::size_t n = fread(buf, 1, sizeof buf, pipe)) out.append(buf, n);
  pclose(pipe);
  return out;
}

}  // namespace

TEST(StandaloneSite, HelpListsEveryOptionAndBadValuesAreRefused) {
  ASSERT_TRUE(std::filesystem::exists(serverPath())) << serverPath();
  const std::string help = runAndRead(serverPath() + " --help");
  for (const char* option :
       {"--base-port", "--latency", "--failure-rate", "--newest-version", "--read-counter", "--write",
        "--library", "--listen", "--check-host", "MW_sites.ini"})
    EXPECT_NE(help.find(option), std::string::npos) << option;
  EXPECT_NE(system((serverPath() + " --failure-rate 2 >/dev/null 2>&1").c_str()), 0);
  EXPECT_NE(system((serverPath() + " --latency >/dev/null 2>&1").c_str()), 0);
}

TEST(StandaloneSite, WritesItsSitesFileServesAndStopsOnSigterm) {
  mw::test::TempFolder temp;
  const std::string ini = temp.path() / "sites.ini";
  const std::string pictures = temp.path() / "pictures";
  std::filesystem::create_directories(pictures);
  mw::test::writeBytes(temp.path() / "pictures" / "周末.png", mw::test::captionedPicture(""));
  const mw::test::ScopedEnv cache("XDG_CACHE_HOME", (temp.path() / "cache").string());
  SiteProcess site({"--write", ini, "--newest-version", "1.4", "--read-counter", "99", "--library", pictures,
                    "--listen", "127.0.0.1"});
  ASSERT_GT(site.pid, 0);
  const std::optional<mw::net::SiteSettings> settings = writtenSettings(ini);
  ASSERT_TRUE(settings);
  auto client = [](const std::string& host) {
    return httplib::Client(host.substr(0, host.find(':')), std::stoi(host.substr(host.find(':') + 1)));
  };
  auto forum = client(settings->announcementHost).Get("/forum/thread-2833224-1-1.html");
  ASSERT_TRUE(forum);
  EXPECT_NE(forum->body.find("100</li>"), std::string::npos);
  auto home = client(settings->homeHost).Get("/");
  ASSERT_TRUE(home);
  EXPECT_NE(home->body.find("1.4"), std::string::npos);
  EXPECT_TRUE(mw::test::eventually([&] {
    const auto found =
        client(settings->searchHost)
            .Get("/plus/search.php?q=" + mw::net::urlEncode(mw::runtime::gbk("周末"), true, false));
    return found && found->body.find("/library/1/%E5%91%A8%E6%9C%AB.png") != std::string::npos;
  }));

  const int status = site.stop();
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  EXPECT_FALSE(client(settings->homeHost).Get("/"));
}

// Listening on IPv6 loopback, the site writes its addresses in brackets, and the program's
// requests reach it through them, its Host check included.
TEST(StandaloneSite, WritesIpv6AddressesInBrackets) {
  const int probe = ::socket(AF_INET6, SOCK_STREAM, 0);
  sockaddr_in6 loopback{};
  loopback.sin6_family = AF_INET6;
  loopback.sin6_addr = in6addr_loopback;
  const bool ipv6 = ::bind(probe, reinterpret_cast<sockaddr*>(&loopback), sizeof loopback) == 0;
  ::close(probe);
  if (!ipv6) GTEST_SKIP() << "no IPv6 loopback here";
  mw::test::TempFolder temp;
  const std::string ini = temp.path() / "sites.ini";
  SiteProcess site({"--write", ini, "--listen", "::1", "--check-host"});
  const std::optional<mw::net::SiteSettings> settings = writtenSettings(ini);
  ASSERT_TRUE(settings) << mw::net::readSiteSettings(ini).error;
  EXPECT_TRUE(settings->probeHost.starts_with("[::1]:")) << settings->probeHost;
  EXPECT_NE(mw::net::fetchPage(settings->probeBase() + "/").find(mw::demo::kProbeMarker), std::string::npos);
  mw::Text status;
  EXPECT_FALSE(mw::net::webRequest(settings->homeBase() + "/", 0, {}, {.status = &status}).empty()) << status;
  const auto found = mw::net::webRequest(settings->searchBase() + "/plus/search.php?q=%B1%ED%C7%E9");
  EXPECT_NE(found.find("http://" + settings->searchHost + "/uploads/"), std::string::npos);
}
