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
#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <fstream>
#include <map>
#include <mutex>
#include <set>
#include <thread>

#include "library/folder_scan.h"
#include "library/index_store.h"
#include "picture/picture_decoder.h"

namespace mw::library {
namespace {

const char* const kFavouritesName = "favourites";
// The marker picture the program keeps in the favourites folder is none of the user's.
const char* const kFavouritesMarker = "请不要删除本文件.gif";
// Files larger than this are found by their names only.
constexpr long long kMaxFileBytes = 64LL << 20;
// Pictures are read at most this large: text smaller than that would be unreadable anyway,
// and the engine's time grows with the pixels.
constexpr int kReadSide = 2048;
// Changes reported by the watcher come in bursts (a file created, then written).
constexpr int kSettleMs = 250;

struct Root {
  std::string name;  // in addresses
  std::string path;  // canonical
  bool favourites = false;
};

std::optional<std::string> wholeFile(const std::string& path, long long size) {
  std::ifstream in(path, std::ios::binary);
  std::string bytes(std::size_t(size), '\0');
  if (!in.read(bytes.data(), std::streamsize(size))) return std::nullopt;
  return bytes;
}

QSize readSize(QSize natural) {
  return natural.boundedTo(natural.scaled(kReadSide, kReadSide, Qt::KeepAspectRatio));
}

}  // namespace

struct Library::Impl {
  LibraryOptions options;
  std::unique_ptr<IndexStore> store;

  mutable std::mutex mutex;
  std::vector<std::string> folders;
  std::string favourites;
  std::vector<Root> roots;  // as the last scan found them
  std::deque<FileKey> queue;
  std::set<std::string> queued;
  LibraryProgress counts;
  int running = 0;  // reading threads taking work
  int alive = 0;    // reading threads not yet ended
  std::condition_variable ended;
  std::atomic<bool> stopping = false;
  bool readerBroken = false;
  std::mutex callbackMutex;  // held while the callback runs, so that it can be taken away
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

  std::vector<Root> currentRoots() {
    std::lock_guard lock(mutex);
    std::vector<Root> out;
    if (const std::string f = canonicalFolder(favourites); !f.empty())
      out.push_back({kFavouritesName, f, true});
    for (std::size_t i = 0; i < folders.size(); ++i) {
      if (const std::string f = canonicalFolder(folders[i]); !f.empty())
        out.push_back({std::to_string(i + 1), f, false});
    }
    return out;
  }

  // Brings the index in line with the folders; returns the folders read, for the watcher.
  std::vector<std::string> scan() {
    std::lock_guard scanning(scanMutex);
    const std::vector<Root> found = currentRoots();
    std::map<std::string, ScannedPicture> onDisk;
    std::vector<std::string> watched;
    std::map<std::string, StoredPicture> stored;
    for (const Root& root : found) {
      FolderScan scan = scanFolder(root.path, root.favourites ? std::vector<std::string>{kFavouritesMarker}
                                                              : std::vector<std::string>{});
      // A picture under two of the folders counts once, under the first.
      for (ScannedPicture& p : scan.pictures) onDisk.try_emplace(p.key.path, std::move(p));
      watched.insert(watched.end(), scan.folders.begin(), scan.folders.end());
      for (StoredPicture& s : store->picturesUnder(root.path)) stored.try_emplace(s.key.path, std::move(s));
    }
    std::vector<IndexStore::NewPicture> changed;
    std::vector<FileKey> toRead;
    for (auto& [path, picture] : onDisk) {
      const auto it = stored.find(path);
      if (it == stored.end() || !(it->second.key == picture.key)) {
        changed.push_back({picture.key, std::move(picture.names)});
        toRead.push_back(picture.key);
      } else if (it->second.state == ReadState::Pending) {
        toRead.push_back(picture.key);  // left unread last time
      }
    }
    std::vector<std::string> gone;
    for (const auto& [path, s] : stored) {
      if (!onDisk.count(path)) gone.push_back(path);
    }
    if (!changed.empty()) store->putNames(changed);
    if (!gone.empty()) store->remove(gone);
    {
      std::lock_guard lock(mutex);
      roots = found;
      if (!readerBroken) {
        for (FileKey& key : toRead) {
          if (queued.insert(key.path).second) {
            queue.push_back(std::move(key));
            ++counts.total;
          }
        }
      }
      startReaders();
    }
    if (!toRead.empty()) report();
    return watched;
  }

