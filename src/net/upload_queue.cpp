#include "net/upload_queue.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <system_error>
#include <utility>

#include "net/picture_upload.h"
#include "runtime/clock.h"
#include "runtime/files.h"

namespace mw::net {
namespace fs = std::filesystem;
namespace {

constexpr std::string_view kEntrySuffix = ".entry";

bool isEntry(const fs::directory_entry& e) {
  const std::string name = e.path().filename().string();
  return name.ends_with(kEntrySuffix) && e.is_regular_file();
}

// What becomes of a picture after the server's answer.
enum class Outcome { Delivered, Refused, Again };

Outcome outcomeOf(long status) {
  if (status >= 200 && status < 300) return Outcome::Delivered;
  // No answer, the server's own trouble, a request timed out or too many at once: the same
  // picture may well be taken later.
  if (status == 0 || status >= 500 || status == 408 || status == 429) return Outcome::Again;
  return Outcome::Refused;
}

Refusal refusalOf(long status) {
  switch (status) {
    case 401:
      return Refusal::BadToken;
    case 413:
      return Refusal::TooLarge;
    case 415:
      return Refusal::NotPicture;
    default:
      return Refusal::Other;
  }
}

}  // namespace

UploadQueue::UploadQueue(std::string folder, UploadQueueOptions options)
    : folder_(std::move(folder)), options_(options) {
  std::error_code ignored;
  fs::create_directories(folder_, ignored);
  // An entry whose writing was cut off leaves its temporary file, never a partial entry.
  for (const fs::directory_entry& e : fs::directory_iterator(folder_, ignored))
    if (e.path().filename().string().find(".entry.") != std::string::npos) fs::remove(e.path(), ignored);
  status_.waiting = entryCount();
  thread_ = std::thread([this] { run(); });
}

UploadQueue::~UploadQueue() {
  {
    const std::lock_guard lock(mutex_);
    stop_ = true;
  }
  wake_.notify_all();
  thread_.join();
}

void UploadQueue::setServer(const Text& server, const Text& token) {
  {
    const std::lock_guard lock(mutex_);
    address_ = uploadAddress(server);
    token_ = usableToken(token) ? token : Text();
    ++generation_;
    status_.retrying = false;
    status_.lastStatus = 0;
  }
  wake_.notify_all();
}

bool UploadQueue::active() const {
  const std::lock_guard lock(mutex_);
  return !address_.empty() && !token_.empty();
}

bool UploadQueue::add(const Text& file) {
  std::unique_lock lock(mutex_);
  if (address_.empty() || token_.empty()) return false;
  // Named by the time and a count, so that the names sort in the order the pictures came.
  char name[64];
  std::snprintf(name, sizeof name, "%016lld-%06llu", std::max(runtime::epochMilliseconds(), 0LL),
                added_++ % 1000000);
  const Text entry = runtime::pathText(folder_ + "/" + name + std::string(kEntrySuffix));
  if (runtime::fileExists(entry) || !runtime::writeFile(entry, file)) return false;
  ++status_.waiting;
  lock.unlock();
  wake_.notify_all();
  return true;
}

void UploadQueue::onRejected(std::function<void(const Rejection&)> told) {
  const std::lock_guard lock(mutex_);
  told_ = std::move(told);
}

UploadQueue::Status UploadQueue::status() const {
  const std::lock_guard lock(mutex_);
  return status_;
}

std::string UploadQueue::oldestEntry() const {
  std::error_code ignored;
  std::string oldest;
  for (const fs::directory_entry& e : fs::directory_iterator(folder_, ignored)) {
    if (!isEntry(e)) continue;
    std::string path = e.path().string();
    if (oldest.empty() || path < oldest) oldest = std::move(path);
  }
  return oldest;
}

std::size_t UploadQueue::entryCount() const {
  std::error_code ignored;
  std::size_t count = 0;
  for (const fs::directory_entry& e : fs::directory_iterator(folder_, ignored)) count += isEntry(e);
  return count;
}

void UploadQueue::run() {
  std::chrono::milliseconds delay = options_.firstDelay;
  std::unique_lock lock(mutex_);
  while (!stop_) {
    const std::string entry = address_.empty() || token_.empty() ? std::string() : oldestEntry();
    status_.waiting = entryCount();
    if (entry.empty()) {
      wake_.wait(lock);
      continue;
    }
    const Text address = address_, token = token_;
    const unsigned generation = generation_;
    lock.unlock();

    std::error_code ignored;
    const std::optional<Bytes> file = runtime::readFile(runtime::pathText(entry));
    const std::optional<Bytes> picture = file ? runtime::readFile(*file) : std::nullopt;
    if (!picture) {
      // The picture is gone from the favourites (or the entry unreadable): nothing left to send.
      fs::remove(entry, ignored);
      lock.lock();
      continue;
    }
    const UploadAnswer answer = postPicture(address, token, *picture, &stop_);
    const Outcome outcome = outcomeOf(answer.status);
    lock.lock();
    if (stop_) break;
    // A refusal of a token or server since replaced says nothing about the present ones: the
    // picture is tried again with them.
    if (outcome == Outcome::Refused && generation != generation_) continue;
    if (outcome != Outcome::Again) fs::remove(entry, ignored);
    status_.lastStatus = answer.status;
    status_.retrying = outcome == Outcome::Again;
    if (outcome == Outcome::Delivered) ++status_.delivered;
    if (outcome != Outcome::Again) {
      delay = options_.firstDelay;
      if (outcome == Outcome::Refused && told_) {
        const std::function<void(const Rejection&)> told = told_;
        lock.unlock();
        told(Rejection{refusalOf(answer.status), answer.status, *file});
        lock.lock();
      }
      continue;
    }
    const auto wait = std::max<std::chrono::milliseconds>(delay, answer.retryAfter);
    delay = std::min(delay * 2, options_.longestDelay);
    wake_.wait_for(lock, std::min(wait, options_.longestDelay),
                   [&] { return stop_ || generation_ != generation; });
    // New settings: the first try with them is made at once, and their waits start short.
    if (generation_ != generation) delay = options_.firstDelay;
  }
}

}  // namespace mw::net
