#include "library/library.h"

#include <malloc.h>
#include <sys/resource.h>
#include <unistd.h>

#include <QDir>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QStandardPaths>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <deque>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <set>
#include <thread>

#include "library/folder_scan.h"
#include "library/index_store.h"
#include "library/reader_process.h"
#include "library/words.h"
#include "picture/picture_decoder.h"

namespace mw::library {
namespace {

const char* const kFavouritesName = "favourites";
// The marker picture the program keeps in the favourites folder is none of the user's.
const char* const kFavouritesMarker = "请不要删除本文件.gif";
// Files larger than this are found by their names only.
constexpr long long kMaxFileBytes = 64LL << 20;
// Changes reported by the watcher come in bursts (a file created, then written).
constexpr int kSettleMs = 250;
// After a helper fails, none is started for this long; twice as long after each further
// failure before a picture is read, up to kLongestPause.
using Clock = std::chrono::steady_clock;
constexpr std::chrono::seconds kFirstPause{1};
constexpr std::chrono::seconds kLongestPause{300};

struct Root {
  std::string name;   // in addresses
  std::string given;  // the folder as given
  std::string path;   // canonical, or the last one known while it cannot be looked at
  bool favourites = false;
};

// A folder given to setFolders as the last scan found it.
struct FolderLook {
  FolderState state;
  std::string path;  // canonical; empty when it is not there
  int error = 0;     // why it cannot be read; 0 when it can
};

struct Job {
  FileKey key;
  bool retried = false;  // it cost a helper once already, by its own fault
  bool again = false;    // an older reader read it: its words answer until it is read
};

// How a picture's turn ended.
enum class Outcome {
  Read,          // its words were read
  NameOnly,      // it cannot be read (too large, undecodable): found by its names only
  Changed,       // since the scan: the next one has it again
  PictureFault,  // it overran its time, or the helper could not read it
  HelperFault,   // the helper could not be started, ended, was killed or misbehaved
  Stopped,
};

// For the user, who sees it in the settings window.
std::string problemOf(int error) {
  switch (error) {
    case 0:
      return {};
    case ENOENT:
      return "文件夹不存在";
    case ENOTDIR:
      return "不是文件夹";
    case EACCES:
    case EPERM:
      return "无法读取：权限不够";
    case EIO:
      return "无法读取：读写出错";
    default:
      return std::string("无法读取：") + strerrordesc_np(error);
  }
}

std::optional<std::string> wholeFile(const std::string& path, long long size) {
  std::ifstream in(path, std::ios::binary);
  std::string bytes(std::size_t(size), '\0');
  if (!in.read(bytes.data(), std::streamsize(size))) return std::nullopt;
  return bytes;
}

}  // namespace

struct Library::Impl {
  LibraryOptions options;
  std::unique_ptr<IndexStore> store;

  mutable std::mutex mutex;
  std::vector<std::string> folders;
  std::string favourites;
  std::vector<Root> roots;  // as the last scan found them
  std::vector<FolderLook> looks;
  std::deque<Job> queue;
  std::set<std::string> queued;
  LibraryProgress counts;
  int running = 0;  // reading threads taking work
  int alive = 0;    // reading threads not yet ended
  std::condition_variable ended;
  std::condition_variable wake;  // ends a pause when the library goes
  std::atomic<bool> stopping = false;
  int failures = 0;           // of helpers, since one last read a picture
  Clock::time_point retryAt;  // no helper is started before
  bool pausing = false;       // a reading thread waits until retryAt
  std::mutex callbackMutex;   // held while the callback runs, so that it can be taken away
  std::function<void(LibraryProgress)> progressCallback;

  std::mutex scanMutex;  // one scan at a time

  std::unique_ptr<QThread> watchThread;
  QObject* watchContext = nullptr;  // lives on watchThread
  QFileSystemWatcher* watcher = nullptr;
  QTimer* settle = nullptr;

  explicit Impl(LibraryOptions o) : options(std::move(o)) {
    if (options.readers <= 0) options.readers = std::max(1, int(std::thread::hardware_concurrency()) - 1);
  }

  void report() {
    std::lock_guard calling(callbackMutex);
    LibraryProgress p;
    {
      std::lock_guard lock(mutex);
      p = counts;
    }
    if (progressCallback) progressCallback(p);
  }

