#include "picture/decode_pool.h"

#include <sys/resource.h>
#include <unistd.h>

#include <QCoreApplication>
#include <algorithm>
#include <condition_variable>
#include <deque>
#include <list>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

#include "runtime/event_pump.h"

namespace mw::picture {
namespace {

// Threads start as jobs come, up to one per core (at most four), and end after a while
// without work: an idle program keeps none.
class Pool {
 public:
  Pool() : cap_(int(std::min(std::max(1u, std::thread::hardware_concurrency()), 4u))) {}
  ~Pool() {
    {
      std::lock_guard lock(mutex_);
      stopping_ = true;
      jobs_.clear();
    }
    ready_.notify_all();
    for (Worker& w : workers_) w.thread.join();
  }
  void add(std::function<void()> job) {
    std::lock_guard lock(mutex_);
    jobs_.push_back(std::move(job));
    if (idle_ > 0) {
      ready_.notify_one();
      return;
    }
    // Workers that ended have let go of the lock for good: joining them is immediate.
    for (auto it = workers_.begin(); it != workers_.end();) {
      if (it->done) {
        it->thread.join();
        it = workers_.erase(it);
      } else {
        ++it;
      }
    }
    if (int(workers_.size()) < cap_) {
      Worker& w = workers_.emplace_back();
      w.thread = std::thread([this, &w] { work(w); });
    }
  }

 private:
  static constexpr auto kIdleEnd = std::chrono::seconds(3);

  struct Worker {
    std::thread thread;
    bool done = false;
  };

  void work(Worker& self) {
    // Decoding gives way to the window's thread when both want a core.
    setpriority(PRIO_PROCESS, pid_t(gettid()), 5);
    std::unique_lock lock(mutex_);
    for (;;) {
      ++idle_;
      const bool woken = ready_.wait_for(lock, kIdleEnd, [this] { return stopping_ || !jobs_.empty(); });
      --idle_;
      if (stopping_ || !woken) break;
      std::function<void()> job = std::move(jobs_.front());
      jobs_.pop_front();
      lock.unlock();
      job();
      lock.lock();
    }
    self.done = true;
  }

  const int cap_;
  std::mutex mutex_;
  std::condition_variable ready_;
  std::deque<std::function<void()>> jobs_;
  bool stopping_ = false;
  int idle_ = 0;
  std::list<Worker> workers_;  // a worker refers to its own entry: the list keeps it in place
};

std::mutex poolMutex;
std::unique_ptr<Pool> pool;

// Called while the application object is destroyed: a job finishing later would post to it.
void stopPool() {
  std::unique_ptr<Pool> stopping;
  {
    std::lock_guard lock(poolMutex);
    stopping = std::move(pool);
  }
}

Pool& thePool() {
  std::lock_guard lock(poolMutex);
  if (!pool) {
    pool = std::make_unique<Pool>();
    qAddPostRoutine(&stopPool);
  }
  return *pool;
}

}  // namespace

void runDecodeJob(std::function<void()> job) { thePool().add(std::move(job)); }

void runOnWindowThread(std::function<void()> fn) {
  if (QCoreApplication* app = QCoreApplication::instance())
    QMetaObject::invokeMethod(app, std::move(fn), Qt::QueuedConnection);
}

bool runWhileWaiting(std::function<void()> job) {
  if (runtime::waitsAborted()) return false;
  struct Shared {
    std::mutex mutex;
    std::condition_variable done;
    bool finished = false;
  };
  auto shared = std::make_shared<Shared>();
  runDecodeJob([shared, job = std::move(job)] {
    job();
    std::lock_guard lock(shared->mutex);
    shared->finished = true;
    shared->done.notify_all();
  });
  for (;;) {
    {
      std::unique_lock lock(shared->mutex);
      if (shared->done.wait_for(lock, std::chrono::milliseconds(10), [&] { return shared->finished; }))
        return true;
    }
    if (runtime::waitsAborted()) return false;
    runtime::pumpEvents();
  }
}

DecodedPicture decodeWhileWaiting(Bytes bytes) {
  auto result = std::make_shared<DecodedPicture>();
  if (!runWhileWaiting([result, bytes = std::make_shared<const Bytes>(std::move(bytes))] {
        *result = decodePicture(*bytes);
      })) {
    DecodedPicture ending;
    ending.error = QStringLiteral("the program is ending");
    return ending;
  }
  return std::move(*result);
}

}  // namespace mw::picture
