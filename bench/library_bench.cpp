// The picture library: how well the words on generated reaction pictures are read and found,
// how fast, and how soon changes are found.
//   - Two hard sets of 180 pictures (150 captioned as people trade them, see hard_pictures.h; 30
//     without text), one made with the seed the reader is tuned on, one with a seed it is never
//     tuned on, each indexed by the library with one reading thread: the share of captioned
//     pictures found by any word of their caption, of (word, picture) pairs, of whole captions,
//     per style, size band and way of making; false (word, picture) pairs and text-free
//     pictures returned; the processor time a picture (the bench's and its word reader's) and
//     the reader's peak resident memory. Then the time one 4000x3000 photo takes.
//   - The first, easy set: 120 pictures (100 captioned in four styles, five fonts, 18-48 px,
//     some tilted or blurred; 20 without text), scored the same way.
//   - With --words, only the hard sets and the photo; with --held-out, only the held-out set
//     and the photo; with --tuning, only the tuning set.
//   - With --compare: the easy set read by one plain Tesseract pass (psm 3) and by one
//     psm 6 pass, beside the library's passes, without the index.
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
//   - With --misses, each captioned picture of the hard sets found by none of its words is
//     printed after its set: its kinds, its caption and the words the index holds for it.
// Usage: library_bench [--words | --held-out | --tuning | --compare | --idle-memory | --search-stall | --upgrade]
//                      [--languages L] [--misses] [DIR]
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
#include "bench/hard_pictures.h"
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

// A share, as printed in the tables.
struct Share {
  int found = 0, of = 0;
  void add(bool hit) {
    found += hit;
    ++of;
  }
  double percent() const { return of ? 100.0 * found / of : 0; }
};

// What was found, for any way of reading.
struct Score {
  Share any, pairs, whole, falsePairs, textFreeReturned;
  std::map<std::string, Share> kinds;  // per style, size band and way the picture was made
  std::vector<const bench::HardPicture*> missed;  // captioned pictures none of their words find
  void print(const char* name, double secondsPerPicture, long peakKiB) const {
    std::printf(
        "%s\n  found by any word %5.1f%% (%d of %d)  pairs %5.1f%% (%d of %d)  whole captions %5.1f%%\n",
        name, any.percent(), any.found, any.of, pairs.percent(), pairs.found, pairs.of, whole.percent());
    int column = 0;
    for (const auto& [kind, share] : kinds) {
      std::printf("%s%-22s %5.1f%% of %-3d", column % 3 == 0 ? "\n  " : "  ", kind.c_str() + 3,
                  share.percent(), share.of);
      ++column;
    }
    std::printf(
        "\n  false pairs %.3f%% (%d of %d)  text-free returned %d of %d  |  %.0f ms of CPU a picture "
        "(%.1f pictures/s/core), reader peak %ld MB\n",
        falsePairs.percent(), falsePairs.found, falsePairs.of, textFreeReturned.found, textFreeReturned.of,
        secondsPerPicture * 1000, 1 / secondsPerPicture, peakKiB / 1024);
  }
};

// The pictures of the easy set as hard ones with nothing of the hard ways about them.
std::vector<bench::HardPicture> asHard(const std::vector<bench::CaptionedPicture>& set) {
  std::vector<bench::HardPicture> out;
  for (const auto& pic : set) {
    bench::HardPicture hard;
    static_cast<bench::CaptionedPicture&>(hard) = pic;
    hard.otherWords = pic.words;
    hard.otherCaption = pic.caption;
    out.push_back(std::move(hard));
  }
  return out;
}

// Every word searched for: the easy set's, the hard set's in both scripts, the Latin ones.
const std::vector<std::string>& searchedWords() {
  static const std::vector<std::string> words = [] {
    std::set<std::string> all(bench::captionWords().begin(), bench::captionWords().end());
    for (const auto& w : bench::hardWords()) all.insert({w.simplified, w.traditional});
    all.insert(bench::latinWords().begin(), bench::latinWords().end());
    return std::vector<std::string>(all.begin(), all.end());
  }();
  return words;
}

// A hard word in Simplified; any other word as it is.
std::string inSimplified(const std::string& word) {
  for (const auto& w : bench::hardWords())
    if (word == w.traditional) return w.simplified;
  return word;
}

// The rows a picture counts in, beyond the whole.
std::vector<std::string> kindsOf(const bench::HardPicture& pic) {
  // Numbered so that they print in this order.
  std::vector<std::string> kinds{"0" + std::to_string(int(pic.style)) + " " +
                                 bench::kStyleNames[int(pic.style)]};
  const auto& t = pic.traits;
  if (t.pixelSize == 0) return kinds;
  kinds.push_back(t.pixelSize < 24   ? "10 text 10-23 px"
                  : t.pixelSize < 32 ? "11 text 24-31 px"
                                     : "12 text 32-48 px");
  const std::pair<bool, const char*> ways[]{{t.gif == 1, "20 GIF, every frame"},
                                            {t.gif == 2, "21 GIF, after the first"},
                                            {t.traditional, "22 Traditional"},
                                            {t.vertical, "23 top to bottom"},
                                            {t.twoLines, "24 two lines"},
                                            {t.latin, "25 Latin or digits"},
                                            {t.tilted, "26 tilted"},
                                            {t.blurred, "27 shrunk with blur"},
                                            {t.jpegTwice, "28 JPEG saved twice"}};
  for (const auto& [is, name] : ways)
    if (is) kinds.push_back(name);
  return kinds;
}

