#pragma once
// fetchPage's request rules, shared with the side-by-side download.
#include <memory>

#include "net/fetch_page.h"
#include "net/transfer.h"

namespace mw::net {

// A transfer set up as fetchPage sets up its request, or null when the address gives no
// usable host and port. Writes the default header lines into *options.requestHeaders and
// fills *options.postBytes as fetchPage does.
std::unique_ptr<Transfer> prepareFetch(const Text& url, int method, const Text& postData,
                                       const FetchPageOptions& options);

// The body of a finished transfer, with the header block, cookies and merge written into
// the outputs of `options`.
Bytes finishFetch(Transfer& t, const FetchPageOptions& options);

}  // namespace mw::net
