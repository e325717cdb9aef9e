#pragma once
// Raw client sockets on 127.0.0.1, for clients that misbehave on purpose.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace mw::test {

// A connection to `port` on 127.0.0.1, or -1.
inline int connectToLoopback(int port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = htons(static_cast<uint16_t>(port));
  if (fd < 0 || ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0) return fd;
  ::close(fd);
  return -1;
}

// Whether the server has closed `fd`; what it sent before is read and dropped.
inline bool closedByPeer(int fd) {
  char buffer[4096];
  pollfd p{fd, POLLIN, 0};
  while (::poll(&p, 1, 0) > 0) {
    const ssize_t n = ::recv(fd, buffer, sizeof buffer, MSG_DONTWAIT);
    if (n <= 0) return true;
  }
  return false;
}

}  // namespace mw::test