// `found(word)` gives the file names a word finds. A Traditional caption counts as found by a
// word in either script: which script the index keeps is the search's business, not the reader's.
template <typename Find>
Score score(const std::vector<bench::HardPicture>& set, Find found) {
  std::map<std::string, std::set<std::string>> byWord;
  for (const std::string& w : searchedWords()) byWord[w] = found(w);
  const auto finds = [&](const std::string& word, const std::string& file) {
    auto it = byWord.find(word);
    if (it == byWord.end()) it = byWord.emplace(word, found(word)).first;
    return it->second.count(file) > 0;
  };
  Score sc;
  for (const auto& pic : set) {
    bool any = false;
    for (std::size_t k = 0; k < pic.words.size(); ++k) {
      const bool hit = finds(pic.words[k], pic.fileName) || finds(pic.otherWords[k], pic.fileName);
      sc.pairs.add(hit);
      any = any || hit;
    }
    bool returned = false;
    for (const auto& [w, names] : byWord) {
      // A word in the other script stands on the picture too: searches fold both to one.
      const std::string simplified = inSimplified(w);
      if (pic.caption.find(w) != std::string::npos || pic.otherCaption.find(w) != std::string::npos ||
          pic.otherCaption.find(simplified) != std::string::npos)
        continue;
      const bool hit = names.count(pic.fileName) > 0;
      sc.falsePairs.add(hit);
      returned = returned || hit;
    }
    if (pic.style == bench::CaptionStyle::None) {
      sc.textFreeReturned.add(returned);
      continue;
    }
    sc.any.add(any);
    if (!any) sc.missed.push_back(&pic);
    sc.whole.add(finds(pic.caption, pic.fileName) || finds(pic.otherCaption, pic.fileName));
    for (const std::string& kind : kindsOf(pic)) sc.kinds[kind].add(any);
  }
  return sc;
}

// The largest resident memory of any word reader that has ended, in KiB.
long readerPeakKiB() {
  rusage u{};
  getrusage(RUSAGE_CHILDREN, &u);
  return u.ru_maxrss;
}

void compareReadings(const std::vector<bench::HardPicture>& set) {
  const auto onePass = [](int pageSegmentation, int minConfidence) {
    library::ReaderOptions options;
    options.passes = {{library::PassImage::AsIs, pageSegmentation}};
    options.unsurePasses = {};
    options.minConfidence = minConfidence;
    return options;
  };
  const std::vector<std::pair<const char*, library::ReaderOptions>> ways{
      {"one plain pass (psm 3, no cut)", onePass(3, 0)},
      {"one pass (psm 6, cut 20)", onePass(6, 20)},
      {"the library's passes and lines", {}},
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
    }).print(name, cpu / double(set.size()), readerPeakKiB());
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

bool printMisses = false;

// The pictures missed, with what the index holds for them.
void printMissed(const Score& sc, const std::string& folder, const std::string& indexFile) {
  auto store = library::IndexStore::open(indexFile);
  for (const bench::HardPicture* pic : sc.missed) {
    std::string kinds;
    for (const std::string& kind : kindsOf(*pic)) kinds += (kinds.empty() ? "" : ", ") + kind.substr(3);
    std::string read = store ? store->words(folder + "/" + pic->fileName) : "";
    std::replace(read.begin(), read.end(), '\n', '|');
    std::printf("  missed %s [%s] %s\n    read: %s\n", pic->fileName.c_str(), kinds.c_str(),
                pic->caption.c_str(), read.c_str());
  }
}

// `set` written into `folder` and indexed by `lib` with one reading thread, then scored.
void readSet(library::Library& lib, const std::string& folder, const char* name,
             const std::vector<bench::HardPicture>& set, const std::string& indexFile = {}) {
  std::filesystem::create_directories(folder);
  for (const auto& pic : set) writeBytes(folder + "/" + pic.fileName, pic.bytes);
  const double cpu0 = cpuSeconds();
  const auto start = Clock::now();
  lib.setFolders({folder});
  waitFor([&] { return lib.progress().total > 0; });
  waitFor([&] { return !lib.progress().busy() && lib.runningReaders() == 0; }, 1800000);
  const double cpu = cpuSeconds() - cpu0;
  char title[200];
  std::snprintf(title, sizeof title, "%s: %zu pictures, %d without text, indexed in %.1f s (%.1f s of CPU)",
                name, set.size(),
                int(std::count_if(set.begin(), set.end(), [](auto& p) { return p.caption.empty(); })),
                bench::millisecondsSince(start) / 1000, cpu);
  const Score sc = score(set, [&](const std::string& w) { return names(lib.find(w)); });
  sc.print(title, cpu / double(set.size()), readerPeakKiB());
  if (printMisses && !indexFile.empty()) printMissed(sc, folder, indexFile);
}

