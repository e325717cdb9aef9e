#pragma once
// Connections opened ahead of time. On a real network a new connection costs a round trip
// before its request can leave; opened while the window is being built, the connections are up
// when the first requests need them. They carry nothing until an exchange takes one over, and a
// connection no exchange takes is closed again.
#include <sys/socket.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <optional>
#include <vector>

#include "runtime/text.h"

namespace mw::net {

struct WarmTarget {
  Text hostPort;  // "host" or "host:port", as the sites settings hold it
  int connections = 1;
};

// How long a connection opened ahead stays worth handing over: servers close idle ones.
inline constexpr std::chrono::seconds kWarmSocketLifetime{60};

// Opens the connections to every target (at most kConnectionsPerHost to one host and port) on
// a thread of its own and, when `earlyUrl` is not empty, fetches that page as fetchPage(url)
// would, on another thread: takeEarlyPage hands its answer to the caller who asks for it. The
// connections are handed over for `lifetime` after they were opened. Destruction returns at
// once, even while a name is still being resolved: a fetch still running is cut off, the
// threads finish on their own, and the connections no exchange took are closed.
class PathWarmUp {
 public:
  PathWarmUp(std::vector<WarmTarget> targets, Text earlyUrl,
             std::chrono::milliseconds lifetime = kWarmSocketLifetime);
  ~PathWarmUp();
  PathWarmUp(const PathWarmUp&) = delete;
  PathWarmUp& operator=(const PathWarmUp&) = delete;

 private:
  // Shared with the threads, which may outlive this object.
  std::shared_ptr<std::atomic<bool>> ending_ = std::make_shared<std::atomic<bool>>(false);
};

// The answer of the early fetch of exactly `url`, waited for with window events pumped, for the
// first caller only; nothing when no such fetch was started. A wait aborted by the program's end
// gives empty bytes, as an aborted fetchPage does.
std::optional<Bytes> takeEarlyPage(const Text& url);

// A connection opened ahead of time to `address` that is up, still open and within its
// lifetime, taken out of the reserve (-1 when there is none). The reserve also closes those it
// finds closed by the peer or too old.
int takeWarmSocket(const sockaddr* address);

// Closes every connection still in the reserve.
void closeWarmSockets();

}  // namespace mw::net
