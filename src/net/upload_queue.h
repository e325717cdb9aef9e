#pragma once
// Pictures waiting to go to a shared collection's server: one small file per picture in a folder
// of their own, so that what was saved while the server could not be reached goes once it can,
// also after the program has ended in between. One thread of its own sends them, oldest first;
// nothing here waits on the network for its callers.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "runtime/text.h"

namespace mw::net {

// Why the server turned a picture down for good.
enum class Refusal { BadToken, TooLarge, NotPicture, Other };

struct Rejection {
  Refusal refusal = Refusal::Other;
  long status = 0;  // the HTTP status it answered
  Text file;        // the picture's path
};

struct UploadQueueOptions {
  // The wait after a try the server did not take (unreachable, 5xx, too many at once), doubled
  // after each further one up to the longest.
  std::chrono::milliseconds firstDelay{5000};
  std::chrono::milliseconds longestDelay{10 * 60 * 1000};
};

class UploadQueue {
 public:
  // `folder` (a path as the system spells it) holds the entries; made when missing.
  explicit UploadQueue(std::string folder, UploadQueueOptions options = {});
  // Stops the thread, cutting off a transfer under way; the entries stay for the next start.
  ~UploadQueue();
  UploadQueue(const UploadQueue&) = delete;
  UploadQueue& operator=(const UploadQueue&) = delete;

  // Where and as whom pictures go (as the settings hold them). While the server names no usable
  // address or the token is unusable, nothing is sent and nothing is added.
  void setServer(const Text& server, const Text& token);
  bool active() const;
  // Queues the picture at `file` (a program path); false when not active or not written.
  bool add(const Text& file);
  // Told, on the queue's thread, of each picture the server refused and that was dropped.
  void onRejected(std::function<void(const Rejection&)> told);

  struct Status {
    std::size_t waiting = 0;    // pictures not yet taken by the server
    std::size_t delivered = 0;  // taken since the program started
    bool retrying = false;      // the last try was not taken and will be made again
    long lastStatus = 0;        // what the server answered it; 0: no answer
  };
  Status status() const;

 private:
  void run();
  std::string oldestEntry() const;
  std::size_t entryCount() const;

  const std::string folder_;
  const UploadQueueOptions options_;
  mutable std::mutex mutex_;
  std::condition_variable wake_;
  Text address_;
  Text token_;
  unsigned generation_ = 0;  // counts setServer calls: an answer to older settings is not acted on
  unsigned long long added_ = 0;
  std::function<void(const Rejection&)> told_;
  Status status_;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

}  // namespace mw::net