  // The folders in use now, with why each cannot be read (0 when it can). One that cannot be
  // looked at keeps the place it had, and so its pictures; one that is gone has none.
  std::vector<std::pair<Root, int>> currentRoots() {
    std::vector<std::pair<Root, int>> out;
    std::lock_guard lock(mutex);
    const auto add = [&](const std::string& given, std::string name, bool favourites) {
      int error = 0;
      std::string path = canonicalFolder(given, &error);
      if (path.empty() && !isGone(error)) {
        std::error_code ignored;
        path = std::filesystem::absolute(given, ignored).lexically_normal().string();
        for (const Root& r : roots) {
          if (r.given == given) path = r.path;
        }
      }
      out.push_back({{std::move(name), given, std::move(path), favourites}, error});
    };
    if (!favourites.empty()) add(favourites, kFavouritesName, true);
    for (std::size_t i = 0; i < folders.size(); ++i) add(folders[i], std::to_string(i + 1), false);
    return out;
  }

  // Brings the index in line with the folders; returns the folders read, for the watcher.
  std::vector<std::string> scan() {
    std::lock_guard scanning(scanMutex);
    std::vector<std::pair<Root, int>> found = currentRoots();
    std::map<std::string, ScannedPicture> onDisk;
    std::vector<std::string> watched, unreadable;
    std::map<std::string, StoredPicture> stored;
    for (auto& [root, error] : found) {
      if (root.path.empty()) continue;
      FolderScan scan;
      if (error == 0)
        scan = scanFolder(root.path, root.favourites ? std::vector<std::string>{kFavouritesMarker}
                                                     : std::vector<std::string>{});
      else
        scan.unreadable = {root.path};
      if (scan.rootError) error = scan.rootError;
      // A picture under two of the folders counts once, under the first.
      for (ScannedPicture& p : scan.pictures) onDisk.try_emplace(p.key.path, std::move(p));
      watched.insert(watched.end(), scan.folders.begin(), scan.folders.end());
      unreadable.insert(unreadable.end(), scan.unreadable.begin(), scan.unreadable.end());
      for (StoredPicture& s : store->picturesUnder(root.path)) stored.try_emplace(s.key.path, std::move(s));
    }
    const auto below = [](const std::string& path, const std::vector<std::string>& folders) {
      return std::any_of(folders.begin(), folders.end(),
                         [&](const std::string& f) { return path == f || isBelow(path, f); });
    };
    std::vector<IndexStore::NewPicture> changed;
    // Newest first: the pictures with no words yet, then those an older reader read, whose
    // words answer until they are read again.
    std::vector<FileKey> toRead, readBefore;
    std::map<std::string, bool> pictures;  // every picture the folders hold now: read or not
    for (auto& [path, picture] : onDisk) {
      const auto it = stored.find(path);
      const bool same = it != stored.end() && it->second.key == picture.key;
      if (!same) changed.push_back({picture.key, std::move(picture.names)});
      if (!same || it->second.state == ReadState::Pending)
        toRead.push_back(picture.key);
      else if (it->second.reader < options.reader.version)
        readBefore.push_back(picture.key);
      pictures[path] = same && it->second.state != ReadState::Pending;
    }
    const auto newestFirst = [](const FileKey& a, const FileKey& b) { return a.mtimeNs > b.mtimeNs; };
    std::stable_sort(toRead.begin(), toRead.end(), newestFirst);
    std::stable_sort(readBefore.begin(), readBefore.end(), newestFirst);
    const std::size_t fresh = toRead.size();
    toRead.insert(toRead.end(), readBefore.begin(), readBefore.end());
    std::vector<std::string> gone;
    for (const auto& [path, s] : stored) {
      if (onDisk.count(path)) continue;
      if (below(path, unreadable))
        pictures[path] = s.state != ReadState::Pending;  // still there, for all we know
      else
        gone.push_back(path);
    }
    // The pictures of a folder no longer in use go with it, unless another folder holds them.
    std::vector<std::string> inUse;
    for (const auto& [root, error] : found) {
      if (!root.path.empty()) inUse.push_back(root.path);
    }
    std::vector<Root> lastRoots;
    std::vector<FolderLook> lastLooks;
    {
      std::lock_guard lock(mutex);
      lastRoots = roots;
      lastLooks = looks;
    }
    for (const Root& old : lastRoots) {
      if (below(old.path, inUse)) continue;
      for (const StoredPicture& s : store->picturesUnder(old.path)) {
        if (!below(s.key.path, inUse)) gone.push_back(s.key.path);
      }
    }
    if (!changed.empty()) store->putNames(changed);
    if (!gone.empty()) store->remove(gone);
    const std::string noReader = ReaderProcess::missing(options.reader.program);
    bool told = false;
    std::vector<FolderLook> newLooks;
    for (const auto& [root, error] : found) {
      if (root.favourites) continue;
      FolderLook look{{root.given, problemOf(error)}, root.path, error};
      const bool known = std::any_of(lastLooks.begin(), lastLooks.end(), [&](const FolderLook& l) {
        return l.state.folder == root.given && l.error == error;
      });
      if (error != 0 && !known)
        std::fprintf(stderr, "memwick: library folder %s: %s\n", root.given.c_str(), strerrordesc_np(error));
      for (auto it = pictures.lower_bound(root.path + "/");
           !root.path.empty() && it != pictures.end() && isBelow(it->first, root.path); ++it) {
        ++look.state.pictures;
        look.state.read += it->second;
      }
      newLooks.push_back(std::move(look));
    }
    {
      std::lock_guard lock(mutex);
      roots.clear();
      for (auto& [root, error] : found) {
        if (!root.path.empty()) roots.push_back(std::move(root));
      }
      looks = std::move(newLooks);
      told = noReader != counts.noReader;
      counts.noReader = noReader;
      // Without a reader nothing is queued (nor retried): the pictures stay to be read, and the
      // next look over the folders queues them once there is one.
      for (std::size_t i = 0; i < toRead.size(); ++i) {
        if (noReader.empty() && queued.insert(toRead[i].path).second) {
          queue.push_back({std::move(toRead[i]), false, i >= fresh});
          ++counts.total;
        }
      }
      startReaders();
    }
    if ((!toRead.empty() && noReader.empty()) || told) report();
    return watched;
  }

