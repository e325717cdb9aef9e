#include "demo/site_server.h"

#include <netdb.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
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

bool waitFor(socket_t sock, short events, int ms) {
  pollfd p{sock, events, 0};
  return ::poll(&p, 1, ms) > 0;
}

void address(socket_t sock, bool peer, std::string& ip, int& port) {
  sockaddr_storage a{};
  socklen_t length = sizeof a;
  char host[NI_MAXHOST];
  char service[NI_MAXSERV];
  const int got = peer ? ::getpeername(sock, reinterpret_cast<sockaddr*>(&a), &length)
                       : ::getsockname(sock, reinterpret_cast<sockaddr*>(&a), &length);
  if (got != 0 || ::getnameinfo(reinterpret_cast<sockaddr*>(&a), length, host, sizeof host, service,
                                sizeof service, NI_NUMERICHOST | NI_NUMERICSERV) != 0)
    return;
  ip = host;
  port = std::atoi(service);
}

// A connection's byte stream, kept from one request to the next with what was read ahead.
class ConnectionStream : public httplib::Stream {
 public:
  explicit ConnectionStream(socket_t sock) : sock_(sock) {}

  bool readAhead() const { return offset_ < buffer_.size(); }

  bool is_readable() const override { return readAhead() || waitFor(sock_, POLLIN, kTimeoutMs); }
  bool is_writable() const override { return waitFor(sock_, POLLOUT, kTimeoutMs); }

  ssize_t read(char* ptr, size_t size) override {
    if (!readAhead()) {
      if (!waitFor(sock_, POLLIN, kTimeoutMs)) return -1;
      buffer_.resize(4096);
      offset_ = 0;
      const ssize_t n = ::recv(sock_, buffer_.data(), buffer_.size(), 0);
      buffer_.resize(n > 0 ? std::size_t(n) : 0);
      if (n <= 0) return n;
    }
    const std::size_t n = std::min(size, buffer_.size() - offset_);
    std::copy_n(buffer_.data() + offset_, n, ptr);
    offset_ += n;
    return ssize_t(n);
  }

  ssize_t write(const char* ptr, size_t size) override {
    if (!is_writable()) return -1;
    return ::send(sock_, ptr, size, MSG_NOSIGNAL);
  }

  void get_remote_ip_and_port(std::string& ip, int& port) const override { address(sock_, true, ip, port); }
  void get_local_ip_and_port(std::string& ip, int& port) const override { address(sock_, false, ip, port); }
  socket_t socket() const override { return sock_; }

 private:
  static constexpr int kTimeoutMs = 5000;
  socket_t sock_;
  std::string buffer_;
  std::size_t offset_ = 0;
};

void closeSocket(socket_t sock) {
  ::shutdown(sock, SHUT_RDWR);
  ::close(sock);
}

// Whether the request's Host names the address and port it came to (localhost too, when that
// is loopback); host names compare regardless of case.
bool namesServedAddress(const httplib::Request& req) {
  std::string host = req.get_header_value("Host");
  std::transform(host.begin(), host.end(), host.begin(), [](unsigned char c) { return std::tolower(c); });
  std::string address = req.local_addr;
  // A dual-stack listener sees IPv4 clients as mapped addresses.
  if (address.starts_with("::ffff:") && address.find('.') != std::string::npos) address.erase(0, 7);
  if (address.empty() || req.local_port <= 0) return false;
  std::vector<std::string> names{address.find(':') == std::string::npos ? address : "[" + address + "]"};
  if (address == "127.0.0.1" || address == "::1") names.emplace_back("localhost");
  const std::string port = std::to_string(req.local_port);
  return std::any_of(names.begin(), names.end(), [&](const std::string& name) {
    return host == name + ":" + port || (port == "80" && host == name);
  });
}

}  // namespace

class WorkerPool::IdleWatch {
 public:
  using Clock = std::chrono::steady_clock;

