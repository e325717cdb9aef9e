#include "net/warm_up.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <thread>
#include <tuple>

#include "http_server.h"
#include "net/fetch_request.h"
#include "net/web_request.h"

using namespace mw;
using namespace mw::net;
using test::RawServer;

namespace {

// Waits until the warm-up has opened `count` connections to the site.
void awaitConnections(const RawServer& site, int count) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (site.connections() < count && std::chrono::steady_clock::now() < until)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  ASSERT_EQ(site.connections(), count);
}

}  // namespace

// The connections opened ahead of time carry the first requests to their host, so that no new
// connection is made; the early fetch answers its first taker only.
TEST(PathWarmUp, ConnectionsOpenedAheadCarryTheRequestsAndTheEarlyFetchAnswersOnce) {
  const auto script = test::answer(test::response("HTTP/1.1 200 OK", "", "ok"));
  RawServer site(script, 0, true), probe(script);
  {
    PathWarmUp warm({{"127.0.0.1:" + std::to_string(site.port()), 2}}, probe.url("/"));
    EXPECT_EQ(takeEarlyPage(probe.url("/")), Bytes("ok"));
    EXPECT_EQ(takeEarlyPage(probe.url("/")), std::nullopt);
    ASSERT_NO_FATAL_FAILURE(awaitConnections(site, 2));
    EXPECT_EQ(webRequest(site.url("/a")), "ok");
    EXPECT_EQ(webRequest(site.url("/b")), "ok");
    EXPECT_EQ(site.connections(), 2);
  }
  EXPECT_EQ(probe.connections(), 1);
  EXPECT_EQ(takeEarlyPage(probe.url("/")), std::nullopt);
}

// A connection opened ahead is handed over within its lifetime only: by then the server or
// something on the way may have dropped it without a word.
TEST(PathWarmUp, ConnectionsPastTheirLifetimeAreNotHandedOver) {
  RawServer site(test::answer(test::response("HTTP/1.1 200 OK", "", "ok")), 0, true);
  PathWarmUp warm({{"127.0.0.1:" + std::to_string(site.port()), 1}}, "", std::chrono::milliseconds(0));
  ASSERT_NO_FATAL_FAILURE(awaitConnections(site, 1));
  EXPECT_EQ(webRequest(site.url("/a")), "ok");
  EXPECT_EQ(site.connections(), 2);
}

// curl is told that a socket is connected for the connection taken over only: a connection the
// same exchange opens later, under the number the first one had, is connected by curl itself.
TEST(PathWarmUp, OnlyTheConnectionTakenOverIsReportedConnected) {
  RawServer site(
      [](const RawServer::Connection& c) {
        c.send(c.request.starts_with("GET /a")
                   ? test::response("HTTP/1.1 302 Found", "Location: /b\r\nConnection: close\r\n", "")
                   : test::response("HTTP/1.1 200 OK", "", "ok"));
      },
      0, true);
  // The free numbers below the highest descriptor taken, so that a socket closed and the one
  // opened next share a number, as in a quiet process; and no idle connection left by an
  // earlier test to close meanwhile.
  closeIdleConnections();
  int highest = 0;
  for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd"))
    highest = std::max(highest, std::stoi(entry.path().filename().string()));
  std::vector<int> fillers;
  for (int fd = 0; fd >= 0 && fd < highest;)
    fillers.push_back(fd = ::open("/dev/null", O_RDONLY | O_CLOEXEC));
  PathWarmUp warm({{"127.0.0.1:" + std::to_string(site.port()), 1}}, "");
  ASSERT_NO_FATAL_FAILURE(awaitConnections(site, 1));

  // Each socket curl asks about: whether the kernel has it connected, and what curl is told.
  struct Seen {
    Transfer* transfer;
    std::vector<std::tuple<curl_socket_t, bool, int>> answers;
  };
  auto t = prepareFetch(site.url("/a"), 0, {}, {});
  Seen seen{t.get(), {}};
  const curl_sockopt_callback record = [](void* data, curl_socket_t socket, curlsocktype purpose) {
    auto& seen = *static_cast<Seen*>(data);
    sockaddr_storage peer{};
    socklen_t length = sizeof peer;
    const bool connected = ::getpeername(socket, reinterpret_cast<sockaddr*>(&peer), &length) == 0;
    return std::get<2>(seen.answers.emplace_back(socket, connected,
                                                 Transfer::socketOptions(seen.transfer, socket, purpose)));
  };
  curl_easy_setopt(t->easy.get(), CURLOPT_SOCKOPTFUNCTION, record);
  curl_easy_setopt(t->easy.get(), CURLOPT_SOCKOPTDATA, &seen);
  Batch batch;
  ASSERT_TRUE(batch.start(*t));
  batch.drive([](Transfer&) {});
  EXPECT_EQ(t->body, "ok");
  ASSERT_EQ(seen.answers.size(), 2u);
  ASSERT_EQ(std::get<0>(seen.answers[1]), std::get<0>(seen.answers[0]))
      << "the second socket has the first one's number";
  for (const auto& [socket, connected, told] : seen.answers)
    EXPECT_EQ(told == CURL_SOCKOPT_ALREADY_CONNECTED, connected) << "socket " << socket;
  for (int fd : fillers) ::close(fd);
}