  // Under the lock.
  void startReaders() {
    if (stopping || pausing) return;
    while (running < options.readers && std::size_t(running) < queue.size()) {
      ++running;
      ++alive;
      std::thread([this] { readLoop(); }).detach();
    }
  }

  // Under the lock: no helper is started for a while, longer after each failure in a row.
  void pause(const std::string& why) {
    const auto pauseFor =
        std::min<Clock::duration>(kLongestPause, kFirstPause * (1LL << std::min(failures, 20)));
    ++failures;
    retryAt = Clock::now() + pauseFor;
    counts.waiting = "waiting to retry in " +
                     std::to_string(std::chrono::duration_cast<std::chrono::seconds>(pauseFor).count()) +
                     " s: " + why;
  }

  // Under the lock: the picture now read, or found by its names only, counts as read in its folders.
  void countRead(const std::string& path) {
    for (FolderLook& look : looks) {
      // At most all: a scan may have counted it already.
      if (!look.path.empty() && isBelow(path, look.path))
        look.state.read = std::min(look.state.read + 1, look.state.pictures);
    }
  }

  void readLoop() {
    // Reading yields to nearly every other use of the processor (the helper runs at idle
    // priority of its own accord), but not wholly: a thread at idle priority that holds the
    // index's lock on a busy machine would hold up the scan for seconds.
    if (options.reader.lowPriority) setpriority(PRIO_PROCESS, pid_t(gettid()), 19);
    std::unique_ptr<PictureReader> reader;
    std::unique_lock lock(mutex);
    while (!stopping && !queue.empty()) {
      if (!reader && Clock::now() < retryAt) {
        // One thread waits the pause out, holding no helper; the others go.
        if (pausing) break;
        pausing = true;
        wake.wait_until(lock, retryAt, [this] { return stopping.load(); });
        pausing = false;
        counts.waiting.clear();
        startReaders();
        continue;
      }
      Job job = std::move(queue.front());
      queue.pop_front();
      lock.unlock();
      if (!reader) reader = std::make_unique<PictureReader>(options.reader, &stopping);
      Outcome outcome = reader->error().empty() ? readOne(job.key, *reader) : Outcome::HelperFault;
      const std::string why = reader->error().empty() ? reader->failure() : reader->error();
      if (outcome == Outcome::HelperFault) reader.reset();
      if (outcome == Outcome::PictureFault && job.retried) {
        // A fresh helper fared no better: found by its names (or by the words an older reader
        // read, which are not lost to a newer one that cannot read it), and not read again while
        // it is the same file.
        std::fprintf(stderr, "memwick: %s is found by its %s only: %s\n", job.key.path.c_str(),
                     job.again ? "words read before" : "names", why.c_str());
        if (job.again)
          store->putReader(job.key, options.reader.version);
        else
          store->putWords(job.key, {}, ReadState::NameOnly, options.reader.version);
        outcome = Outcome::NameOnly;
      }
      lock.lock();
      if (stopping) break;
      switch (outcome) {
        case Outcome::Read:
          failures = 0;
          [[fallthrough]];
        case Outcome::NameOnly:
          countRead(job.key.path);
          [[fallthrough]];
        case Outcome::Changed:
          queued.erase(job.key.path);
          ++counts.done;
          break;
        case Outcome::PictureFault:
          job.retried = true;
          queue.push_front(std::move(job));
          break;
        case Outcome::HelperFault:
          // Not the picture's fault: it waits for the next helper.
          queue.push_front(std::move(job));
          pause(why);
          break;
        case Outcome::Stopped:
          break;
      }
      lock.unlock();
      report();
      lock.lock();
    }
    lock.unlock();
    // The helper goes as soon as nothing is left to read, and what reading took here back to
    // the system.
    reader.reset();
    bool last = false;
    {
      std::lock_guard relock(mutex);
      --running;
      // A scan may have queued pictures after this thread found nothing left, while it still
      // counted as running: they get readers of their own.
      startReaders();
      last = running == 0;
      if (last) {
        std::string noReader = std::move(counts.noReader);
        counts = {};
        counts.noReader = std::move(noReader);
        queued.clear();
        queue.clear();
      }
    }
    if (last) {
      store->releaseMemory();
      store->shrinkLog();
      malloc_trim(0);
      report();
    }
    // Notified under the lock: once it is released this thread touches nothing of ours.
    std::lock_guard relock(mutex);
    --alive;
    ended.notify_all();
  }

