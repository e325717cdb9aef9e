#include "site/words_jobs.h"

#include <algorithm>
#include <cstdio>
#include <memory>

namespace mw::site {
namespace {

// After a helper fails, or the database does, a thread waits this long, twice as long after
// each further failure, up to kLongestPause.
constexpr std::chrono::milliseconds kFirstPause{1000};
constexpr std::chrono::milliseconds kLongestPause{60000};

}  // namespace

WordsJobs::WordsJobs(Collection& collection, Load load, WordsJobsOptions options)
    : collection_(collection), load_(std::move(load)), options_(std::move(options)) {
  for (int i = 0; i < options_.threads; ++i) threads_.emplace_back([this] { run(); });
}

WordsJobs::~WordsJobs() {
  {
    const std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  for (std::thread& t : threads_) t.join();
}

bool WordsJobs::pause(std::chrono::milliseconds wait) {
  std::unique_lock lock(mutex_);
  return !wake_.wait_for(lock, wait, [this] { return stopping_.load(); });
}

void WordsJobs::run() {
  using Outcome = library::PictureWords::Outcome;
  std::unique_ptr<library::PictureReader> reader;
  int failures = 0;
  while (!stopping_) {
    const std::optional<WordsJob> job = collection_.takeJob();
    if (!job) {
      // Nothing to read, for now: the helper goes until there is.
      reader.reset();
      if (!pause(options_.poll)) break;
      continue;
    }
    const std::optional<std::string> bytes = load_(*job);
    if (!bytes) {
      std::fprintf(stderr, "memwick-site: %s.%s is not in the store: found by its names only\n",
                   job->id.c_str(), job->ext.c_str());
      collection_.finishJob(job->id, {}, WordsState::NameOnly);
      ++done_;
      continue;
    }
    if (!reader) reader = std::make_unique<library::PictureReader>(options_.reader, &stopping_);
    const library::PictureWords read = library::readPictureWords(*bytes, *reader);
    switch (read.outcome) {
      case Outcome::Read:
        failures = 0;
        collection_.finishJob(job->id, read.words, WordsState::Read);
        ++done_;
        break;
      case Outcome::Undecodable:
        collection_.finishJob(job->id, {}, WordsState::NameOnly);
        ++done_;
        break;
      case Outcome::PictureFault:
        // Its attempt counts: after the last one it is found by its names.
        collection_.releaseJob(job->id, true);
        break;
      case Outcome::Stopped:
        collection_.releaseJob(job->id, false);
        break;
      case Outcome::HelperFault: {
        const std::string why = reader->error().empty() ? reader->failure() : reader->error();
        collection_.releaseJob(job->id, false);
        reader.reset();
        const std::chrono::milliseconds wait =
            std::min<std::chrono::milliseconds>(kLongestPause, kFirstPause * (1 << std::min(failures++, 10)));
        std::fprintf(stderr, "memwick-site: reading words waits %lld s: %s\n",
                     static_cast<long long>(wait.count() / 1000), why.c_str());
        pause(wait);
        break;
      }
    }
  }
}

}  // namespace mw::site
