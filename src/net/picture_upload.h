#pragma once
// One picture sent to a shared collection's server: POST {server}/api/pictures with the bytes
// as the body and the member's token.
#include <atomic>
#include <chrono>

#include "runtime/text.h"

namespace mw::net {

// The upload address of a server given as "host[:port]" (as the sites settings hold hosts) or
// as an http or https address, with or without a path before /api/pictures; empty when it names
// no usable server.
Text uploadAddress(const Text& server);

// A token goes into a header line: one that could break it (blanks, control bytes, non-ASCII)
// is refused.
bool usableToken(const Text& token);

struct UploadAnswer {
  long status = 0;  // the HTTP status; 0 when no answer came (unreachable, cut off, timed out)
  std::chrono::seconds retryAfter{0};  // what a Retry-After header asked for, if any
};

// Sends `picture` to `address` (from uploadAddress) on the calling thread; a set `cancel`
// ends the exchange at once.
UploadAnswer postPicture(const Text& address, const Text& token, const Bytes& picture,
                         const std::atomic<bool>* cancel = nullptr);

}  // namespace mw::net
