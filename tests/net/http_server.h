#pragma once
// Loopback servers for the request tests: cpp-httplib for well-formed exchanges.
#include <httplib.h>

#include <chrono>
#include <string>
#include <thread>

#include "net/listen_backlog.h"
#include "net/transfer.h"
#include "raw_server.h"

namespace mw::test {

inline RawServer::Script answer(std::string bytes) {
  return [bytes](const RawServer::Connection& c) { c.send(bytes); };
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
    net::widenListenBacklog(port);
  }
  ~HttpServer() {
    // A connection kept open by the client would hold a worker until its keep-alive time
    // ran out, and the stop waits for the workers.
    net::closeIdleConnections();
    server.stop();
    thread.join();
  }
  std::string url(const std::string& path) const { return "http://127.0.0.1:" + std::to_string(port) + path; }
};

}  // namespace mw::test
