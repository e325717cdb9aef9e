#pragma once
// fetchPage's request rules, shared with the side-by-side download.
#include <memory>

#include "net/fetch_page.h"
#include "net/transfer.h"

namespace mw::net {

// How long a download may take: to connect, without a byte moving, and in all.
struct FetchLimits {
  long connectSeconds = 10;
  long stallSeconds = 15;
  long overallSeconds = 180;
};

// A transfer set up as fetchPage sets up its request, or null when the address gives no
// usable host and port. Writes the default header lines into *options.requestHeaders and
// fills *options.postBytes as fetchPage does.
std::unique_ptr<Transfer> prepareFetch(const Text& url, int method, const Text& postData,
                                       const FetchPageOptions& options, const FetchLimits& limits = {});

// The body of a finished transfer, with the header block, cookies and merge written into
// the outputs of `options`.
Bytes finishFetch(Transfer& t, const FetchPageOptions& options);

// fetchPage within other limits.
Bytes fetchWithin(const FetchLimits& limits, const Text& url, int method = 0, const Text& postData = {},
                  const FetchPageOptions& options = {});

}  // namespace mw::net