  // Under the lock.
  void startReaders() {
    if (stopping) return;
    while (running < options.readers && std::size_t(running) < queue.size()) {
      ++running;
      ++alive;
      std::thread([this] { readLoop(); }).detach();
    }
  }

  void readLoop() {
    // Reading yields to nearly every other use of the processor (the helper runs at idle
    // priority of its own accord), but not wholly: a thread at idle priority that holds the
    // index's lock on a busy machine would hold up the scan for seconds.
    if (options.reader.lowPriority) setpriority(PRIO_PROCESS, pid_t(gettid()), 19);
    std::unique_ptr<PictureReader> reader;
    for (;;) {
      FileKey job;
      {
        std::lock_guard lock(mutex);
        if (stopping || queue.empty()) break;
        job = std::move(queue.front());
        queue.pop_front();
      }
      if (!reader) reader = std::make_unique<PictureReader>(options.reader, &stopping);
      if (reader->error().empty()) readOne(job, *reader);
      if (stopping) break;
      if (!reader->error().empty()) {
        // Left pending: a later run reads them.
        std::fprintf(stderr, "memwick: pictures are found by their names only: %s\n",
                     reader->error().c_str());
        std::lock_guard lock(mutex);
        readerBroken = true;
        queue.clear();
        queued.clear();
        break;
      }
      {
        std::lock_guard lock(mutex);
        queued.erase(job.path);
        ++counts.done;
      }
      report();
    }
    // The helper goes as soon as nothing is left to read, and what reading took here back to
    // the system.
    reader.reset();
    bool last = false;
    {
      std::lock_guard lock(mutex);
      --running;
      // A scan may have queued pictures after this thread found nothing left, while it still
      // counted as running: they get readers of their own.
      startReaders();
      last = running == 0;
      if (last) {
        counts = {};
        queued.clear();
        queue.clear();
      }
    }
    if (last) {
      store->releaseMemory();
      malloc_trim(0);
      report();
    }
    // Notified under the lock: once it is released this thread touches nothing of ours.
    std::lock_guard lock(mutex);
    --alive;
    ended.notify_all();
  }

  void readOne(const FileKey& key, PictureReader& reader) {
    // Changed since the scan: the next scan has it again.
    if (fileKeyOf(key.path) != key) return;
    std::optional<std::string> bytes;
    if (key.size <= kMaxFileBytes) bytes = wholeFile(key.path, key.size);
    if (!bytes) {
      store->putWords(key, {}, ReadState::NameOnly);
      return;
    }
    // Not on the budget the window's pictures share: a full budget would cost a picture its
    // words for good, and reading must never crowd out what is shown. A GIF gives its first
    // frame.
    picture::DecodeMemory memory(false, picture::kFrameCap);
    picture::DecodedPicture decoded =
        picture::decodePicture(*bytes, {.shownSize = readSize, .memory = &memory});
    bytes.reset();
    if (!decoded.ok()) {
      store->putWords(key, {}, ReadState::NameOnly);
      return;
    }
    QImage image = std::move(decoded.image);
    if (image.width() > kReadSide || image.height() > kReadSide)
      image = image.scaled(kReadSide, kReadSide, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    const std::optional<std::vector<std::string>> words = reader.read(image);
    if (words) {
      store->putWords(key, *words, ReadState::Read);
    } else if (!stopping && reader.error().empty()) {
      // It crashed or hung the reader: found by its names, and never read again while it is
      // the same file.
      std::fprintf(stderr, "memwick: %s is found by its names only: %s\n", key.path.c_str(),
                   reader.failure().c_str());
      store->putWords(key, {}, ReadState::NameOnly);
    }
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
  d.stopping = true;
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
      out.push_back(
          {root.name, f.path.substr(root.path.size() + 1), f.path.substr(f.path.rfind('/') + 1), f.mtimeNs});
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
