// memwick-site: runs the sites on their own, with the pictures of any --library folders,
// prints the MW_sites.ini that points Memwick at them, and serves until stopped (Ctrl+C).
#include <QGuiApplication>
#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cli/command_line.h"
#include "demo/demo_site.h"
#include "library/library.h"
#include "site/collection.h"
#include "site/picture_store.h"
#include "site/picture_uploads.h"
#include "site/upload_tokens.h"
#include "site/words_jobs.h"

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
  mw::site::CollectionOptions collection;  // used when its uri is set
  int wordReaders = 1;
  std::string store;   // the folder of the collection's pictures
  std::string tokens;  // the members' tokens
  mw::site::UploadOptions uploads;
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
      {"database", "URI",
       "Serve a group's shared collection from the PostgreSQL database at URI (a libpq connection URI, "
       "postgresql://user@host/name); several nodes may share it.",
       setText(run.collection.uri)},
      {"readers", "N", "Connections to the database for searches and uploads (default 4).",
       setInt(run.collection.connections, 1, 100)},
      {"word-readers", "N",
       "Pictures of the collection this node reads the words of at once (default 1; 0: none).",
       setInt(run.wordReaders, 0, 16)},
      {"job-lease", "MS",
       "How long a node may take to read a picture's words before another node takes the job (default "
       "60000).",
       [&run](const std::string& v) {
         long long n = 0;
         if (!parseLong(v, 100, 86'400'000, n)) return false;
         run.collection.jobLease = std::chrono::milliseconds(n);
         return true;
       }},
      {"store", "DIR",
       "Keep the collection's pictures below DIR, each once, named by its content (nodes share it); "
       "with --database and --tokens, members upload to POST /api/pictures on the search site.",
       setText(run.store)},
      {"tokens", "FILE", "The members who may upload: lines NAME TOKEN; read again on SIGHUP.",
       setText(run.tokens)},
      {"upload-timeout", "SECONDS",
       "Drop an upload whose body has not come whole after SECONDS (default 60).",
       [&run](const std::string& v) {
         long long n = 0;
         if (!parseLong(v, 1, 3600, n)) return false;
         run.uploads.uploadTimeout = std::chrono::seconds(n);
         return true;
       }},
      {"orphan-age", "SECONDS",
       "Remove stored pictures whose upload never reached the database after SECONDS (default 86400).",
       [&run](const std::string& v) {
         long long n = 0;
         if (!parseLong(v, 1, 365LL * 86400, n)) return false;
         run.uploads.orphanAge = std::chrono::seconds(n);
         return true;
       }},
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
  const bool uploads = commandLine.parser().isSet(QStringLiteral("store")) ||
                       commandLine.parser().isSet(QStringLiteral("tokens"));
  if (uploads && (!commandLine.parser().isSet(QStringLiteral("store")) ||
                  !commandLine.parser().isSet(QStringLiteral("tokens")) ||
                  !commandLine.parser().isSet(QStringLiteral("database"))))
    return commandLine.fail(QStringLiteral("uploads need --store, --tokens and --database together"));
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

// Blocks the stop signals, and SIGHUP that reads the tokens again, before any thread starts
// (Qt's own included), so that only sigwait sees them: the site always stops cleanly, and the
// tokens are read on the main thread, never in a signal handler.
sigset_t blockSignals() {
  sigset_t handled;
  sigemptyset(&handled);
  sigaddset(&handled, SIGINT);
  sigaddset(&handled, SIGTERM);
  sigaddset(&handled, SIGHUP);
  pthread_sigmask(SIG_BLOCK, &handled, nullptr);
  return handled;
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
  const sigset_t handled = blockSignals();

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
  // Before what reads from them, which goes first.
  mw::site::UploadTokens tokens;
  std::optional<mw::site::FolderStore> store;
  std::unique_ptr<mw::site::Collection> collection;
  std::unique_ptr<mw::site::WordsJobs> wordsJobs;
  if (!run.collection.uri.empty()) {
    collection = mw::site::Collection::open(run.collection, &error);
    if (!collection) return failed("cannot open the database: " + error);
    run.options.collection = collection.get();
    // A search holds its worker while the database answers: as many workers as connections.
    run.options.workerThreads = std::max(run.options.workerThreads, run.collection.connections);
  }
  std::optional<mw::site::PictureUploads> uploads;
  if (!run.store.empty()) {
    store.emplace(run.store);
    if (!store->usable(error) || !tokens.load(run.tokens, error)) return failed(error);
    uploads.emplace(*store, *collection, tokens, run.uploads);
    uploads->startSweeping();
    run.options.uploads = &*uploads;
    // The uploads' words are read from the store, by this node and every other one.
    mw::site::WordsJobsOptions reading;
    reading.threads = run.wordReaders;
    if (run.wordReaders > 0)
      wordsJobs = std::make_unique<mw::site::WordsJobs>(
          *collection,
          [&store](const mw::site::WordsJob& job) {
            return store->read({job.id, job.ext});
          },
          reading);
  }
  mw::demo::DemoSite site(run.options);
  if (!site.start(&error)) return failed(error);
  const std::string ini = mw::net::formatSiteSettings(site.settings());
  if (!run.writeTo.empty() && !writeSettingsFile(ini, run.writeTo))
    return failed("cannot write " + run.writeTo);
  std::fputs(ini.c_str(), stdout);
  std::fputs("; serving; stop with Ctrl+C\n", stdout);
  std::fflush(stdout);

  for (int received = 0; sigwait(&handled, &received) == 0 && received == SIGHUP;) {
    if (run.tokens.empty()) continue;
    // A file that cannot be read keeps the tokens read before.
    if (tokens.load(run.tokens, error))
      std::fprintf(stderr, "memwick-site: %zu tokens read from %s\n", tokens.size(), run.tokens.c_str());
    else
      std::fprintf(stderr, "memwick-site: %s; the tokens stay as they were\n", error.c_str());
  }
  site.stop();
  wordsJobs.reset();
  return 0;
}
