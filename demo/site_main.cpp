// memwick-demo-site: runs the demo site on its own, prints the MW_sites.ini that points Memwick
// at it, and serves until stopped (Ctrl+C).
#include <QGuiApplication>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "demo/demo_site.h"

namespace {

const char* const kUsage =
    "Usage: memwick-demo-site [options]\n"
    "Serves the Memwick demo sites on loopback and prints the MW_sites.ini to use with them:\n"
    "save it beside the memwick program (in ~/.config/memwick/ for an installed copy), or\n"
    "pass it with  memwick --sites FILE.\n"
    "\n"
    "Options:\n"
    "  --base-port N        listen on the fixed ports N to N+6 (template, search, home,\n"
    "                       announcement, probe, share, group); default: free ports\n"
    "  --latency MS         wait MS milliseconds before every response (default 0)\n"
    "  --failure-rate R     answer a share R (0 to 1) of requests with 503 (default 0)\n"
    "  --failure-seed N     seed of the injected failures, for repeatable runs (default 1)\n"
    "  --newest-version V   version the home page advertises (default 1.3: no update offer)\n"
    "  --read-counter N     announcement read counter before the first visit (default 1234)\n"
    "  --write FILE         also write the settings into FILE\n"
    "  --help               show this text\n";

bool parseLong(const char* text, long long low, long long high, long long& out) {
  char* end = nullptr;
  const long long v = std::strtoll(text, &end, 10);
  if (!*text || *end || v < low || v > high) return false;
  out = v;
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  mw::demo::DemoOptions options;
  std::string writeTo;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (i + 1 >= argc) {
      std::fprintf(stderr, "memwick-demo-site: unknown option or missing value: %s\n%s", arg.c_str(), kUsage);
      return 2;
    }
    const char* value = argv[++i];
    long long n = 0;
    bool ok = true;
    if (arg == "--base-port") {
      ok = parseLong(value, 1, 65535 - mw::demo::kSiteCount, n);
      options.basePort = static_cast<int>(n);
    } else if (arg == "--latency") {
      ok = parseLong(value, 0, 600000, n);
      options.latencyMs = static_cast<int>(n);
    } else if (arg == "--failure-rate") {
      char* end = nullptr;
      options.failureRate = std::strtod(value, &end);
      ok = *value && !*end && options.failureRate >= 0 && options.failureRate <= 1;
    } else if (arg == "--failure-seed") {
      ok = parseLong(value, 0, 0xFFFFFFFFLL, n);
      options.failureSeed = static_cast<unsigned>(n);
    } else if (arg == "--newest-version") {
      options.newestVersion = value;
      ok = !options.newestVersion.empty();
    } else if (arg == "--read-counter") {
      ok = parseLong(value, 0, 1'000'000'000'000LL, n);
      options.readCounterStart = n;
    } else if (arg == "--write") {
      writeTo = value;
    } else {
      ok = false;
    }
    if (!ok) {
      std::fprintf(stderr, "memwick-demo-site: bad value for %s: %s\n%s", arg.c_str(), value, kUsage);
      return 2;
    }
  }

  // Block the stop signals before any thread starts (Qt's own included), so that only sigwait
  // sees them and the site always stops cleanly.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

  // The make page renders captions with fonts, which need a GUI application; no screen is used.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);

  mw::demo::DemoSite site(options);
  std::string error;
  if (!site.start(&error)) {
    std::fprintf(stderr, "memwick-demo-site: %s\n", error.c_str());
    return 1;
  }
  const std::string ini = mw::net::formatSiteSettings(site.settings());
  if (!writeTo.empty()) {
    // Written beside and renamed into place, so that whoever waits for the file never reads
    // half of it.
    const std::string temp = writeTo + ".part";
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    out << ini;
    out.close();
    std::error_code ec;
    if (out) std::filesystem::rename(temp, writeTo, ec);
    if (!out || ec) {
      std::filesystem::remove(temp, ec);
      std::fprintf(stderr, "memwick-demo-site: cannot write %s\n", writeTo.c_str());
      return 1;
    }
  }
  std::fputs(ini.c_str(), stdout);
  std::fputs("; serving; stop with Ctrl+C\n", stdout);
  std::fflush(stdout);

  int received = 0;
  sigwait(&stopSignals, &received);
  site.stop();
  return 0;
}
