#include "site/site_server.h"

#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <strings.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <map>
#include <optional>
#include <string_view>
#include <utility>

#include "net/site_settings.h"

namespace mw::demo {
namespace {

using Clock = std::chrono::steady_clock;

// The largest thing posted is the make form, a few KB: huge bodies are refused unread.
constexpr std::size_t kMaxPostBytes = 1 << 20;
// A header may be this large. A body declared up to kReadAheadBytes comes whole before a
// worker takes its request; a larger one (an upload) is read by the worker.
constexpr std::size_t kHeaderBytes = 64 << 10;
constexpr std::size_t kReadAheadBytes = 64 << 10;
constexpr std::size_t kReceiveBytes = 16 << 10;
// A large body read ahead is taken up to this much at each wake of the watch, and all bodies
// read ahead together hold at most kReadAheadBudget: beyond it a worker reads the body.
constexpr std::size_t kLargeReceiveBytes = 1 << 20;
constexpr std::size_t kReadAheadBudget = std::size_t(256) << 20;
std::atomic<std::size_t> readAheadHeld{0};
// A worker's wait for each read of a body left to it, and for each write.
constexpr int kWaitMs = 5000;

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

void closeSocket(socket_t sock) {
  ::shutdown(sock, SHUT_RDWR);
  ::close(sock);
}

// A connection's bytes, kept from one request to the next with what was read ahead. While it
// waits in the watch, each request is read ahead until it has come: its header, and its body
// when that is declared small or its server admits it (a member's upload). A worker then answers it from what
// was read, and reads on only for a body left to it, within the body's deadline.
class ConnectionStream : public httplib::Stream {
 public:
  enum class Arrival { Partial, Ready, TooLarge, Closed };

  ConnectionStream(socket_t sock, std::chrono::milliseconds bodyLimit, std::size_t maxBody,
                   const SiteServer::ReadAhead& readAhead)
      : sock_(sock), bodyLimit_(bodyLimit), maxBody_(maxBody), readAhead_(readAhead) {}
  ~ConnectionStream() override { releaseBudget(); }
  ConnectionStream(const ConnectionStream&) = delete;
  ConnectionStream& operator=(const ConnectionStream&) = delete;

  // Reads what has come, without waiting, unless the next request is at hand already; how far
  // that request has come.
  Arrival receive() {
    if (ready_) return Arrival::Ready;
    if (budget_ > 0) {
      // A large body: straight into its place, as much as has come.
      const std::size_t want = std::min(kLargeReceiveBytes, requestEnd_ - buffer_.size());
      const std::size_t had = buffer_.size();
      buffer_.resize(had + want);
      const ssize_t n = ::recv(sock_, buffer_.data() + had, want, MSG_DONTWAIT);
      buffer_.resize(had + std::size_t(std::max<ssize_t>(n, 0)));
      if (n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR))
        return Arrival::Closed;
      return arrival();
    }
    char chunk[kReceiveBytes];
    const ssize_t n = ::recv(sock_, chunk, sizeof chunk, MSG_DONTWAIT);
    if (n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR))
      return Arrival::Closed;
    if (n > 0) buffer_.append(chunk, std::size_t(n));
    return arrival();
  }

  // When the request at hand must have come: its header kHeaderLimit after its first byte, its
  // body the body limit after its header; before it begins, kIdleLimit after the last one.
  Clock::time_point deadline() const {
    if (headerEnd_ != kNone) return headerIn_ + bodyLimit_;
    if (began_ != Clock::time_point{}) return began_ + kHeaderLimit;
    return idleSince_ + kIdleLimit;
  }

  // No byte of a next request has come.
  bool idle() const { return offset_ == buffer_.size(); }
  // The request at hand was read whole, so that answering it waits for no client.
  bool wholeRequest() const { return requestEnd_ != kNone; }
  // Whether a request may follow this one on the connection: not after a body refused unread,
  // nor after one read by the worker, whose end is unknown where it was cut short.
  bool canContinue() const { return wholeRequest() && !refusedBody_; }

  // Forgets the request just answered, and what of it was left unread (a refused body).
  void next() {
    if (wholeRequest()) offset_ = std::max(offset_, requestEnd_);
    buffer_.erase(0, offset_);
    if (buffer_.empty() || buffer_.capacity() > kHeaderBytes + kReadAheadBytes)
      std::string(buffer_).swap(buffer_);  // an idle connection keeps no buffer, nor an upload's
    offset_ = scanned_ = 0;
    headerEnd_ = requestEnd_ = kNone;
    ready_ = refusedBody_ = false;
    releaseBudget();
    began_ = {};
    idleSince_ = Clock::now();
  }

