#pragma once
// A network path with round-trip time R, put in front of loopback servers: each listening port
// of the path forwards to one upstream port. A new connection cannot carry a byte before R has
// passed since it was opened (the handshake), and every chunk either way arrives R/2 after it
// was sent. So a request on a fresh connection is answered after 2R, on an open one after R.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <deque>
#include <list>
#include <string>
#include <thread>
#include <vector>

namespace mw::bench {

class LatencyPath {
 public:
  using Clock = std::chrono::steady_clock;

  // One listening port per upstream port, in that order.
  LatencyPath(const std::vector<int>& upstreamPorts, std::chrono::milliseconds rtt)
      : rtt_(rtt), wake_(::eventfd(0, EFD_NONBLOCK)) {
    for (int upstream : upstreamPorts) {
      const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
      sockaddr_in addr = loopback(0);
      socklen_t len = sizeof addr;
      if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
          ::listen(fd, 128) != 0 || ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
        if (fd >= 0) ::close(fd);
        ok_ = false;
        continue;
      }
      listeners_.push_back({fd, upstream, ntohs(addr.sin_port)});
    }
    thread_ = std::thread([this] { run(); });
  }

  ~LatencyPath() {
    stopping_ = true;
    const std::uint64_t one = 1;
    (void)!::write(wake_, &one, sizeof one);
    thread_.join();
    for (auto& c : connections_) {
      ::close(c.client);
      ::close(c.server);
    }
    for (auto& l : listeners_) ::close(l.fd);
    ::close(wake_);
  }

  LatencyPath(const LatencyPath&) = delete;
  LatencyPath& operator=(const LatencyPath&) = delete;

  bool ok() const { return ok_ && wake_ >= 0; }
  // The listening port in front of the i-th upstream port.
  int port(std::size_t i) const { return listeners_[i].port; }
  int connectionsOpened() const { return opened_; }

 private:
  struct Listener {
    int fd;
    int upstream;
    int port;
  };
  struct Chunk {
    Clock::time_point due;
    std::string bytes;  // empty: the sender closed its side
  };
  // One direction of a connection.
  struct Flow {
    int from, to;
    std::deque<Chunk> queue;
    std::string writing;  // due, not yet taken by the socket
    bool readEnded = false;
    bool writeShut = false;
  };
  struct Connection {
    int client, server;
    Clock::time_point opened;
    Flow up, down;
  };

  static sockaddr_in loopback(int port) {
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(static_cast<std::uint16_t>(port));
    return addr;
  }

  void accept(const Listener& l) {
    for (;;) {
      const int client = ::accept4(l.fd, nullptr, nullptr, SOCK_NONBLOCK);
      if (client < 0) return;
      const int server = ::socket(AF_INET, SOCK_STREAM, 0);
      const sockaddr_in addr = loopback(l.upstream);
      if (server < 0 || ::connect(server, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0) {
        ::close(client);
        if (server >= 0) ::close(server);
        continue;
      }
      int yes = 1;
      ::setsockopt(client, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
      ::setsockopt(server, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
      ::fcntl(server, F_SETFL, O_NONBLOCK);
      ++opened_;
      connections_.push_back(
          {client, server, Clock::now(), {client, server, {}, {}}, {server, client, {}, {}}});
    }
  }

  // Reads what arrived on the flow's source and queues it for its time of arrival.
  void read(Connection& c, Flow& f, bool upward) {
    char buffer[65536];
    for (;;) {
      const ssize_t n = ::recv(f.from, buffer, sizeof buffer, 0);
      if (n < 0) return;
      const Clock::time_point now = Clock::now();
      Clock::time_point leaves = now;
      if (upward) leaves = std::max(now, c.opened + rtt_);
      const Clock::time_point due = leaves + rtt_ / 2;
      f.queue.push_back({due, n == 0 ? std::string() : std::string(buffer, std::size_t(n))});
      if (n == 0) {
        f.readEnded = true;
        return;
      }
    }
  }

  // Hands the flow's due chunks to its destination; false once the flow is done or broken.
  bool deliver(Flow& f, Clock::time_point now) {
    for (;;) {
      if (!f.writing.empty()) {
        const ssize_t n = ::send(f.to, f.writing.data(), f.writing.size(), MSG_NOSIGNAL);
        if (n < 0) return errno == EAGAIN || errno == EWOULDBLOCK;
        f.writing.erase(0, std::size_t(n));
        if (!f.writing.empty()) return true;
      }
      if (f.queue.empty() || f.queue.front().due > now) return true;
      Chunk chunk = std::move(f.queue.front());
      f.queue.pop_front();
      if (chunk.bytes.empty()) {
        ::shutdown(f.to, SHUT_WR);
        f.writeShut = true;
        return true;
      }
      f.writing = std::move(chunk.bytes);
    }
  }

  void run() {
    while (!stopping_) {
      std::vector<pollfd> fds;
      fds.push_back({wake_, POLLIN, 0});
      for (const auto& l : listeners_) fds.push_back({l.fd, POLLIN, 0});
      Clock::time_point next = Clock::now() + std::chrono::seconds(1);
      for (auto& c : connections_) {
        for (Flow* f : {&c.up, &c.down}) {
          if (!f->readEnded) fds.push_back({f->from, POLLIN, 0});
          if (!f->writing.empty()) fds.push_back({f->to, POLLOUT, 0});
          if (f->writing.empty() && !f->queue.empty()) next = std::min(next, f->queue.front().due);
        }
      }
      const auto wait = std::max(Clock::duration::zero(), next - Clock::now());
      const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(wait).count();
      const timespec timeout{static_cast<time_t>(ns / 1000000000), static_cast<long>(ns % 1000000000)};
      ::ppoll(fds.data(), fds.size(), &timeout, nullptr);
      if (fds[0].revents) {
        std::uint64_t count;
        (void)!::read(wake_, &count, sizeof count);
      }
      for (const auto& l : listeners_) accept(l);
      const Clock::time_point now = Clock::now();
      for (auto it = connections_.begin(); it != connections_.end();) {
        Connection& c = *it;
        if (!c.up.readEnded) read(c, c.up, true);
        if (!c.down.readEnded) read(c, c.down, false);
        const bool alive = deliver(c.up, now) && deliver(c.down, now);
        if (!alive || (c.up.writeShut && c.down.writeShut)) {
          ::close(c.client);
          ::close(c.server);
          it = connections_.erase(it);
        } else {
          ++it;
        }
      }
    }
  }

  const std::chrono::milliseconds rtt_;
  const int wake_;
  bool ok_ = true;
  std::vector<Listener> listeners_;
  std::list<Connection> connections_;
  std::atomic<bool> stopping_{false};
  std::atomic<int> opened_{0};
  std::thread thread_;
};

}  // namespace mw::bench
