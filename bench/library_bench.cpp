// The picture library: how well the words on generated reaction pictures are read and found,
// how fast, and how soon changes are found.
//   - 120 pictures (100 captioned in four styles, five fonts, 18-48 px, some tilted or blurred;
//     20 without text) indexed by the library with one reading thread: the share of captioned
//     pictures found by any two-character word of their caption, of (word, picture) pairs, of
//     whole captions, per style; false hits; pictures per second per core (the processor time of
//     the bench and of its word reader).
//   - With --compare: the same pictures read by one plain Tesseract pass (psm 3) and by one
//     psm 6 pass, beside the library's three passes, without the index.
//   - A query's time over an index of 20,000 pictures, and how long that index takes to be
//     brought up from the layout before (its words kept), against starting it afresh.
//   - How long until a picture saved into a watched folder is found; a changed and a deleted
//     one are noticed.
//   - With --search-stall, only: the longest a search waits while the library takes in 20,000
//     new files (no pictures: the readers only write to the index), with the processor idle
//     and with every core kept busy by other work. How much was read 10 s after every name was
//     in (0 of 0: all of it) shows the readers, and their helpers at idle priority, yielding.
//   - With --idle-memory, only: this process's resident memory with the library idle over an
//     empty folder, and idle again after it has read the pictures.
//   - With --upgrade, only: the query times and the upgrade of the 20,000-picture index.
//   - With --languages L, the library reads with the Tesseract models L (chi_sim, ...).
// Usage: library_bench [--compare | --idle-memory | --search-stall | --upgrade] [--languages L] [DIR]
//   (DIR keeps the pictures and the index)
#include <sqlite3.h>
#include <sys/resource.h>

#include <QGuiApplication>
#include <QTemporaryDir>
#include <QThread>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <thread>

#include "bench/bench_support.h"
#include "bench/captioned_pictures.h"
#include "library/index_store.h"
#include "library/library.h"
#include "library/words.h"
#include "ocr/protocol.h"
#include "picture/picture_decoder.h"
#include "runtime/files.h"

