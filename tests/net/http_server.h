#pragma once
// Loopback servers for the request tests: cpp-httplib for well-formed exchanges.
#include <httplib.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <chrono>
#include <string>
#include <thread>

#include "raw_server.h"

namespace mw::test {

inline RawServer::Script answer(std::string bytes) {
  return [bytes](const RawServer::Connection& c) { c.send(bytes); };
}

// cpp-httplib listens with a backlog of 5; eight connections opened at once would overflow
// it and wait a second for the SYN to be retried. Widens the backlog of the listening socket
// on `port`.
inline void widenBacklog(int port) {
  for (int fd = 3; fd < 1024; ++fd) {
    sockaddr_in addr{};
    socklen_t len = sizeof addr;
    int listening = 0;
    socklen_t optLen = sizeof listening;
    if (::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) != 0 || addr.sin_family != AF_INET ||
        ntohs(addr.sin_port) != port ||
        ::getsockopt(fd, SOL_SOCKET, SO_ACCEPTCONN, &listening, &optLen) != 0 || !listening)
      continue;
    ::listen(fd, 128);
  }
}

// A cpp-httplib server on an ephemeral loopback port, listening on its own thread.
struct HttpServer {
  httplib::Server server;
  int port = 0;
  std::thread thread;
  template <typename Setup>
  explicit HttpServer(Setup setup) {
    setup(server);
    port = server.bind_to_any_port("127.0.0.1");
    thread = std::thread([this] { server.listen_after_bind(); });
    while (!server.is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    widenBacklog(port);
  }
  ~HttpServer() {
    server.stop();
    thread.join();
  }
  std::string url(const std::string& path) const { return "http://127.0.0.1:" + std::to_string(port) + path; }
};

}  // namespace mw::test