// The processor time the library takes for one 4000x3000 photo with a caption.
void bigPhoto(library::Library& lib, const std::string& folder) {
  std::filesystem::create_directories(folder);
  std::mt19937 rng(4000);
  QImage img = bench::detail::photo(4000, 3000, rng);
  QPainter p(&img);
  QFont font("Noto Sans CJK SC");
  font.setPixelSize(160);
  p.setFont(font);
  p.setPen(Qt::white);
  p.drawText(QRect(0, 2500, 4000, 400), Qt::AlignCenter, QStringLiteral("我看不懂但我大受震撼"));
  p.end();
  writeBytes(folder + "/photo.jpg", bench::detail::encodeImage(img, "JPEG", 85));
  const double cpu0 = cpuSeconds();
  lib.setFolders({folder});
  waitFor([&] { return lib.progress().total > 0; });
  waitFor([&] { return !lib.progress().busy() && lib.runningReaders() == 0; }, 600000);
  std::printf("a 4000x3000 photo: %.2f s of CPU (decoding, reading, indexing; found by 震撼: %s)\n",
              cpuSeconds() - cpu0, names(lib.find("震撼")).empty() ? "no" : "yes");
}

// A library with one reading thread (the speed of one core) over its own index in `work`.
std::unique_ptr<library::Library> oneReaderLibrary(const std::string& work, const std::string& name,
                                                   const std::string& languages) {
  library::LibraryOptions options;
  if (!languages.empty()) options.reader.languages = languages;
  options.indexFile = work + "/" + name + ".sqlite";
  std::remove(options.indexFile.c_str());
  options.readers = 1;
  auto lib = std::make_unique<library::Library>(options);
  if (std::string error; !lib->start(&error)) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return nullptr;
  }
  return lib;
}

// The seed the reader is tuned on, and the one it is judged on and never tuned on.
constexpr unsigned kTuningSeed = 35, kHeldOutSeed = 9035;
constexpr int kHardCount = 180;

// The hard sets (both, or one: `only`) and the big photo, each in a library of its own; the
// tuning set alone goes without the photo.
int measureWords(const std::string& work, unsigned only, const std::string& languages) {
  const std::pair<unsigned, const char*> sets[]{{kTuningSeed, "tuning"}, {kHeldOutSeed, "held-out"}};
  for (const auto& [seed, name] : sets) {
    if (only && seed != only) continue;
    auto lib = oneReaderLibrary(work, name, languages);
    if (!lib) return 1;
    const std::string title = std::string(name) + " seed " + std::to_string(seed);
    readSet(*lib, work + "/" + name, title.c_str(), bench::makeHardPictures(kHardCount, seed),
            work + "/" + name + ".sqlite");
  }
  if (only == kTuningSeed) return 0;
  auto lib = oneReaderLibrary(work, "photo", languages);
  if (!lib) return 1;
  bigPhoto(*lib, work + "/photo");
  return 0;
}

// The easy set, the query times, then the changes.
int measureLibrary(const std::string& work, const std::vector<bench::HardPicture>& set,
                   const std::string& languages) {
  auto lib = oneReaderLibrary(work, "library", languages);
  if (!lib) return 1;
  readSet(*lib, work + "/pictures", "the first, easy set (seed 27)", set);
  queryTimes(work);
  return watchChanges(*lib, work + "/pictures");
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  bool compare = false, idle = false, stall = false, words = false, upgrade = false;
  unsigned only = 0;  // the one hard set measured
  std::string languages;  // the reader's models; empty: the library's own
  QString dirArg;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--idle-memory") == 0) {
      idle = true;
    } else if (std::strcmp(argv[i], "--search-stall") == 0) {
      stall = true;
    } else if (std::strcmp(argv[i], "--words") == 0) {
      words = true;
    } else if (std::strcmp(argv[i], "--held-out") == 0) {
      only = kHeldOutSeed;
    } else if (std::strcmp(argv[i], "--tuning") == 0) {
      only = kTuningSeed;
    } else if (std::strcmp(argv[i], "--compare") == 0) {
      compare = true;
    } else if (std::strcmp(argv[i], "--upgrade") == 0) {
      upgrade = true;
    } else if (std::strcmp(argv[i], "--misses") == 0) {
      printMisses = true;
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
  if (words || only) return measureWords(work, only, languages);
  const auto set = asHard(bench::makeCaptionedPictures(120, 27));
  if (idle) {
    const std::string pictures = work + "/pictures";
    std::filesystem::create_directories(pictures);
    for (const auto& pic : set) writeBytes(pictures + "/" + pic.fileName, pic.bytes);
    return idleMemory(work, pictures);
  }
  if (compare) compareReadings(set);
  if (const int failed = measureWords(work, 0, languages)) return failed;
  return measureLibrary(work, set, languages);
}
