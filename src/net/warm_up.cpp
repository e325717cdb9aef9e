#include "net/warm_up.h"

#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <map>
#include <mutex>
#include <thread>
#include <utility>

#include "net/fetch_request.h"
#include "net/site_settings.h"
#include "net/transfer.h"
#include "runtime/event_pump.h"

namespace mw::net {
namespace {

using Clock = std::chrono::steady_clock;

struct WarmSocket {
  sockaddr_storage address;
  int fd;
  Clock::time_point until;  // handed over before this only
};

// Never destroyed: a warm-up thread that was still resolving a name when the program ended
// may reach it during the static destructors.
struct Reserve {
  std::mutex mutex;
  std::vector<WarmSocket> sockets;
};

Reserve& reserve() {
  static Reserve& r = *new Reserve;
  return r;
}

bool sameAddress(const sockaddr* a, const sockaddr_storage& b) {
  if (a->sa_family != b.ss_family) return false;
  if (a->sa_family == AF_INET) {
    const auto* x = reinterpret_cast<const sockaddr_in*>(a);
    const auto* y = reinterpret_cast<const sockaddr_in*>(&b);
    return x->sin_port == y->sin_port && x->sin_addr.s_addr == y->sin_addr.s_addr;
  }
  if (a->sa_family == AF_INET6) {
    const auto* x = reinterpret_cast<const sockaddr_in6*>(a);
    const auto* y = reinterpret_cast<const sockaddr_in6*>(&b);
    return x->sin6_port == y->sin6_port &&
           std::memcmp(&x->sin6_addr, &y->sin6_addr, sizeof x->sin6_addr) == 0;
  }
  return false;
}

enum class State { Up, Connecting, Gone };

// An idle connection that can be read from has been closed by the peer (or holds what nobody
// asked for): either way it is no use.
State stateOf(int fd) {
  pollfd p{fd, POLLIN | POLLOUT | POLLRDHUP, 0};
  if (::poll(&p, 1, 0) < 0 || (p.revents & (POLLERR | POLLHUP | POLLNVAL | POLLIN | POLLRDHUP)))
    return State::Gone;
  if (!(p.revents & POLLOUT)) return State::Connecting;
  int error = 0;
  socklen_t length = sizeof error;
  if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0 || error != 0) return State::Gone;
  return State::Up;
}

// Into the reserve, unless the warm-up has ended meanwhile: it has closed the reserve then.
void keep(const addrinfo& address, int fd, Clock::time_point until, const std::atomic<bool>& ending) {
  WarmSocket w{};
  std::memcpy(&w.address, address.ai_addr, std::min<std::size_t>(address.ai_addrlen, sizeof w.address));
  w.fd = fd;
  w.until = until;
  Reserve& r = reserve();
  const std::lock_guard lock(r.mutex);
  if (ending)
    ::close(fd);
  else
    r.sockets.push_back(w);
}

void openConnections(const std::vector<WarmTarget>& targets, std::chrono::milliseconds lifetime,
                     const std::atomic<bool>& ending) {
  // One host and port listed twice counts once, with the connections of both.
  std::map<Text, int> wanted;
  for (const WarmTarget& t : targets) wanted[t.hostPort] += std::max(t.connections, 0);
  for (const auto& [hostPort, count] : wanted) {
    if (ending) return;
    auto [host, port] = splitHostPort(hostPort);
    if (port.empty()) port = "80";
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (::getaddrinfo(host.c_str(), port.c_str(), &hints, &found) != 0 || !found) continue;
    // The first address, the one curl tries first too.
    const addrinfo& first = *found;
    for (long i = 0; i < std::min<long>(count, kConnectionsPerHost) && !ending; ++i) {
      const int fd = ::socket(first.ai_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, first.ai_protocol);
      if (fd < 0) break;
      if (::connect(fd, first.ai_addr, first.ai_addrlen) != 0 && errno != EINPROGRESS) {
        ::close(fd);
        break;
      }
      keep(first, fd, Clock::now() + lifetime, ending);
    }
    ::freeaddrinfo(found);
  }
}

// The early fetch and its answer, handed from its thread to the one that asks.
struct EarlyPage {
  Text url;
  std::mutex mutex;
  std::condition_variable done;
  bool arrived = false;
  bool taken = false;
  Bytes bytes;
};

std::mutex earlyMutex;
std::shared_ptr<EarlyPage> early;

void fetchEarly(const std::shared_ptr<EarlyPage>& page, const std::atomic<bool>& ending) {
  Bytes bytes;
  if (auto t = prepareFetch(page->url, 0, {}, {})) {
    Batch batch(&ending);
    if (batch.start(*t)) batch.drive([](Transfer&) {});
    bytes = finishFetch(*t, {});
  }
  const std::lock_guard lock(page->mutex);
  page->bytes = std::move(bytes);
  page->arrived = true;
  page->done.notify_all();
}

}  // namespace

PathWarmUp::PathWarmUp(std::vector<WarmTarget> targets, Text earlyUrl, std::chrono::milliseconds lifetime) {
  // Both threads are left to finish on their own: a name that takes long to resolve (the
  // resolver, or curl's when cut off) must not hold up the program's end.
  if (!earlyUrl.empty()) {
    auto page = std::make_shared<EarlyPage>();
    page->url = std::move(earlyUrl);
    {
      const std::lock_guard lock(earlyMutex);
      early = page;
    }
    std::thread([ending = ending_, page] { fetchEarly(page, *ending); }).detach();
  }
  std::thread([ending = ending_, targets = std::move(targets), lifetime] {
    openConnections(targets, lifetime, *ending);
  }).detach();
}

PathWarmUp::~PathWarmUp() {
  *ending_ = true;
  {
    const std::lock_guard lock(earlyMutex);
    early.reset();
  }
  closeWarmSockets();
}

std::optional<Bytes> takeEarlyPage(const Text& url) {
  std::shared_ptr<EarlyPage> page;
  {
    const std::lock_guard lock(earlyMutex);
    if (!early || early->url != url || early->taken) return std::nullopt;
    early->taken = true;
    page = early;
  }
  for (;;) {
    {
      std::unique_lock lock(page->mutex);
      if (page->done.wait_for(lock, std::chrono::milliseconds(10), [&] { return page->arrived; }))
        return std::move(page->bytes);
    }
    if (runtime::waitsAborted()) return Bytes();
    runtime::pumpEvents();
  }
}

int takeWarmSocket(const sockaddr* address) {
  Reserve& r = reserve();
  const std::lock_guard lock(r.mutex);
  const Clock::time_point now = Clock::now();
  for (auto it = r.sockets.begin(); it != r.sockets.end();) {
    if (!sameAddress(address, it->address)) {
      ++it;
      continue;
    }
    switch (now < it->until ? stateOf(it->fd) : State::Gone) {
      case State::Connecting:
        ++it;  // not up yet, and curl would try to connect it again: it opens one of its own
        break;
      case State::Gone:
        ::close(it->fd);
        it = r.sockets.erase(it);
        break;
      case State::Up: {
        const int fd = it->fd;
        r.sockets.erase(it);
        return fd;
      }
    }
  }
  return -1;
}

void closeWarmSockets() {
  Reserve& r = reserve();
  const std::lock_guard lock(r.mutex);
  for (const WarmSocket& w : r.sockets) ::close(w.fd);
  r.sockets.clear();
}

}  // namespace mw::net
