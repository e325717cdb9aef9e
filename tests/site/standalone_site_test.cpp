// The standalone memwick-site: documents its options, prints and writes a sites file that
// points at it at once, serves a shared collection of pictures, serves until SIGTERM and then
// exits cleanly.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <httplib.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <thread>

#include "demo/demo_site.h"
#include "net/encoding.h"
#include "net/site_settings.h"
#include "runtime/files.h"
#include "runtime/text.h"
#include "support/captioned_picture.h"
#include "support/temp_folder.h"
using mw::runtime::nativePath;
using mw::runtime::programDirectory;

namespace {

// The test binary lives in <build>/tests, the server in <build>/src/site.
std::string serverPath() {
  return mw::runtime::nativePath(mw::runtime::programDirectory()) + "/../src/site/memwick-site";
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
       {"--base-port", "--latency", "--failure-rate", "--newest-version", "--read-counter", "--write", "--library",
        "--listen", "--check-host", "--database", "--job-lease", "--store", "--tokens", "--upload-timeout",
        "--orphan-age", "MW_sites.ini"})
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
  const std::string server = serverPath();
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    // Only async-signal-safe calls between fork and exec: the test process has threads.
    const int devNull = open("/dev/null", O_WRONLY);
    if (devNull >= 0) dup2(devNull, STDOUT_FILENO);
    execl(server.c_str(), server.c_str(), "--write", ini.c_str(), "--newest-version", "1.4", "--read-counter",
          "99", "--library", pictures.c_str(), "--listen", "127.0.0.1", static_cast<char*>(nullptr));
    _exit(127);
  }
  std::optional<mw::net::SiteSettings> settings;
  for (int i = 0; i < 500 && !settings; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    if (std::filesystem::exists(ini)) settings = mw::net::readSiteSettings(ini).settings;
  }
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

  kill(child, SIGTERM);
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  EXPECT_FALSE(client(settings->homeHost).Get("/"));
}
