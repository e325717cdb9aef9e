#include "demo/site_server.h"

#include <cctype>
#include <chrono>
#include <utility>

#include "net/site_settings.h"

namespace mw::demo {
namespace {

// The largest thing posted is the make form, a few KB: huge bodies are refused unread.
constexpr std::size_t kMaxPostBytes = 1 << 20;

class PoolQueue : public httplib::TaskQueue {
 public:
  explicit PoolQueue(WorkerPool& pool) : pool_(pool) {}

  void enqueue(std::function<void()> fn) override {
    {
      const std::lock_guard lock(mutex_);
      ++pending_;
    }
    pool_.run([this, fn = std::move(fn)] {
      fn();
      // Notified under the lock: once shutdown sees zero, this queue may go at once.
      const std::lock_guard lock(mutex_);
      --pending_;
      done_.notify_all();
    });
  }

  void shutdown() override {
    std::unique_lock lock(mutex_);
    done_.wait(lock, [this] { return pending_ == 0; });
  }

 private:
  WorkerPool& pool_;
  std::mutex mutex_;
  std::condition_variable done_;
  std::size_t pending_ = 0;
};

}  // namespace

WorkerPool::WorkerPool(std::size_t threads) {
  for (std::size_t i = 0; i < threads; ++i) {
    threads_.emplace_back([this] {
      for (;;) {
        std::function<void()> job;
        {
          std::unique_lock lock(mutex_);
          wake_.wait(lock, [this] { return stopping_ || !jobs_.empty(); });
          if (jobs_.empty()) return;
          job = std::move(jobs_.front());
          jobs_.pop_front();
        }
        job();
      }
    });
  }
}

WorkerPool::~WorkerPool() {
  {
    const std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  for (auto& t : threads_) t.join();
}

httplib::TaskQueue* WorkerPool::newQueue() { return new PoolQueue(*this); }

void WorkerPool::run(std::function<void()> job) {
  {
    const std::lock_guard lock(mutex_);
    jobs_.push_back(std::move(job));
  }
  wake_.notify_one();
}

void prepareServer(httplib::Server& server, WorkerPool& pool, ServingRules& rules) {
  server.new_task_queue = [&pool] { return pool.newQueue(); };
  server.set_keep_alive_max_count(1);
  // A connection opened but left silent holds its worker this long at most.
  server.set_keep_alive_timeout(1);
  // httplib's default also sets SO_REUSEPORT, which would let a second site share a fixed
  // port silently; keep only SO_REUSEADDR so a busy port fails the start.
  server.set_socket_options([](socket_t sock) {
    int yes = 1;
    setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
  });
  server.set_payload_max_length(kMaxPostBytes);
  server.set_pre_routing_handler([&rules](const httplib::Request&, httplib::Response& res) {
    ++rules.requests;
    if (rules.latencyMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(rules.latencyMs));
    bool fail = false;
    if (rules.failureRate > 0) {
      const std::lock_guard lock(rules.failureMutex);
      fail = std::uniform_real_distribution<double>(0, 1)(rules.failureRandom) < rules.failureRate;
    }
    if (!fail) return httplib::Server::HandlerResponse::Unhandled;
    res.status = 503;
    res.set_content("<html><body><h1>503 Service Unavailable</h1></body></html>", "text/html");
    return httplib::Server::HandlerResponse::Handled;
  });
}

std::string percentEncode(const std::string& bytes) {
  static const char* hex = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : bytes) {
    if (std::isalnum(c) || c == '-' || c == '.' || c == '_' || c == '~') {
      out += static_cast<char>(c);
    } else {
      out += '%';
      out += hex[c >> 4];
      out += hex[c & 15];
    }
  }
  return out;
}

std::string htmlEscape(const std::string& s) {
  std::string out;
  for (char c : s) {
    switch (c) {
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '&':
        out += "&amp;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '\'':
        out += "&#39;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

int intParam(const httplib::Request& req, const char* name, int fallback) {
  if (!req.has_param(name)) return fallback;
  const std::string v = req.get_param_value(name);
  if (v.empty() || v.size() > 9 || v.find_first_not_of("0123456789") != std::string::npos) return -1;
  return std::stoi(v);
}

std::string selfAddress(const httplib::Request& req, const std::string& fallback) {
  const std::string host = req.get_header_value("Host");
  if (!host.empty() && net::isValidHostPort(host)) return "http://" + host;
  return fallback;
}

}  // namespace mw::demo
