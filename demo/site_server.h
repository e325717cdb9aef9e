#pragma once
// What the demo sites share: one small pool of worker threads serving every site's
// connections, the serving rules every site follows, and the helpers their pages use.
#include <httplib.h>

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace mw::demo {

// Worker threads shared by several cpp-httplib servers: each server gets a task queue of its
// own (newQueue) that runs its connections here.
class WorkerPool {
 public:
  explicit WorkerPool(std::size_t threads);
  ~WorkerPool();
  WorkerPool(const WorkerPool&) = delete;
  WorkerPool& operator=(const WorkerPool&) = delete;

  // For httplib::Server::new_task_queue; the server owns what it gets. Its shutdown waits
  // until that server's connections are done.
  httplib::TaskQueue* newQueue();

  void run(std::function<void()> job);

 private:
  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<std::function<void()>> jobs_;
  bool stopping_ = false;
  std::vector<std::thread> threads_;
};

// What every site does besides its pages: latency and failure injection, and a request count.
struct ServingRules {
  int latencyMs = 0;
  double failureRate = 0;  // share of requests answered 503, 0 to 1
  std::mutex failureMutex;
  std::mt19937 failureRandom;  // seeded by the caller: failures repeat from run to run
  std::atomic<long long> requests{0};
};

// Sets a server up to serve through `pool` under `rules`: one request per connection (an idle
// kept-alive connection would hold a worker every site needs), a bounded request body, and a
// busy fixed port failing the start instead of being shared. `rules` must outlive the server.
void prepareServer(httplib::Server& server, WorkerPool& pool, ServingRules& rules);

// Pages of the demo sites.
inline constexpr const char* kHtmlUtf8 = "text/html; charset=utf-8";
inline constexpr const char* kHtmlGbk = "text/html; charset=gb2312";

// encodeURIComponent-style escaping, as the sites write names into their pages.
std::string percentEncode(const std::string& bytes);
std::string htmlEscape(const std::string& s);
// A whole-number query value; `fallback` when absent, -1 when malformed.
int intParam(const httplib::Request& req, const char* name, int fallback);
// "http://" + the Host the client asked for, or `fallback` when it sent none that is usable.
std::string selfAddress(const httplib::Request& req, const std::string& fallback);

}  // namespace mw::demo
