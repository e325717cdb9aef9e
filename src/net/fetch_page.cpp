#include "net/fetch_page.h"

#include <algorithm>
#include <optional>
#include <string_view>
#include <utility>

#include "net/cookies.h"
#include "net/fetch_request.h"
#include "net/header_block.h"
#include "runtime/event_pump.h"
#include "runtime/markers.h"

namespace mw::net {
using runtime::findText;
using runtime::fromInteger;
using runtime::splitText;
using runtime::textBetween;
using runtime::toInteger;
using runtime::trimBlanks;

namespace {

constexpr std::size_t kHeaderRoom = 5000;

Text asciiLower(std::string_view s) {
  Text out(s);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = char(c + 32);
  return out;
}

Text agentFor(const Text& requestHeaders) {
  if (findText(requestHeaders, "User-Agent:", 1, true) == -1)
    return "Mozilla/4.0 (compatible; MSIE 9.0; Windows NT 6.1)";
  Text agent = trimBlanks(textBetween(requestHeaders, "User-Agent:", "\r\n"));
  if (agent.empty())
    agent = trimBlanks(std::string_view(requestHeaders).substr(requestHeaders.find(':') + 1));
  // The fallback can span lines; curl must not send a line break inside a header.
  agent.resize(std::min(agent.size(), agent.find_first_of("\r\n")));
  return agent;
}

void addDefaultLines(Text& headers, const Text& url, const Text& cookies) {
  if (headers.empty()) {
    headers = "Accept: */*";
  } else if (findText(headers, "Accept:") == -1) {
    headers += "\r\nAccept: */*";
  }
  if (findText(headers, "Referer:") == -1) headers += "\r\nReferer: " + url;
  if (findText(headers, "Accept-Language:") == -1) headers += "\r\nAccept-Language: zh-cn";
  if (findText(headers, "Content-Type:") == -1)
    headers += "\r\nContent-Type: application/x-www-form-urlencoded";
  if (!cookies.empty()) headers += "\r\nCookie: " + cookies;
}

// The block goes out line by line; what is not a header line (no name, a stray CR or LF)
// is dropped rather than sent.
bool setHeaderLines(Transfer& t, const Text& block) {
  for (std::string_view line : splitText(block, "\r\n")) {
    std::size_t colon = line.find(':');
    if (colon == 0 || colon == std::string_view::npos ||
        line.find_first_of("\r\n", 0) != std::string_view::npos || line.find('\0') != std::string_view::npos)
      continue;
    std::string_view value = line.substr(colon + 1);
    while (!value.empty() && (value.front() == ' ' || value.front() == '\t')) value.remove_prefix(1);
    // curl drops a header written "Name:" with nothing after it; "Name;" sends it empty.
    std::string sent = value.empty() ? std::string(line.substr(0, colon)) + ";" : std::string(line);
    if (!appendHeader(t.headers, sent)) return false;
  }
  return appendHeader(t.headers, "Expect:");
}

// Where fetchPage sends a request, read from the address text alone.
struct FetchTarget {
  bool secure = false;
  Text host;
  long long port = 80;
  Text path;  // from the first slash after the host, as the address spells it