namespace {
using namespace mw;
using Clock = std::chrono::steady_clock;

// This process's processor time and that of its word readers that have ended.
double cpuSeconds() {
  double seconds = 0;
  for (int who : {RUSAGE_SELF, RUSAGE_CHILDREN}) {
    rusage u{};
    getrusage(who, &u);
    seconds +=
        double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
  }
  return seconds;
}

// What was found, for any way of reading.
struct Score {
  int captioned = 0, anyFound = 0, pairs = 0, pairsFound = 0, whole = 0, falseHits = 0, wrongWords = 0;
  std::array<int, 5> styleCount{}, styleFound{};
  void print(const char* name, double picturesPerSecond) const {
    std::printf("%-34s any %5.1f%%  pairs %5.1f%%  whole %5.1f%%  | styles", name,
                100.0 * anyFound / captioned, 100.0 * pairsFound / pairs, 100.0 * whole / captioned);
    for (int s = 0; s < 4; ++s) std::printf(" %5.1f%%", 100.0 * styleFound[s] / styleCount[s]);
    std::printf(" | false hits %d, wrong-word hits %d | %.1f pictures/s/core\n", falseHits, wrongWords,
                picturesPerSecond);
  }
};

// `found(word)` gives the file names a word finds.
template <typename Find>
Score score(const std::vector<bench::CaptionedPicture>& set, Find found) {
  std::map<std::string, std::set<std::string>> byWord;
  for (const std::string& w : bench::captionWords()) byWord[w] = found(w);
  Score sc;
  for (const auto& pic : set) {
    const int s = int(pic.style);
    if (pic.style == bench::CaptionStyle::None) {
      bool hit = false;
      for (const auto& [w, names] : byWord) hit = hit || names.count(pic.fileName);
      sc.falseHits += hit;
      continue;
    }
    ++sc.captioned;
    ++sc.styleCount[s];
    bool any = false;
    for (const auto& [w, names] : byWord) {
      const bool onIt = pic.caption.find(w) != std::string::npos;
      const bool hit = names.count(pic.fileName) > 0;
      if (onIt) {
        ++sc.pairs;
        sc.pairsFound += hit;
        any = any || hit;
      } else {
        sc.wrongWords += hit;
      }
    }
    sc.anyFound += any;
    sc.styleFound[s] += any;
    sc.whole += found(pic.caption).count(pic.fileName) > 0;
  }
  return sc;
}

void compareReadings(const std::vector<bench::CaptionedPicture>& set) {
  const auto onePass = [](int pageSegmentation, int minConfidence) {
    library::ReaderOptions options;
    options.passes = {{library::PassImage::AsIs, pageSegmentation}};
    options.minConfidence = minConfidence;
    return options;
  };
  const std::vector<std::pair<const char*, library::ReaderOptions>> ways{
      {"one plain pass (psm 3, no cut)", onePass(3, 0)},
      {"one pass (psm 6, cut 20)", onePass(6, 20)},
      {"three passes, cut 20 (the library's)", {}},
  };
  for (const auto& [name, options] : ways) {
    std::map<std::string, std::string> text;
    const double cpu0 = cpuSeconds();
    {
      library::PictureReader reader(options);
      if (!reader.error().empty()) {
        std::printf("%s: %s\n", name, reader.error().c_str());
        continue;
      }
      for (const auto& pic : set) {
        for (const auto& t :
             reader.read(picture::decodePicture(pic.bytes).image).value_or(std::vector<std::string>{}))
          text[pic.fileName] += library::normalizedWords(t) + "|";
      }
    }  // the helper ends, and its time is counted
    const double cpu = cpuSeconds() - cpu0;
    score(set, [&](const std::string& word) {
      std::set<std::string> names;
      const std::string w = library::normalizedWords(word);
      for (const auto& [file, t] : text)
        if (t.find(w) != std::string::npos) names.insert(file);
      return names;
    }).print(name, double(set.size()) / cpu);
  }
}

template <typename Done>
double waitFor(Done done, double limitMs = 60000) {
  const auto start = Clock::now();
  while (!done()) {
    if (bench::millisecondsSince(start) > limitMs) return -1;
    QThread::msleep(20);
  }
  return bench::millisecondsSince(start);
}

bool writeBytes(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
  return bool(out);
}

std::set<std::string> names(const std::vector<library::LibraryMatch>& matches) {
  std::set<std::string> out;
  for (const auto& m : matches) out.insert(m.name);
  return out;
}

void queryTimes(const std::string& folder) {
  const std::string file = folder + "/large.sqlite";
  std::remove(file.c_str());
  auto store = library::IndexStore::open(file);
  std::mt19937 rng(5);
  const auto& words = bench::captionWords();
  std::vector<library::IndexStore::NewPicture> rows;
  for (int i = 0; i < 20000; ++i)
    rows.push_back(
        {{"/pictures/" + std::to_string(i / 500) + "/" + std::to_string(i) + ".jpg", 1000 + i, i}, {}});
  store->putNames(rows);
  for (const auto& row : rows) {
    std::string caption;
    for (int k = 1 + int(rng() % 6); k > 0; --k) caption += words[rng() % words.size()];
    store->putWords(row.key, {caption}, library::ReadState::Read);
  }
  std::vector<std::string> queries(words.begin(), words.end());
  queries.insert(queries.end(), {"下", "班", "下班了", "摸鱼老板加班", "不存在的词", "a", "12"});
  std::vector<double> ms;
  std::size_t most = 0;
  for (int round = 0; round < 3; ++round) {
    for (const std::string& q : queries) {
      const auto start = Clock::now();
      most = std::max(most, store->find(q).size());
      ms.push_back(bench::millisecondsSince(start));
    }
  }
  std::printf(
      "query over %lld indexed pictures: median %.3f ms, slowest %.3f ms (%zu queries; up to %zu matches)\n",
      store->size(), bench::median(ms), *std::max_element(ms.begin(), ms.end()), ms.size(), most);

  // The same index as the layout before this reader version kept it, brought up to date in place
  // (its words kept and answering, its pieces folded to Simplified), against an index of an
  // unknown layout, started afresh (every picture found by nothing until read again).
  const std::string word = words[0];
  const std::size_t before = store->find(word).size();
  store.reset();
  const auto downgrade = [&](const char* sql) {
    sqlite3* db = nullptr;
    sqlite3_open(file.c_str(), &db);
    sqlite3_exec(db, sql, nullptr, nullptr, nullptr);
    sqlite3_close(db);
  };
  downgrade("ALTER TABLE pictures DROP COLUMN reader; PRAGMA user_version = 2");
  auto start = Clock::now();
  store = library::IndexStore::open(file);
  const double inPlaceMs = bench::millisecondsSince(start);
  const auto stored = store->picturesUnder("/pictures");
  const auto stale = std::count_if(stored.begin(), stored.end(), [](const library::StoredPicture& p) {
    return p.state == library::ReadState::Read && p.reader < ocr::kReaderVersion;
  });
  const std::size_t kept = store->find(word).size();
  store.reset();
  downgrade("PRAGMA user_version = 99");
  start = Clock::now();
  store = library::IndexStore::open(file);
  store->putNames(rows);
  const double afreshMs = bench::millisecondsSince(start);
  std::printf(
      "upgrading that index to reader version %d: in place %.0f ms, %zu of %zu pictures still found by %s, "
      "%ld to read again newest first | started afresh %.0f ms, %zu found\n",
      ocr::kReaderVersion, inPlaceMs, kept, before, word.c_str(), long(stale), afreshMs,
      store->find(word).size());
}

// Resident memory of this process, anonymous and file-backed, in KiB.
std::pair<long, long> residentKiB() {
  std::ifstream status("/proc/self/status");
  std::string line;
  long anon = 0, file = 0;
  while (std::getline(status, line)) {
    if (line.rfind("RssAnon:", 0) == 0) anon = std::stol(line.substr(8));
    if (line.rfind("RssFile:", 0) == 0) file = std::stol(line.substr(8));
  }
  return {anon, file};
}

// The library idle over an empty folder, then idle again once it has read `pictures`.
int idleMemory(const std::string& work, const std::string& pictures) {
  library::LibraryOptions options;
  options.indexFile = work + "/idle.sqlite";
  std::remove(options.indexFile.c_str());
  library::Library lib(options);
  lib.start();
  const std::string empty = work + "/empty";
  std::filesystem::create_directories(empty);
  lib.setFolders({empty});
  QThread::sleep(3);
  const auto before = residentKiB();
  lib.setFolders({pictures});
  waitFor([&] { return lib.progress().total > 0; });
  waitFor([&] { return !lib.progress().busy() && lib.runningReaders() == 0; }, 600000);
  QThread::sleep(3);
  const auto after = residentKiB();
  std::printf(
      "idle memory: anonymous %ld KiB before reading, %ld KiB after (%+ld); file-backed %ld KiB, %ld KiB "
      "(%+ld)\n",
      before.first, after.first, after.first - before.first, before.second, after.second,
      after.second - before.second);
  return 0;
}

// Searches, one after another, while the library takes in `count` new files; `busy`: with a
// spinning thread per core at normal priority.
void searchStall(const std::string& work, int count, bool busy) {
  const std::string folder = work + "/stall" + std::to_string(busy);
  std::filesystem::remove_all(folder);
  for (int i = 0; i < count; ++i) {
    const std::string sub = folder + "/" + std::to_string(i / 500);
    if (i % 500 == 0) std::filesystem::create_directories(sub);
    writeBytes(sub + "/图" + std::to_string(i) + ".png", "no picture");
  }
  std::atomic<bool> spinning = busy;
  std::vector<std::thread> load;
  for (unsigned i = 0; busy && i < std::max(1u, std::thread::hardware_concurrency()); ++i)
    load.emplace_back([&spinning] {
      while (spinning.load(std::memory_order_relaxed)) {
      }
    });
  library::LibraryOptions options;
  options.indexFile = folder + ".sqlite";
  std::remove(options.indexFile.c_str());
  library::Library lib(options);
  lib.start();
  const auto start = Clock::now();
  lib.setFolders({folder});
  // Until every name is in and 10 s of reading after that (5 minutes at most).
  std::vector<double> ms;
  double namesMs = -1;
  library::LibraryProgress progress;
  while ((namesMs < 0 || bench::millisecondsSince(start) < namesMs + 10000) &&
         bench::millisecondsSince(start) < 300000) {
    const auto asked = Clock::now();
    const std::size_t found = lib.find("图1234").size();
    ms.push_back(bench::millisecondsSince(asked));
    progress = lib.progress();
    if (namesMs < 0 && found == 11 && progress.total >= count) namesMs = bench::millisecondsSince(start);
    QThread::msleep(5);
  }
  spinning = false;
  for (auto& t : load) t.join();
  std::printf(
      "searches while %d files are taken in (%s): longest wait %.1f ms, median %.2f ms (%zu searches; "
      "every name in after %.1f s; 10 s later %d of %d queued were read)\n",
      count, busy ? "every core busy" : "processor idle", *std::max_element(ms.begin(), ms.end()),
      bench::median(ms), ms.size(), namesMs / 1000, progress.done, progress.total);
}

// Pictures whose first word the reader does read, so that the times of changes are the
// library's and not the reader's misses.
std::vector<bench::CaptionedPicture> readablePictures() {
  std::vector<bench::CaptionedPicture> readable;
  library::PictureReader reader;
  for (const auto& pic : bench::makeCaptionedPictures(24, 99)) {
    std::string text;
    for (const auto& t :
         reader.read(picture::decodePicture(pic.bytes).image).value_or(std::vector<std::string>{}))
      text += library::normalizedWords(t);
    if (!pic.words.empty() && text.find(pic.words[0]) != std::string::npos) readable.push_back(pic);
  }
  return readable;
}

// Changes, as a user makes them while the library is watched: a picture saved, written over
// and deleted.
int watchChanges(library::Library& lib, const std::string& pictures) {
  const std::vector<bench::CaptionedPicture> readable = readablePictures();
  if (readable.size() < 2) return 1;
  const auto& saved = readable[0];
  const auto& other = readable[1];
  const std::string savedName = "1800000000000.jpg";
  const double saveMs = waitFor([&, written = false]() mutable {
    if (!written)
      written = runtime::writeNewFile(runtime::pathText(pictures + "/" + savedName), saved.bytes) ==
                runtime::NewFile::Written;
    return names(lib.find(saved.words[0])).count(savedName) > 0;
  });
  std::printf("a picture saved into the folder found by \"%s\" after %.0f ms\n", saved.words[0].c_str(),
              saveMs);
  const double changeMs = waitFor([&, written = false]() mutable {
    if (!written) written = writeBytes(pictures + "/" + savedName, other.bytes);
    return names(lib.find(other.words[0])).count(savedName) > 0;
  });
  std::printf("the same file written over, found by its new word \"%s\" after %.0f ms\n",
              other.words[0].c_str(), changeMs);
  std::remove((pictures + "/" + savedName).c_str());
  const double deleteMs = waitFor([&] { return names(lib.find(other.words[0])).count(savedName) == 0; });
  std::printf("the file deleted, gone from the results after %.0f ms\n", deleteMs);
  return 0;
}

// The set indexed with one reading thread and scored, the query times, then the changes.
int measureLibrary(const std::string& work, const std::string& pictures,
                   const std::vector<bench::CaptionedPicture>& set, const std::string& languages) {
  const std::string index = work + "/library.sqlite";
  std::remove(index.c_str());
  library::LibraryOptions options;
  options.indexFile = index;
  options.readers = 1;  // the speed of one core
  if (!languages.empty()) options.reader.languages = languages;
  library::Library lib(options);
  if (std::string error; !lib.start(&error)) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return 1;
  }
  const double cpu0 = cpuSeconds();
  lib.setFolders({pictures});
  const double indexMs = waitFor([&] { return lib.progress().total > 0; }) +
                         waitFor([&] { return !lib.progress().busy() && lib.runningReaders() == 0; }, 600000);
  const double cpu = cpuSeconds() - cpu0;
  score(set, [&](const std::string& w) {
    return names(lib.find(w));
  }).print("library (index and query)", double(set.size()) / cpu);
  std::printf("indexing %zu pictures: %.1f s, %.1f s of CPU\n", set.size(), indexMs / 1000, cpu);

