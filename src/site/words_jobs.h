#pragma once
// Reads the words of a collection's new pictures: threads that take the database's jobs (any
// node's, under a lease), read each picture with a memwick-ocr helper of their own, and write
// the words back. A job this node held when it stops goes back to the queue at once.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "library/picture_reader.h"
#include "site/collection.h"

namespace mw::site {

struct WordsJobsOptions {
  int threads = 1;
  // How often a thread with nothing to do looks for new jobs.
  std::chrono::milliseconds poll{1000};
  library::ReaderOptions reader;
};

class WordsJobs {
 public:
  // The bytes of a job's picture, from the store of originals; nullopt when it is not there.
  using Load = std::function<std::optional<std::string>(const WordsJob&)>;

  WordsJobs(Collection& collection, Load load, WordsJobsOptions options);
  ~WordsJobs();
  WordsJobs(const WordsJobs&) = delete;
  WordsJobs& operator=(const WordsJobs&) = delete;

  // Jobs this node finished, with words or by names only.
  long long done() const { return done_; }

 private:
  void run();
  // Waits up to `wait`; false once stopping.
  bool pause(std::chrono::milliseconds wait);

  Collection& collection_;
  Load load_;
  WordsJobsOptions options_;
  std::atomic<bool> stopping_ = false;
  std::atomic<long long> done_ = 0;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::vector<std::thread> threads_;
};

}  // namespace mw::site
