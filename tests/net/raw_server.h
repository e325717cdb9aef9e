#pragma once
// A loopback TCP server for responses no well-behaved HTTP library would produce: malformed,
// slow, cut off or never sent. Each connection gets its own thread; the script decides what
// goes back over the socket. The connection then closes, or with `keepOpen` waits for the
// next request.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace mw::test {

class RawServer {
 public:
  struct Connection {
    int fd;
    std::string request;  // request line, headers and body as received
    const std::atomic<bool>& stopping;

    void send(std::string_view bytes) const {
      while (!bytes.empty()) {
        ssize_t n = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (n <= 0) return;
        bytes.remove_prefix(std::size_t(n));
      }
    }
    // Sleeps up to `ms`, returning early when the server shuts down.
    void wait(int ms) const {
      auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
      while (!stopping && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
  };
  using Script = std::function<void(const Connection&)>;

  // A fixed `port` may be held for a moment by a test running in parallel (ctest -j): the
  // bind is retried for up to 20 seconds.
  explicit RawServer(Script script, int port = 0, bool keepOpen = false)
      : script_(std::move(script)), keepOpen_(keepOpen) {
    listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
    int yes = 1;
    ::setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(uint16_t(port));
    auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(port == 0 ? 0 : 20);
    bool bound = false;
    while (!(bound = ::bind(listener_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0) &&
           std::chrono::steady_clock::now() < giveUp)
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    if (!bound || ::listen(listener_, 16) != 0) {
      ::close(listener_);
      listener_ = -1;
      return;
    }
    socklen_t len = sizeof addr;
    ::getsockname(listener_, reinterpret_cast<sockaddr*>(&addr), &len);
    port_ = ntohs(addr.sin_port);
    acceptor_ = std::thread([this] { acceptLoop(); });
  }

  ~RawServer() {
    stopping_ = true;
    if (acceptor_.joinable()) acceptor_.join();
    std::vector<std::thread> workers;
    {
      std::lock_guard lock(mutex_);
      workers.swap(workers_);
    }
    for (auto& t : workers) t.join();
    if (listener_ >= 0) ::close(listener_);
  }

  bool ok() const { return listener_ >= 0; }
  int port() const { return port_; }
  std::string url(std::string_view path = "/") const {
    return "http://127.0.0.1:" + std::to_string(port_) + std::string(path);
  }
  std::vector<std::string> requests() const {
    std::lock_guard lock(mutex_);
    return requests_;
  }
  std::string lastRequest() const {
    auto all = requests();
    return all.empty() ? std::string() : all.back();
  }
  int connections() const { return connections_; }

 private:
  void acceptLoop() {
    while (!stopping_) {
      pollfd p{listener_, POLLIN, 0};
      if (::poll(&p, 1, 20) <= 0) continue;
      int fd = ::accept(listener_, nullptr, nullptr);
      if (fd < 0) continue;
      ++connections_;
      std::lock_guard lock(mutex_);
      workers_.emplace_back([this, fd] { serve(fd); });
    }
  }

  // Reads one request: headers up to the empty line, then Content-Length bytes of body.
  // Gives up after a quiet second, so a client speaking something else (TLS) is recorded too.
  std::string readRequest(int fd) {
    std::string in;
    std::size_t want = std::string::npos;
    char buf[4096];
    while (!stopping_ && in.size() < want) {
      pollfd p{fd, POLLIN, 0};
      if (::poll(&p, 1, 1000) <= 0) break;
      ssize_t n = ::recv(fd, buf, sizeof buf, 0);
      if (n <= 0) break;
      in.append(buf, std::size_t(n));
      if (want == std::string::npos) {
        std::size_t end = in.find("\r\n\r\n");
        if (end == std::string::npos) continue;
        std::size_t length = 0;
        for (std::string_view key : {"\r\nContent-Length: ", "\r\ncontent-length: "}) {
          std::size_t at = in.find(key);
          if (at != std::string::npos && at < end)
            length = std::strtoul(in.c_str() + at + key.size(), nullptr, 10);
        }
        want = end + 4 + length;
      }
    }
    return in;
  }

  void serve(int fd) {
    for (bool first = true; first || keepOpen_; first = false) {
      std::string request = readRequest(fd);
      if (!first && request.empty()) break;
      {
        std::lock_guard lock(mutex_);
        requests_.push_back(request);
      }
      script_(Connection{fd, request, stopping_});
    }
    ::shutdown(fd, SHUT_RDWR);
    ::close(fd);
  }

  Script script_;
  bool keepOpen_;
  int listener_ = -1;
  int port_ = 0;
  std::atomic<bool> stopping_{false};
  std::atomic<int> connections_{0};
  std::thread acceptor_;
  mutable std::mutex mutex_;
  std::vector<std::thread> workers_;
  std::vector<std::string> requests_;
};

// A complete response with the given status line, header lines (each ending in CRLF) and body.
inline std::string response(std::string_view statusLine, std::string_view headerLines,
                            std::string_view body) {
  return std::string(statusLine) + "\r\n" + std::string(headerLines) +
         "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + std::string(body);
}

}  // namespace mw::test
