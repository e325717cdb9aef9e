#include "toolkit/decode_pool.h"

#include <sys/resource.h>
#include <unistd.h>

#include <QCoreApplication>
#include <algorithm>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "runtime/event_pump.h"

namespace mw::toolkit {
namespace {

class Pool {
 public:
  Pool() {
    const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    for (unsigned i = 0; i < std::min(cores, 4u); ++i) threads_.emplace_back([this] { work(); });
  }
  ~Pool() {
    {
      std::lock_guard lock(mutex_);
      stopping_ = true;
      jobs_.clear();
    }
    ready_.notify_all();
    for (auto& t : threads_) t.join();
  }
  void add(std::function<void()> job) {
    {
      std::lock_guard lock(mutex_);
      jobs_.push_back(std::move(job));
    }
    ready_.notify_one();
  }
  int size() const { return int(threads_.size()); }

 private:
  void work() {
    // Decoding gives way to the window's thread when both want a core.
    setpriority(PRIO_PROCESS, pid_t(gettid()), 5);
    for (;;) {
      std::function<void()> job;
      {
        std::unique_lock lock(mutex_);
        ready_.wait(lock, [this] { return stopping_ || !jobs_.empty(); });
        if (stopping_) return;
        job = std::move(jobs_.front());
        jobs_.pop_front();
      }
      job();
    }
  }

  std::mutex mutex_;
  std::condition_variable ready_;
  std::deque<std::function<void()>> jobs_;
  bool stopping_ = false;
  std::vector<std::thread> threads_;
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

int decodeThreadCount() { return thePool().size(); }

DecodedPicture decodeWhileWaiting(Bytes bytes) {
  const auto ending = [] {
    DecodedPicture out;
    out.error = QStringLiteral("the program is ending");
    return out;
  };
  if (runtime::waitsAborted()) return ending();
  struct Shared {
    std::mutex mutex;
    std::condition_variable done;
    std::optional<DecodedPicture> result;
  };
  auto shared = std::make_shared<Shared>();
  runDecodeJob([shared, bytes = std::make_shared<const Bytes>(std::move(bytes))] {
    DecodedPicture result = decodePicture(*bytes);
    std::lock_guard lock(shared->mutex);
    shared->result = std::move(result);
    shared->done.notify_all();
  });
  for (;;) {
    {
      std::unique_lock lock(shared->mutex);
      if (shared->done.wait_for(lock, std::chrono::milliseconds(10),
                                [&] { return shared->result.has_value(); }))
        return std::move(*shared->result);
    }
    if (runtime::waitsAborted()) return ending();
    runtime::pumpEvents();
  }
}

}  // namespace mw::toolkit
