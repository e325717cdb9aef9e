#pragma once
// cpp-httplib listens with a backlog of 5: eight connections opened at once (a row of
// pictures fetched side by side) overflow it, and one of them waits a second for its SYN to
// be retried. Our loopback servers widen it after binding.

namespace mw::net {

// Raises the backlog of this process's listening sockets (IPv4 or IPv6) on `port`.
void widenListenBacklog(int port);

}  // namespace mw::net