  bool is_readable() const override { return offset_ < end() || (!wholeRequest() && waitForBody()); }
  bool is_writable() const override { return waitFor(sock_, POLLOUT, kWaitMs); }

  ssize_t read(char* ptr, size_t size) override {
    if (offset_ == end()) {
      if (wholeRequest()) return 0;  // what follows belongs to the next request
      if (!waitForBody()) return -1;
      buffer_.resize(kReceiveBytes);
      offset_ = 0;
      const ssize_t n = ::recv(sock_, buffer_.data(), buffer_.size(), 0);
      buffer_.resize(n > 0 ? std::size_t(n) : 0);
      if (n <= 0) return n;
    }
    const std::size_t n = std::min(size, end() - offset_);
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
  static constexpr std::size_t kNone = std::string::npos;

  std::size_t end() const { return wholeRequest() ? requestEnd_ : buffer_.size(); }

  void releaseBudget() {
    readAheadHeld -= budget_;
    budget_ = 0;
  }

  // Takes room for a large body to be read ahead; false when the budget has none.
  bool takeBudget(std::size_t bytes) {
    std::size_t held = readAheadHeld;
    do {
      if (held + bytes > kReadAheadBudget) return false;
    } while (!readAheadHeld.compare_exchange_weak(held, held + bytes));
    budget_ = bytes;
    return true;
  }

  bool waitForBody() const {
    const auto left =
        std::chrono::ceil<std::chrono::milliseconds>(headerIn_ + bodyLimit_ - Clock::now()).count();
    return left > 0 && waitFor(sock_, POLLIN, int(std::min<long long>(left, kWaitMs)));
  }

  Arrival arrival() {
    if (idle()) return Arrival::Partial;
    if (began_ == Clock::time_point{}) began_ = Clock::now();
    if (headerEnd_ == kNone) {
      // The blank line that ends the header, as the parser finds it.
      const std::size_t blank = buffer_.find("\n\r\n", std::max(offset_, scanned_));
      if (blank == kNone) {
        scanned_ = std::max(buffer_.size(), std::size_t(2)) - 2;
        return buffer_.size() - offset_ > kHeaderBytes ? Arrival::TooLarge : Arrival::Partial;
      }
      headerEnd_ = blank + 3;
      headerIn_ = Clock::now();
      requestEnd_ = readAheadEnd();
    }
    ready_ = !wholeRequest() || buffer_.size() >= requestEnd_;
    return ready_ ? Arrival::Ready : Arrival::Partial;
  }

  // Where the request ends when it is read ahead whole: after its header when it has no body
  // (a request without a length has none) or one too large to be taken, which is refused
  // unread; after a small declared body. kNone when the worker reads the body: a chunked one,
  // one the client waits to be asked for, or a large one.
  std::size_t readAheadEnd() {
    const std::string_view header(buffer_.data() + offset_, headerEnd_ - offset_);
    if (headerField(header, "Transfer-Encoding")) return kNone;
    const std::optional<std::string_view> length = headerField(header, "Content-Length");
    if (!length) return headerEnd_;
    // Read as the parser reads it.
    const unsigned long long bytes = std::strtoull(std::string(*length).c_str(), nullptr, 10);
    if (bytes > maxBody_) {
      refusedBody_ = true;
      return headerEnd_;
    }
    const std::optional<std::string_view> expect = headerField(header, "Expect");
    const bool admitted =
        bytes > 0 && bytes <= readAhead_.bytes && readAhead_.admits && readAhead_.admits(header);
    if (!admitted && (expect || bytes > kReadAheadBytes)) return kNone;
    if (admitted) {
      if (bytes > kReadAheadBytes && !takeBudget(std::size_t(bytes))) return kNone;
      // Asked before the buffer grows: the header's views point into it.
      const bool asks =
          expect && expect->size() == 12 && ::strncasecmp(expect->data(), "100-continue", 12) == 0;
      buffer_.reserve(headerEnd_ + std::size_t(bytes));
      // A client that waits to be asked for the body (curl does above 1 MiB) is asked here;
      // the second "100 Continue" the worker sends before its answer is one more 1xx that
      // clients skip.
      if (asks) {
        static constexpr std::string_view proceed = "HTTP/1.1 100 Continue\r\n\r\n";
        (void)!::send(sock_, proceed.data(), proceed.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
      }
    }
    return headerEnd_ + std::size_t(bytes);
  }

  socket_t sock_;
  std::chrono::milliseconds bodyLimit_;
  std::size_t maxBody_;
  const SiteServer::ReadAhead& readAhead_;
  std::size_t budget_ = 0;  // of kReadAheadBudget, for the body being read ahead
  std::string buffer_;
  std::size_t offset_ = 0;   // what the answered requests took
  std::size_t scanned_ = 0;  // searched for the header's end
  std::size_t headerEnd_ = kNone;
  std::size_t requestEnd_ = kNone;
  bool ready_ = false;
  bool refusedBody_ = false;
  Clock::time_point idleSince_ = Clock::now();
  Clock::time_point began_{};
  Clock::time_point headerIn_{};
};

// What a header too large to read is answered with.
void refuseHeader(socket_t sock) {
  static constexpr std::string_view answer =
      "HTTP/1.1 431 Request Header Fields Too Large\r\nConnection: close\r\nContent-Length: 0\r\n\r\n";
  (void)!::send(sock, answer.data(), answer.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
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

// One client's connection, from its accept to its close.
class Connection {
 public:
  Connection(socket_t s, WorkerPool::Watch& w, int ownerId, std::chrono::milliseconds bodyLimit,
             std::size_t maxBody, const SiteServer::ReadAhead& readAhead)
      : sock(s), watch(w), owner(ownerId), stream(s, bodyLimit, maxBody, readAhead) {
    int port = 0;
    address(sock, true, peer, port);
    // An answer goes out in two writes, header and body: held back until the first is
    // acknowledged, the body would wait out the client's delayed acknowledgement (40 ms) on
    // every request after a connection's first.
    const int on = 1;
    ::setsockopt(sock, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
  }
  ~Connection();
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  const socket_t sock;
  WorkerPool::Watch& watch;
  const int owner;
  std::string peer;  // the client's address
  const Clock::time_point opened = Clock::now();
  ConnectionStream stream;
  int served = 0;
  // Queues the connection on its server's workers; called by the watch.
  std::function<void(std::shared_ptr<Connection>)> resume;
  // Guarded by the watch's lock: whether it counts against its address's share, and its place
  // in the watch's poll (kUnpolled when parked since).
  bool counted = false;
  static constexpr std::size_t kUnpolled = std::size_t(-1);
  std::size_t polled = kUnpolled;
};

class WorkerPool::Watch {
 public:
  using Arrival = ConnectionStream::Arrival;
  using Dropped = std::vector<std::shared_ptr<Connection>>;

  Watch() : wake_(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {
    thread_ = std::thread([this] { run(); });
  }

  ~Watch() {
    {
      const std::lock_guard lock(mutex_);
      stopping_ = true;
    }
    wake();
    thread_.join();
    parked_.clear();
    ::close(wake_);
  }

  int newOwner() {
    const std::lock_guard lock(mutex_);
    return ++owners_;
  }

  // Counts a new connection against its address's share. Beyond it, the address's oldest idle
  // connection is closed, else its oldest slow one; false when none is waiting here (all are
  // being answered): then `c` is refused.
  bool admit(const std::shared_ptr<Connection>& c) {
    Dropped dropped;  // closed once the lock is released
    const std::lock_guard lock(mutex_);
    if (stopping_ || isClosed(c->owner)) return false;
    c->counted = true;
    if (++perAddress_[c->peer] <= kConnectionsPerAddress) return true;
    auto rank = [](const Connection& p) { return std::pair(!p.stream.idle(), p.opened); };
    auto victim = parked_.end();
    for (auto it = parked_.begin(); it != parked_.end(); ++it)
      if ((*it)->peer == c->peer && (victim == parked_.end() || rank(**it) < rank(**victim))) victim = it;
    if (victim == parked_.end()) {
      uncount(*c);
      return false;
    }
    uncount(**victim);
    dropped.push_back(std::move(*victim));
    parked_.erase(victim);
    return true;
  }

  // Watches `c` until its request has come, then resumes it (on the watch's thread: resuming
  // must only queue work). A request that misses its deadline closes the connection, and so
  // does its owner closing its connections.
  void park(std::shared_ptr<Connection> c) {
    {
      const std::lock_guard lock(mutex_);
      if (stopping_ || isClosed(c->owner)) {
        uncount(*c);
        return;
      }
      c->polled = Connection::kUnpolled;
      parked_.push_back(std::move(c));
    }
    wake();
  }

  // Closes the owner's waiting connections; none of its connections waits or resumes again.
  void closeAll(int owner) {
    Dropped dropped;
    const std::lock_guard lock(mutex_);
    closed_.push_back(owner);
    Dropped kept;
    for (std::shared_ptr<Connection>& c : parked_) {
      if (c->owner == owner) uncount(*c);
      (c->owner == owner ? dropped : kept).push_back(std::move(c));
    }
    parked_ = std::move(kept);
  }

  // A connection closes.
  void release(Connection& c) {
    const std::lock_guard lock(mutex_);
    uncount(c);
  }

 private:
  void uncount(Connection& c) {
    if (!c.counted) return;
    c.counted = false;
    const auto it = perAddress_.find(c.peer);
    if (--it->second == 0) perAddress_.erase(it);
  }

  bool isClosed(int owner) const { return std::find(closed_.begin(), closed_.end(), owner) != closed_.end(); }

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
        for (const std::shared_ptr<Connection>& c : parked_) {
          c->polled = fds.size();
          fds.push_back({c->sock, POLLIN, 0});
          next = std::min(next, c->stream.deadline());
        }
      }
      const auto wait = std::chrono::ceil<std::chrono::milliseconds>(next - Clock::now());
      ::poll(fds.data(), fds.size(), int(std::max<long long>(wait.count(), 0)));
      std::uint64_t count;
      (void)!::read(wake_, &count, sizeof count);

      Dropped dropped;  // let go once the lock is released
      const std::lock_guard lock(mutex_);
      const Clock::time_point now = Clock::now();
      Dropped kept;
      for (std::shared_ptr<Connection>& c : parked_) {
        const bool polled = c->polled != Connection::kUnpolled && fds[c->polled].revents;
        const Arrival arrival = polled ? c->stream.receive() : Arrival::Partial;
        if (arrival == Arrival::Ready) {
          // Under the lock, so that its owner's closeAll cannot pass it. The reference is let go
          // after the lock: the worker may be done with the connection first.
          dropped.push_back(std::move(c));
          dropped.back()->resume(dropped.back());
        } else if (arrival == Arrival::Partial && now < c->stream.deadline()) {
          kept.push_back(std::move(c));
        } else {
          if (arrival == Arrival::TooLarge) refuseHeader(c->sock);
          uncount(*c);
          dropped.push_back(std::move(c));
        }
      }
      parked_ = std::move(kept);
    }
  }

  const int wake_;
  std::mutex mutex_;
  std::vector<std::shared_ptr<Connection>> parked_;
  std::map<std::string, int> perAddress_;  // connections open, waiting or being answered
  std::vector<int> closed_;
  int owners_ = 0;
  bool stopping_ = false;
  std::thread thread_;
};

Connection::~Connection() {
  watch.release(*this);
  closeSocket(sock);
}

WorkerPool::WorkerPool(std::size_t threads) : watch_(std::make_unique<Watch>()) {
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

SiteServer::SiteServer(WorkerPool& pool, ServingRules& rules)
    : pool_(pool), watchId_(pool.watch().newOwner()) {
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
  pool_.watch().closeAll(watchId_);
  stop();
}

bool SiteServer::process_and_close_socket(socket_t sock) {
  auto c = std::make_shared<Connection>(sock, pool_.watch(), watchId_, bodyLimit_, payload_max_length_,
                                        readAhead_);
  c->resume = [this](std::shared_ptr<Connection> waited) {
    queue_.load()->enqueue([this, waited = std::move(waited)] { serve(waited); });
  };
  if (pool_.watch().admit(c)) serve(c);
  return true;
}

// Answers the requests that have come, then leaves the connection to the watch, which queues
// it here again when its next request has come.
void SiteServer::serve(const std::shared_ptr<Connection>& c) {
  using Arrival = ConnectionStream::Arrival;
  for (;;) {
    switch (c->stream.receive()) {
      case Arrival::Closed:
        return;
      case Arrival::TooLarge:
        refuseHeader(c->sock);
        return;
      case Arrival::Partial:
        pool_.watch().park(c);
        return;
      case Arrival::Ready:
        break;
    }
    const bool last = ++c->served >= kRequestsPerConnection || !is_running() || !c->stream.canContinue();
    bool closed = false;
    const bool answered = process_request(c->stream, last, closed, nullptr);
    c->stream.next();
    if (!answered || closed || last) return;
  }
}

std::optional<std::string_view> headerField(std::string_view header, std::string_view name) {
  for (std::size_t end = header.find('\n'); end != std::string_view::npos;) {
    const std::size_t begin = end + 1;
    end = header.find('\n', begin);
    std::string_view line = header.substr(begin, end == std::string_view::npos ? end : end - begin);
    if (line.size() <= name.size() || line[name.size()] != ':' ||
        ::strncasecmp(line.data(), name.data(), name.size()) != 0)
      continue;
    line.remove_prefix(name.size() + 1);
    while (!line.empty() && (line.front() == ' ' || line.front() == '\t')) line.remove_prefix(1);
    while (!line.empty() && (line.back() == ' ' || line.back() == '\t' || line.back() == '\r'))
      line.remove_suffix(1);
    return line;
  }
  return std::nullopt;
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
