// memwick-site: runs the sites on their own, with the pictures of any --library folders,
// prints the MW_sites.ini that points Memwick at them, and serves until stopped (Ctrl+C).
#include <QGuiApplication>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "cli/command_line.h"
#include "demo/demo_site.h"
#include "library/library.h"

namespace {

bool parseLong(const std::string& text, long long low, long long high, long long& out) {
  char* end = nullptr;
  const long long v = std::strtoll(text.c_str(), &end, 10);
  if (text.empty() || *end || v < low || v > high) return false;
  out = v;
  return true;
}

// An option with a value, and what it sets; false when the value is refused.
struct ValueOption {
  const char* name;
  const char* valueName;
  const char* help;
  std::function<bool(const std::string&)> set;
};

// What the command line asks for.
struct SiteRun {
  mw::demo::DemoOptions options;
  std::string writeTo;
  std::vector<std::string> libraryFolders;
};

std::vector<ValueOption> valueOptions(SiteRun& run) {
  mw::demo::DemoOptions& options = run.options;
  const auto setInt = [](int& to, long long low, long long high) {
    return [&to, low, high](const std::string& v) {
      long long n = 0;
      if (!parseLong(v, low, high, n)) return false;
      to = static_cast<int>(n);
      return true;
    };
  };
  const auto setText = [](std::string& to) {
    return [&to](const std::string& v) {
      to = v;
      return !v.empty();
    };
  };
  return {
      {"base-port", "N",
       "Listen on the fixed ports N to N+6 (template, search, home, announcement, probe, share, group); "
       "default: free ports.",
       setInt(options.basePort, 1, 65535 - mw::demo::kSiteCount)},
      {"latency", "MS", "Wait MS milliseconds before every response (default 0).",
       setInt(options.latencyMs, 0, 600000)},
      {"failure-rate", "R", "Answer a share R (0 to 1) of requests with 503 (default 0).",
       [&options](const std::string& v) {
         char* end = nullptr;
         options.failureRate = std::strtod(v.c_str(), &end);
         return !v.empty() && !*end && options.failureRate >= 0 && options.failureRate <= 1;
       }},
      {"failure-seed", "N", "Seed of the injected failures, for repeatable runs (default 1).",
       [&options](const std::string& v) {
         long long n = 0;
         if (!parseLong(v, 0, 0xFFFFFFFFLL, n)) return false;
         options.failureSeed = static_cast<unsigned>(n);
         return true;
       }},
      {"newest-version", "V", "Version the home page advertises (default " MW_VERSION ": no update offer).",
       setText(options.newestVersion)},
      {"read-counter", "N", "Announcement read counter before the first visit (default 1234).",
       [&options](const std::string& v) {
         return parseLong(v, 0, 1'000'000'000'000LL, options.readCounterStart);
       }},
      {"write", "FILE", "Also write the settings into FILE.", setText(run.writeTo)},
      {"listen", "ADDRESS", "Listen on ADDRESS (default 127.0.0.1).", setText(options.bindAddress)},
  };
}

// Reads the command line into `run`; the status to exit with when the program should not go on.
std::optional<int> readCommandLine(int argc, char** argv, SiteRun& run) {
  const std::vector<ValueOption> options = valueOptions(run);
  mw::cli::CommandLine commandLine(
      "memwick-site", MW_VERSION,
      QStringLiteral(
          "Serves the Memwick demo sites on loopback and prints the MW_sites.ini to use with them:\n"
          "save it beside the memwick program (in ~/.config/memwick/ for an installed copy), or\n"
          "pass it with  memwick --sites FILE."));
  std::vector<QCommandLineOption> parsed;
  for (const ValueOption& o : options) {
    parsed.emplace_back(QString::fromLatin1(o.name), QString::fromUtf8(o.help),
                        QString::fromLatin1(o.valueName));
    commandLine.parser().addOption(parsed.back());
  }
  const QCommandLineOption libraryOption(
      QStringLiteral("library"),
      QStringLiteral("Also search the pictures below DIR, by their words and names (repeatable)."),
      QStringLiteral("DIR"));
  commandLine.parser().addOption(libraryOption);
  const QCommandLineOption checkHostOption(
      QStringLiteral("check-host"),
      QStringLiteral("Refuse requests whose Host header names another address than the one served "
                     "(or localhost on loopback): no web page reaches the pictures by DNS rebinding."));
  commandLine.parser().addOption(checkHostOption);
  if (const std::optional<int> status = commandLine.parse(argc, argv)) return status;
  run.options.checkHost = commandLine.parser().isSet(checkHostOption);
  for (const QString& folder : commandLine.parser().values(libraryOption)) {
    if (folder.isEmpty()) return commandLine.fail(QStringLiteral("--library needs a folder"));
    run.libraryFolders.push_back(mw::cli::CommandLine::localBytes(folder));
  }
  for (std::size_t i = 0; i < options.size(); ++i) {
    if (!commandLine.parser().isSet(parsed[i])) continue;
    const QString value = commandLine.parser().value(parsed[i]);
    if (!options[i].set(value.toStdString()))
      return commandLine.fail(
          QStringLiteral("bad value for --%1: %2").arg(QString::fromLatin1(options[i].name), value));
  }
  return std::nullopt;
}

// Blocks the stop signals before any thread starts (Qt's own included), so that only sigwait
// sees them and the site always stops cleanly.
sigset_t blockStopSignals() {
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
  return stopSignals;
}

// Written beside and renamed into place, so that whoever waits for the file never reads half
// of it.
bool writeSettingsFile(const std::string& ini, const std::string& path) {
  const std::string temp = path + ".part";
  std::ofstream out(temp, std::ios::binary | std::ios::trunc);
  out << ini;
  out.close();
  std::error_code ec;
  if (out) std::filesystem::rename(temp, path, ec);
  if (out && !ec) return true;
  std::filesystem::remove(temp, ec);
  return false;
}

int failed(const std::string& error) {
  std::fprintf(stderr, "memwick-site: %s\n", error.c_str());
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  SiteRun run;
  if (const std::optional<int> status = readCommandLine(argc, argv, run)) return *status;
  const sigset_t stopSignals = blockStopSignals();

  // The make page renders captions with fonts, which need a GUI application; no screen is used.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);

  // The library reads in the background: the sites answer, and the settings are written, at once.
  std::optional<mw::library::Library> library;
  std::string error;
  if (!run.libraryFolders.empty()) {
    // Why reading stands still goes into the log, once each time it does; so does a missing
    // word reader, once until there is one (told from the first look over the folders on).
    library.emplace().onProgress(
        [said = std::string(), saidMissing = std::string()](const mw::library::LibraryProgress& p) mutable {
          if (!p.waiting.empty() && p.waiting != said)
            std::fprintf(stderr, "memwick-site: %s\n", p.waiting.c_str());
          said = p.waiting;
          if (!p.noReader.empty() && p.noReader != saidMissing)
            std::fprintf(
                stderr,
                "memwick-site: the words on the pictures cannot be read (%s): found by their names only\n",
                p.noReader.c_str());
          saidMissing = p.noReader;
        });
    if (!library->start(&error)) return failed(error);
    library->setFolders(run.libraryFolders);
    run.options.library = &*library;
  }
  mw::demo::DemoSite site(run.options);
  if (!site.start(&error)) return failed(error);
  const std::string ini = mw::net::formatSiteSettings(site.settings());
  if (!run.writeTo.empty() && !writeSettingsFile(ini, run.writeTo))
    return failed("cannot write " + run.writeTo);
  std::fputs(ini.c_str(), stdout);
  std::fputs("; serving; stop with Ctrl+C\n", stdout);
  std::fflush(stdout);

  int received = 0;
  sigwait(&stopSignals, &received);
  site.stop();
  return 0;
}
