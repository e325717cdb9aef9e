#include "net/listen_backlog.h"

#include <netinet/in.h>
#include <sys/socket.h>

namespace mw::net {

void widenListenBacklog(int port) {
  // The server library does not expose its socket, so find it among our descriptors.
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

}  // namespace mw::net
