#pragma once
// site: the sites' server, and memwick-site that runs them on their own.
// What the demo sites share: one small pool of worker threads serving every site's
// connections, the serving rules every site follows, and the helpers their pages use.
#include <httplib.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace mw::demo {

class Connection;

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

  // Connections wait here until a request has come whole, watched by one thread of the pool's
  // own, so that neither an idle connection nor a slow client holds a worker.
  class Watch;
  Watch& watch() { return *watch_; }

 private:
  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<std::function<void()>> jobs_;
  bool stopping_ = false;
  std::vector<std::thread> threads_;
  std::unique_ptr<Watch> watch_;
};

// What every site does besides its pages: latency and failure injection, and a request count.
struct ServingRules {
  int latencyMs = 0;
  double failureRate = 0;  // share of requests answered 503, 0 to 1
  std::mutex failureMutex;
  std::mt19937 failureRandom;  // seeded by the caller: failures repeat from run to run
  std::atomic<long long> requests{0};
  // Refuse (403) a request whose Host is not the address it came to: a web page whose name was
  // pointed at loopback (DNS rebinding) must not reach the user's pictures.
  bool checkHost = false;
};

// How long a kept-alive connection may wait for its next request, and how many it may carry.
inline constexpr std::chrono::seconds kIdleLimit{30};
inline constexpr int kRequestsPerConnection = 100;
// How long a request's whole header may take from its first byte, and its body from the end of
// the header (by default: the sites take small forms), however steadily their bytes come.
inline constexpr std::chrono::seconds kHeaderLimit{10};
inline constexpr std::chrono::seconds kBodyLimit{10};
// Connections one client address may hold open to the sites of one pool: far more than a
// program opens side by side, few enough that one client cannot take every descriptor. The
// address's oldest idle connection makes room for a new one.
inline constexpr int kConnectionsPerAddress = 128;

// One site's server: serves through `pool` under `rules` (which must outlive it), with a bounded
// request body, and a busy fixed port failing the start instead of being shared. Connections
// are kept alive as real servers keep them. Until a request has come (its header, and a small
// body) a connection waits in the pool's watch, not on a worker.
class SiteServer : public httplib::Server {
 public:
  SiteServer(WorkerPool& pool, ServingRules& rules);
  ~SiteServer() override;

  // Closes the waiting connections and stops listening; returns once the requests being
  // answered are done.
  void stopServing();

  // How long a request's body may take once its header is in; raised by a server that takes
  // large uploads. Set before listening.
  void setBodyLimit(std::chrono::milliseconds limit) { bodyLimit_ = limit; }
  // Lets a body of up to `bytes` come whole before a worker takes its request, when `admits`
  // says so of its header (an upload by a member), so that a slow upload holds no worker.
  // Set before listening.
  void setReadAhead(std::size_t bytes, std::function<bool(std::string_view header)> admits) {
    readAhead_ = {bytes, std::move(admits)};
  }

  struct ReadAhead {
    std::size_t bytes = 0;
    std::function<bool(std::string_view header)> admits;
  };

 private:
  bool process_and_close_socket(socket_t sock) override;
  void serve(const std::shared_ptr<Connection>& c);

  WorkerPool& pool_;
  const int watchId_;
  std::chrono::milliseconds bodyLimit_ = kBodyLimit;
  ReadAhead readAhead_;
  std::atomic<httplib::TaskQueue*> queue_{nullptr};
};

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
// The value of field `name` in a request's raw header (request line first), blanks trimmed;
// names compare regardless of case.
std::optional<std::string_view> headerField(std::string_view header, std::string_view name);

}  // namespace mw::demo