  IdleWatch() : wake_(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {
    thread_ = std::thread([this] { run(); });
  }

  ~IdleWatch() {
    {
      const std::lock_guard lock(mutex_);
      stopping_ = true;
    }
    wake();
    thread_.join();
    for (const Parked& p : parked_) closeSocket(p.sock);
    ::close(wake_);
  }

  int newOwner() {
    const std::lock_guard lock(mutex_);
    return ++owners_;
  }

  // Watches `sock` until its next request arrives, then runs `resume` (on the watch's thread:
  // it must only queue work). A connection idle for kIdleLimit is closed, and so is one whose
  // owner has closed its connections.
  void park(int owner, socket_t sock, std::function<void()> resume) {
    {
      const std::lock_guard lock(mutex_);
      if (stopping_ || std::find(closed_.begin(), closed_.end(), owner) != closed_.end()) {
        closeSocket(sock);
        return;
      }
      parked_.push_back({owner, sock, Clock::now() + kIdleLimit, std::move(resume)});
    }
    wake();
  }

  // Closes the owner's waiting connections; none of its connections waits or resumes again.
  void closeAll(int owner) {
    const std::lock_guard lock(mutex_);
    closed_.push_back(owner);
    std::erase_if(parked_, [&](const Parked& p) {
      if (p.owner != owner) return false;
      closeSocket(p.sock);
      return true;
    });
  }

 private:
  struct Parked {
    int owner;
    socket_t sock;
    Clock::time_point until;
    std::function<void()> resume;
  };

  void wake() {
    const std::uint64_t one = 1;
    (void)!::write(wake_, &one, sizeof one);
  }

  void run() {
    std::vector<pollfd> fds;
    for (;;) {
      Clock::time_point next = Clock::now() + std::chrono::seconds(1);
      fds.assign(1, {wake_, POLLIN, 0});
      {
        const std::lock_guard lock(mutex_);
        if (stopping_) return;
        for (const Parked& p : parked_) {
          fds.push_back({p.sock, POLLIN, 0});
          next = std::min(next, p.until);
        }
      }
      const auto wait = std::chrono::ceil<std::chrono::milliseconds>(next - Clock::now());
      ::poll(fds.data(), fds.size(), int(std::max<long long>(wait.count(), 0)));
      std::uint64_t count;
      (void)!::read(wake_, &count, sizeof count);

      const std::lock_guard lock(mutex_);
      const Clock::time_point now = Clock::now();
      std::erase_if(parked_, [&](Parked& p) {
        const auto polled =
            std::find_if(fds.begin() + 1, fds.end(), [&](const pollfd& f) { return f.fd == p.sock; });
        if (polled != fds.end() && polled->revents) {
          p.resume();  // under the lock, so that its owner's closeAll cannot pass it
          return true;
        }
        if (now < p.until) return false;
        closeSocket(p.sock);
        return true;
      });
    }
  }

  const int wake_;
  std::mutex mutex_;
  std::vector<Parked> parked_;
  std::vector<int> closed_;
  int owners_ = 0;
  bool stopping_ = false;
  std::thread thread_;
};

WorkerPool::WorkerPool(std::size_t threads) : idle_(std::make_unique<IdleWatch>()) {
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

struct SiteServer::Connection {
  explicit Connection(socket_t s) : sock(s), stream(s) {}
  socket_t sock;
  ConnectionStream stream;
  int served = 0;
};

SiteServer::SiteServer(WorkerPool& pool, ServingRules& rules)
    : pool_(pool), watchId_(pool.idle().newOwner()) {
  new_task_queue = [this] {
    httplib::TaskQueue* queue = pool_.newQueue();
    queue_ = queue;
    return queue;
  };
  // What the answers' Keep-Alive header says.
  set_keep_alive_max_count(kRequestsPerConnection);
  set_keep_alive_timeout(kIdleLimit.count());
  // httplib's default also sets SO_REUSEPORT, which would let a second site share a fixed
  // port silently; keep only SO_REUSEADDR so a busy port fails the start.
  set_socket_options([](socket_t sock) {
    int yes = 1;
    setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
  });
  set_payload_max_length(kMaxPostBytes);
  set_pre_routing_handler([&rules](const httplib::Request& req, httplib::Response& res) {
    ++rules.requests;
    if (rules.checkHost && !namesServedAddress(req)) {
      res.status = 403;
      res.set_content("<html><body><h1>403 Forbidden</h1></body></html>", "text/html");
      return httplib::Server::HandlerResponse::Handled;
    }
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

SiteServer::~SiteServer() { stopServing(); }

void SiteServer::stopServing() {
  pool_.idle().closeAll(watchId_);
  stop();
}

bool SiteServer::process_and_close_socket(socket_t sock) {
  serve(std::make_shared<Connection>(sock));
  return true;
}

// Answers the requests at hand, then leaves the connection to the idle watch, which queues it
// here again when its next request comes.
void SiteServer::serve(const std::shared_ptr<Connection>& c) {
  for (;;) {
    if (!c->stream.readAhead() && !waitFor(c->sock, POLLIN, 0)) {
      pool_.idle().park(watchId_, c->sock, [this, c] { queue_.load()->enqueue([this, c] { serve(c); }); });
      return;
    }
    const bool last = ++c->served >= kRequestsPerConnection || !is_running();
    bool closed = false;
    if (!process_request(c->stream, last, closed, nullptr) || closed || last) break;
  }
  closeSocket(c->sock);
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