  Outcome readOne(const FileKey& key, PictureReader& reader) {
    if (fileKeyOf(key.path) != key) return Outcome::Changed;
    std::optional<std::string> bytes;
    if (key.size <= kMaxFileBytes) bytes = wholeFile(key.path, key.size);
    if (!bytes) {
      store->putWords(key, {}, ReadState::NameOnly, options.reader.version);
      return Outcome::NameOnly;
    }
    const PictureWords read = readPictureWords(*bytes, reader);
    bytes.reset();
    switch (read.outcome) {
      case PictureWords::Outcome::Read:
        store->putWords(key, read.words, ReadState::Read, options.reader.version);
        return Outcome::Read;
      case PictureWords::Outcome::Undecodable:
        store->putWords(key, {}, ReadState::NameOnly, options.reader.version);
        return Outcome::NameOnly;
      case PictureWords::Outcome::PictureFault:
        return Outcome::PictureFault;
      case PictureWords::Outcome::Stopped:
        return Outcome::Stopped;
      case PictureWords::Outcome::HelperFault:
        break;
    }
    return Outcome::HelperFault;
  }

  // On the watch thread.
  void watch(const std::vector<std::string>& folders) {
    const QStringList now = watcher->directories();
    QStringList wanted;
    for (const std::string& f : folders) wanted << QString::fromLocal8Bit(f.data(), qsizetype(f.size()));
    QStringList gone, added;
    for (const QString& f : now)
      if (!wanted.contains(f)) gone << f;
    for (const QString& f : wanted)
      if (!now.contains(f)) added << f;
    if (!gone.isEmpty()) watcher->removePaths(gone);
    // Past the system's limit of watches, the regular rescan still finds the changes.
    if (!added.isEmpty()) watcher->addPaths(added);
  }
};

Library::Library(LibraryOptions options) : impl_(std::make_shared<Impl>(std::move(options))) {}

Library::~Library() {
  Impl& d = *impl_;
  // Reading stops at once, helpers and all; what is left stays pending for the next run.
  {
    std::lock_guard lock(d.mutex);
    d.stopping = true;
  }
  d.wake.notify_all();
  onProgress(nullptr);
  if (d.watchThread) {
    QMetaObject::invokeMethod(
        d.watchContext, [&d] { delete d.watcher, delete d.settle; }, Qt::BlockingQueuedConnection);
    d.watchThread->quit();
    d.watchThread->wait();
    delete d.watchContext;
  }
  std::unique_lock lock(d.mutex);
  d.ended.wait(lock, [&d] { return d.alive == 0; });
}

std::string Library::defaultIndexFile() {
  return QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation).toStdString() +
         "/memwick/library.sqlite";
}

