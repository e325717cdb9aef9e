#pragma once
// net: the request engines, cookie merging, encodings and the regular-expression object.
// webRequest: one synchronous HTTP(S) exchange that returns the page as GBK text.
#include <cstddef>
#include <functional>
#include <memory>

#include "runtime/text.h"

namespace mw::net {

// Everything after the first three parameters. Output pointers left null are not written;
// designated initialisers keep call sites short: webRequest(url, 0, {}, {.status = &status}).
struct WebRequestOptions {
  Text* cookies = nullptr;          // in/out: sent, then merged with the response's cookies
  Text* newCookies = nullptr;       // out: cookies set by this response, "a=1; b=2"
  Text requestHeaders{};            // extra lines, CRLF separated; they win over the defaults
  Text* responseHeaders = nullptr;  // out: final response's raw header block
  bool noRedirect = false;
  Text userName{};  // basic authentication at the server (with password)
  Text password{};
  Text proxy{};  // "host:port"; empty: direct
  Text proxyUser{};
  Text proxyPassword{};
  int timeoutSeconds = 0;            // 0 or negative: 30
  Text* redirectLocation = nullptr;  // out: value of the "Location: " line
  Text* status = nullptr;            // out: "200 OK", or a numbered failure message
  Bytes* bodyBytes = nullptr;        // out: the body exactly as received
};

// `method`: 0 GET, 1 POST, 2 HEAD, 3 PUT, anything else GET. `postData` is sent as it is,
// for any method. Returns the body as GBK text (converted from a declared charset), or empty
// text on failure, with the reason in `status`.
Text webRequest(const Text& url, int method = 0, const Text& postData = {},
                const WebRequestOptions& options = {});

// Several pages side by side, each as webRequest(url) gets it; returns when all have come,
// in the order of `urls`.
TextArray webRequests(const TextArray& urls);

// The pages as webRequests(pageUrls) gets them while the pictures download as fetchPage(url)
// would, all side by side. `onPicture(index, bytes)` runs for each picture as soon as it has
// arrived (empty bytes for a failure); returns the pages once everything has ended.
TextArray webRequestsWithPictures(const TextArray& pageUrls, const TextArray& pictureUrls,
                                  const std::function<void(std::size_t, Bytes)>& onPicture);

// Pages and pictures fetched side by side in one wait: each request leaves when it is asked for
// (also from within a callback), and each answer is handed over the moment it has arrived.
class Exchanges {
 public:
  Exchanges();
  ~Exchanges();  // what still runs is abandoned
  Exchanges(const Exchanges&) = delete;
  Exchanges& operator=(const Exchanges&) = delete;

  // webRequest(url); `onPage` gets the text.
  void page(const Text& url, std::function<void(Text)> onPage);
  // fetchPage(url); `onPicture` gets the bytes.
  void picture(const Text& url, std::function<void(Bytes)> onPicture);
  // Waits, pumping window events, until everything asked for has been handed over, or until
  // `until` holds.
  void wait(const std::function<bool()>& until = {});

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace mw::net