  queryTimes(work);
  return watchChanges(lib, pictures);
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  bool compare = false, idle = false, stall = false, upgrade = false;
  std::string languages;  // the reader's models; empty: the library's own
  QString dirArg;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--idle-memory") == 0) {
      idle = true;
    } else if (std::strcmp(argv[i], "--search-stall") == 0) {
      stall = true;
    } else if (std::strcmp(argv[i], "--compare") == 0) {
      compare = true;
    } else if (std::strcmp(argv[i], "--upgrade") == 0) {
      upgrade = true;
    } else if (std::strcmp(argv[i], "--languages") == 0 && i + 1 < argc) {
      languages = argv[++i];
    } else {
      dirArg = QString::fromLocal8Bit(argv[i]);
    }
  }
  QTemporaryDir temp;
  const std::string work = (dirArg.isEmpty() ? temp.path() : dirArg).toStdString();
  if (upgrade) {
    queryTimes(work);
    return 0;
  }
  if (stall) {
    searchStall(work, 20000, false);
    searchStall(work, 20000, true);
    return 0;
  }
  const std::string pictures = work + "/pictures";
  std::filesystem::create_directories(pictures);
  const auto set = bench::makeCaptionedPictures(120, 27);
  for (const auto& pic : set) writeBytes(pictures + "/" + pic.fileName, pic.bytes);
  std::printf("%zu pictures: %d captioned, %d without text\n", set.size(),
              int(std::count_if(set.begin(), set.end(), [](auto& p) { return !p.caption.empty(); })),
              int(std::count_if(set.begin(), set.end(), [](auto& p) { return p.caption.empty(); })));
  if (idle) return idleMemory(work, pictures);
  if (compare) compareReadings(set);
  return measureLibrary(work, pictures, set, languages);
}