bool Library::start(std::string* error) {
  Impl& d = *impl_;
  if (d.store) return true;
  const std::string file = d.options.indexFile.empty() ? defaultIndexFile() : d.options.indexFile;
  if (file != ":memory:") QDir().mkpath(QFileInfo(QString::fromStdString(file)).absolutePath());
  d.store = IndexStore::open(file, error);
  if (!d.store) return false;

  d.watchThread = std::make_unique<QThread>();
  d.watchContext = new QObject;
  d.watchContext->moveToThread(d.watchThread.get());
  // At normal priority: the scan holds the index's lock only briefly, and at idle priority on a
  // busy machine it could keep that lock for seconds.
  d.watchThread->start();
  Impl* impl = &d;
  const int rescanMs = d.options.rescanMs;
  QMetaObject::invokeMethod(d.watchContext, [impl, rescanMs] {
    impl->watcher = new QFileSystemWatcher;
    impl->settle = new QTimer;
    impl->settle->setSingleShot(true);
    impl->settle->setInterval(kSettleMs);
    // The table that folds Traditional to Simplified is built here, not in the first search.
    simplifiedText("臺");
    auto rescan = [impl] { impl->watch(impl->scan()); };
    QObject::connect(impl->settle, &QTimer::timeout, impl->watchContext, rescan);
    QObject::connect(impl->watcher, &QFileSystemWatcher::directoryChanged, impl->watchContext,
                     [impl] { impl->settle->start(); });
    auto* every = new QTimer(impl->settle);
    QObject::connect(every, &QTimer::timeout, impl->watchContext, rescan);
    every->start(rescanMs);
    rescan();
  });
  return true;
}

void Library::setFolders(const std::vector<std::string>& folders) {
  {
    std::lock_guard lock(impl_->mutex);
    impl_->folders = folders;
  }
  rescanSoon();
}

void Library::setFavouritesFolder(const std::string& folder) {
  {
    std::lock_guard lock(impl_->mutex);
    if (impl_->favourites == folder) return;
    impl_->favourites = folder;
  }
  rescanSoon();
}

void Library::rescanSoon() {
  Impl* impl = impl_.get();
  if (impl->watchContext) QMetaObject::invokeMethod(impl->watchContext, [impl] { impl->settle->start(0); });
}

std::vector<FolderState> Library::folderStates() const {
  std::lock_guard lock(impl_->mutex);
  std::vector<FolderState> out;
  for (const std::string& folder : impl_->folders) {
    // Until the first look over a folder added, it is as good as empty.
    FolderState state{folder, {}};
    for (const FolderLook& look : impl_->looks) {
      if (look.state.folder == folder) state = look.state;
    }
    out.push_back(std::move(state));
  }
  return out;
}

std::vector<LibraryMatch> Library::find(const std::string& keyword) {
  Impl& d = *impl_;
  if (!d.store) return {};
  const std::vector<FoundPicture> found = d.store->find(keyword);
  std::vector<Root> roots;
  {
    std::lock_guard lock(d.mutex);
    roots = d.roots;
  }
  std::vector<LibraryMatch> out;
  for (const FoundPicture& f : found) {
    for (const Root& root : roots) {
      if (!isBelow(f.path, root.path)) continue;
      out.push_back({root.name, f.path.substr(root.path.size() + 1),
                     nameText(f.path.substr(f.path.rfind('/') + 1)), f.mtimeNs});
      break;
    }
  }
  return out;
}

std::optional<std::string> Library::file(const std::string& folder, const std::string& relative) {
  std::string root;
  {
    std::lock_guard lock(impl_->mutex);
    for (const Root& r : impl_->roots) {
      if (r.name == folder) root = r.path;
    }
  }
  return root.empty() ? std::nullopt : pictureBelow(root, relative);
}

LibraryProgress Library::progress() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->counts;
}

void Library::onProgress(std::function<void(LibraryProgress)> callback) {
  std::lock_guard lock(impl_->callbackMutex);
  impl_->progressCallback = std::move(callback);
}

int Library::runningReaders() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->running;
}

}  // namespace mw::library
