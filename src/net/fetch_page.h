#pragma once
// fetchPage: one synchronous HTTP(S) fetch returning the raw body bytes (pictures, probes).
#include "runtime/text.h"

namespace mw::net {

// Everything after the first three parameters; null outputs are not written.
struct FetchPageOptions {
  Text* cookies = nullptr;          // in/out: sent, then merged with the response's cookies
  Text* newCookies = nullptr;       // out
  Text* requestHeaders = nullptr;   // in/out: the default lines are appended to it
  Text* responseHeaders = nullptr;  // out: at most 5000 bytes, else 5000 blanks
  bool noRedirect = false;
  Bytes* postBytes = nullptr;  // in/out: body; filled from postData when empty
  Text proxy{};                // "host:port"; empty: direct
};

// `method`: 1 POST, 2 HEAD, anything else GET (which never carries a body). Every failure
// gives empty bytes, except a broken read, which gives what arrived. Connecting may take 10 s;
// the download then lasts as long as it moves (it ends after 15 s without a byte), at most
// 180 s.
Bytes fetchPage(const Text& url, int method = 0, const Text& postData = {},
                const FetchPageOptions& options = {});

}  // namespace mw::net
