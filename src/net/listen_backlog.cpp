#include "net/listen_backlog.h"

#include <netinet/in.h>
#include <sys/socket.h>

namespace mw::net {

void widenListenBacklog(int port) {
  // The server library does not expose its socket, so find it among our descriptors.
  for (int fd = 3; fd < 1024; ++fd) {
    sockaddr_storage addr{};
    socklen_t len = sizeof addr;
    int listening = 0;
    socklen_t optLen = sizeof listening;
    if (::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) != 0) continue;
    const in_port_t bound = addr.ss_family == AF_INET    ? reinterpret_cast<sockaddr_in&>(addr).sin_port
                            : addr.ss_family == AF_INET6 ? reinterpret_cast<sockaddr_in6&>(addr).sin6_port
                                                         : 0;
    if (bound == 0 || ntohs(bound) != port ||
        ::getsockopt(fd, SOL_SOCKET, SO_ACCEPTCONN, &listening, &optLen) != 0 || !listening)
      continue;
    ::listen(fd, 128);
  }
}

}  // namespace mw::net