  Text address() const { return (secure ? "https://" : "http://") + host + ":" + fromInteger(port) + path; }
};

// None for a scheme other than http and https (an address without one is taken as http), or
// for no usable host and port.
std::optional<FetchTarget> fetchTarget(const Text& url) {
  Text lower = asciiLower(url);
  FetchTarget target;
  target.secure = lower.starts_with("https");
  std::size_t schemeEnd = lower.find("://");
  if (schemeEnd != std::string::npos &&
      lower.find_first_not_of("abcdefghijklmnopqrstuvwxyz0123456789+.-") == schemeEnd &&
      !lower.starts_with("http://") && !lower.starts_with("https://"))
    return std::nullopt;

  if (lower.empty() || lower.back() != '/') lower += '/';
  if (!lower.starts_with("https://") && lower.find("http://") == std::string::npos) lower = "http://" + lower;
  Text hostPort = textBetween(lower, lower.starts_with("https://") ? "https://" : "http://", "/");
  // An IPv6 address keeps its brackets: the address is built again from host and port.
  const std::size_t close = hostPort.starts_with('[') ? hostPort.find(']') : std::string::npos;
  const std::size_t hostEnd = close != std::string::npos ? close + 1 : hostPort.find(':');
  target.host = hostPort.substr(0, hostEnd);
  target.port = target.secure ? 443 : 80;
  if (std::size_t colon = hostPort.rfind(':'); colon != std::string::npos && colon >= hostEnd) {
    target.port = toInteger(std::string_view(hostPort).substr(colon + 1));
    if (target.port == 0) target.port = target.secure ? 443 : 80;
  }
  if (target.host.empty() || target.port < 1 || target.port > 65535) return std::nullopt;

  int hostAt = findText(url, target.host, 1, true);
  int slash = findText(url, "/", hostAt, true);
  target.path = slash == -1 ? Text("/") : url.substr(slash - 1);
  return target;
}

// GET, or the body (postBytes when given, else postData) sent with POST or HEAD.
void setRequestBody(Transfer& t, int method, const Text& postData, const FetchPageOptions& o) {
  if (method == 0) {
    curl_easy_setopt(t.easy.get(), CURLOPT_HTTPGET, 1L);
    return;
  }
  Bytes localBody;
  Bytes& postBytes = o.postBytes ? *o.postBytes : localBody;
  if (postBytes.empty()) postBytes = postData;
  if (method == 2) {
    t.sendHead(postBytes);
  } else {
    t.sendBody(postBytes);
  }
}

}  // namespace

std::unique_ptr<Transfer> prepareFetch(const Text& url, int method, const Text& postData,
                                       const FetchPageOptions& o, const FetchLimits& limits) {
  if (method < 0 || method > 2) method = 0;
  const std::optional<FetchTarget> target = fetchTarget(url);
  if (!target) return nullptr;
  Text localHeaders;
  Text& requestHeaders = o.requestHeaders ? *o.requestHeaders : localHeaders;
  const Text agent = agentFor(requestHeaders);

  auto t = std::make_unique<Transfer>();
  t->easy = newEasy();
  t->url.reset(curl_url());
  if (!t->easy || !t->url) return nullptr;
  if (curl_url_set(t->url.get(), CURLUPART_URL, escapeBlanks(target->address()).c_str(), CURLU_PATH_AS_IS) !=
      CURLUE_OK)
    return nullptr;
  curl_url_set(t->url.get(), CURLUPART_FRAGMENT, nullptr, 0);

  CURL* h = t->easy.get();
  t->attachCallbacks();
  curl_easy_setopt(h, CURLOPT_CURLU, t->url.get());
  curl_easy_setopt(h, CURLOPT_USERAGENT, agent.c_str());
  curl_easy_setopt(h, CURLOPT_PROXY, o.proxy.c_str());
  // A slow download goes on as long as bytes keep coming; one that stalls ends. (curl's own
  // low-speed check averages over its last five seconds, so it would end a stall late.)
  curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT, limits.connectSeconds);
  curl_easy_setopt(h, CURLOPT_TIMEOUT, limits.overallSeconds);
  t->idleLimit = std::chrono::seconds(limits.stallSeconds);
  curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, o.noRedirect ? 0L : 1L);
  // A cookies variable turns the automatic cookie handling off; without one it lives for
  // this exchange only (across its redirects).
  if (!o.cookies) curl_easy_setopt(h, CURLOPT_COOKIEFILE, "");

  addDefaultLines(requestHeaders, url, o.cookies ? *o.cookies : Text());
  if (!setHeaderLines(*t, requestHeaders)) return nullptr;
  curl_easy_setopt(h, CURLOPT_HTTPHEADER, t->headers.get());
  setRequestBody(*t, method, postData, o);
  return t;
}

Bytes finishFetch(Transfer& t, const FetchPageOptions& o) {
  Text block = t.headerBlock.empty() || t.headerBlock.size() >= kHeaderRoom || t.headerBlockTooLarge
                   ? Text(kHeaderRoom, ' ')
                   : t.headerBlock;
  block = normaliseCookieHeaderNames(block);
  if (o.responseHeaders) *o.responseHeaders = block;
  Text fresh = cookiesFromHeaders(block);
  if (o.cookies) mergeCookies(*o.cookies, fresh);
  if (o.newCookies) *o.newCookies = fresh;

  if (t.bodyTooLarge || t.headerBlockTooLarge || t.result == CURLE_FILESIZE_EXCEEDED ||
      t.stoppedOnRedirect(!o.noRedirect))
    return {};
  return t.takeBody();
}

Bytes fetchWithin(const FetchLimits& limits, const Text& url, int method, const Text& postData,
                  const FetchPageOptions& options) {
  auto t = prepareFetch(url, method, postData, options, limits);
  if (!t) return {};
  Batch batch;
  if (!batch.start(*t)) return {};
  batch.drive([](Transfer&) {});
  return finishFetch(*t, options);
}

Bytes fetchPage(const Text& url, int method, const Text& postData, const FetchPageOptions& options) {
  return fetchWithin({}, url, method, postData, options);
}

}  // namespace mw::net
