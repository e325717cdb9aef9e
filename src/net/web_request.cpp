#include "net/web_request.h"

#include <algorithm>
#include <memory>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

#include "net/cookies.h"
#include "net/fetch_request.h"
#include "net/header_block.h"
#include "net/page_charset.h"
#include "net/transfer.h"
#include "runtime/event_pump.h"

namespace mw::net {
using runtime::findText;
using runtime::pumpEvents;
using runtime::splitText;
namespace {

enum Failure {
  kBadUrl = 701,
  kNoSession = 702,
  kTimeouts = 705,
  kCredentials = 707,
  kCookieOption = 708,
  kRedirectOption = 709,
  kHeaders = 710,
  kSend = 711,
  kNoResponse = 712,
  kRead = 713,
};

Text failureMessage(Failure f) {
  switch (f) {
    case kBadUrl:
      return "701 解析URL地址失败!"_gbk;
    case kNoSession:
      return "702 创建WinHttp会话失败!"_gbk;
    case kTimeouts:
      return "705 设置超时时间失败!"_gbk;
    case kCredentials:
      return "707 设置代理凭证失败!"_gbk;
    case kCookieOption:
      return "708 禁止自动设置Cookies失败!"_gbk;
    case kRedirectOption:
      return "709 重定向设置失败!"_gbk;
    case kHeaders:
      return "710 设置协议头失败!"_gbk;
    case kSend:
      return "711 发送请求失败!"_gbk;
    case kNoResponse:
      return "712 服务器未响应!"_gbk;
    case kRead:
      return "713 读取数据失败!"_gbk;
  }
  return {};
}

bool startsWithIgnoringCase(std::string_view s, std::string_view prefix) {
  return s.size() >= prefix.size() && curl_strnequal(s.data(), prefix.data(), prefix.size());
}

// Splits the URL into the handle curl will use. Only http and https are taken. A host
// followed directly by "?" or "#" has an empty path, which requests "/" without the query.
std::optional<Url> splitUrl(const Text& url) {
  Url u(curl_url());
  if (!u || curl_url_set(u.get(), CURLUPART_URL, escapeBlanks(url).c_str(), CURLU_PATH_AS_IS) != CURLUE_OK)
    return std::nullopt;
  std::string scheme = urlPart(u.get(), CURLUPART_SCHEME);
  if ((scheme != "http" && scheme != "https") || urlPart(u.get(), CURLUPART_HOST).empty())
    return std::nullopt;
  std::size_t authority = url.find("://");
  std::size_t pathStart = url.find_first_of("/?#", authority + 3);
  if (pathStart == std::string::npos || url[pathStart] != '/') {
    curl_url_set(u.get(), CURLUPART_PATH, "/", 0);
    curl_url_set(u.get(), CURLUPART_QUERY, nullptr, 0);
  }
  curl_url_set(u.get(), CURLUPART_FRAGMENT, nullptr, 0);
  // Credentials travel only through userName and password; curl would send any written
  // into the address.
  curl_url_set(u.get(), CURLUPART_USER, nullptr, 0);
  curl_url_set(u.get(), CURLUPART_PASSWORD, nullptr, 0);
  curl_url_set(u.get(), CURLUPART_OPTIONS, nullptr, 0);
  return u;
}

// The caller's lines, then each default whose key is absent.
Text headerBlock(const Text& requestHeaders, const Text& cookies) {
  Text h = requestHeaders.empty() ? Text() : requestHeaders + "\r\n";
  struct Default {
    std::string_view key;
    bool ignoreCase;
    std::string_view line;
  };
  static constexpr Default defaults[] = {
      {"User-Agent: ", true,
       "User-Agent: Mozilla/5.0 (compatible; MSIE 9.0; Windows NT 6.1; WOW64; Trident/5.0)"},
      {"Accept: ", true, "Accept: text/html, application/xhtml+xml, */*"},
      {"Accept-Encoding: ", true, "Accept-Encoding: gbk, GB2312"},
      {"Accept-Language: ", true, "Accept-Language: zh-cn"},
      {"Content-Type:", false, "Content-Type: application/x-www-form-urlencoded"},
      {"Cache-Control: ", true, "Cache-Control: no-cache"},
  };
  for (const auto& d : defaults) {
    if (findText(h, d.key, 1, d.ignoreCase) == -1) {
      h.append(d.line);
      h.append("\r\n");
    }
  }
  if (!cookies.empty() && findText(h, "Cookie: ", 1, true) == -1) h += "Cookie: " + cookies + "\r\n";
  return h;
}

// The block as sent: each line adds its header or replaces an earlier one of the same name
// (any case). A line with an empty value removes the header; it stays in the list with its
// empty value, so that curl leaves out a header of its own by that name too. A line that is
// not a header (no name, no colon, a stray CR or LF) rejects the whole block.
std::optional<std::vector<std::pair<Text, Text>>> effectiveHeaders(const Text& block) {
  std::vector<std::pair<Text, Text>> headers;
  for (std::string_view line : splitText(block, "\r\n")) {
    if (line.empty()) continue;
    std::size_t colon = line.find(':');
    if (colon == 0 || colon == std::string_view::npos) return std::nullopt;
    std::string_view name = line.substr(0, colon);
    for (unsigned char c : name)
      if (c <= ' ' || c >= 0x7F) return std::nullopt;
    for (unsigned char c : line)
      if (c == '\r' || c == '\n' || c == 0) return std::nullopt;
    std::string_view value = line.substr(colon + 1);
    while (!value.empty() && (value.front() == ' ' || value.front() == '\t')) value.remove_prefix(1);

    auto same = std::find_if(headers.begin(), headers.end(), [&](const auto& h) {
      return h.first.size() == name.size() && startsWithIgnoringCase(h.first, name);
    });
    if (same != headers.end()) {
      *same = {Text(name), Text(value)};
    } else {
      headers.emplace_back(Text(name), Text(value));
    }
  }
  return headers;
}

bool isConnectFailure(CURLcode code) {
  switch (code) {
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY:
    case CURLE_COULDNT_CONNECT:
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CIPHER:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SEND_ERROR:
      return true;
    default:
      return false;
  }
}

// Each verb through its own curl switch, so that curl changes a POST answered by a 301/302/303
// into a GET as browsers do.
void setMethod(Transfer& t, int method, const Text& postData) {
  CURL* h = t.easy.get();
  switch (method) {
    case 1:
      t.sendBody(postData);
      break;
    case 2:
      t.sendHead(postData);
      break;
    case 3:
      t.sendBody(postData);
      curl_easy_setopt(h, CURLOPT_CUSTOMREQUEST, "PUT");
      break;
    default:
      if (postData.empty()) {
        curl_easy_setopt(h, CURLOPT_HTTPGET, 1L);
      } else {
        t.sendBody(postData);
        curl_easy_setopt(h, CURLOPT_CUSTOMREQUEST, "GET");
      }
  }
}

// Every wait is bounded by the time-out: connecting, and any stretch without a byte moving.
// A server trickling a byte now and then is stopped by the deadline of twice that in all.
std::optional<Failure> setTimeouts(Transfer& t, const WebRequestOptions& o) {
  CURL* h = t.easy.get();
  long seconds = o.timeoutSeconds > 0 ? o.timeoutSeconds : 30;
  if (curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS, seconds * 1000) != CURLE_OK ||
      curl_easy_setopt(h, CURLOPT_TIMEOUT_MS, seconds * 2000) != CURLE_OK)
    return kTimeouts;
  t.idleLimit = std::chrono::seconds(seconds);
  return std::nullopt;
}

// Basic authentication at the server and at the proxy, each when both its name and password
// are given.
std::optional<Failure> setCredentials(CURL* h, const WebRequestOptions& o) {
  if (!o.userName.empty() && !o.password.empty()) {
    if (curl_easy_setopt(h, CURLOPT_USERNAME, o.userName.c_str()) != CURLE_OK ||
        curl_easy_setopt(h, CURLOPT_PASSWORD, o.password.c_str()) != CURLE_OK ||
        curl_easy_setopt(h, CURLOPT_HTTPAUTH, long(CURLAUTH_BASIC)) != CURLE_OK)
      return kCredentials;
  }
  if (!o.proxyUser.empty() && !o.proxyPassword.empty()) {
    if (curl_easy_setopt(h, CURLOPT_PROXYUSERNAME, o.proxyUser.c_str()) != CURLE_OK ||
        curl_easy_setopt(h, CURLOPT_PROXYPASSWORD, o.proxyPassword.c_str()) != CURLE_OK ||
        curl_easy_setopt(h, CURLOPT_PROXYAUTH, long(CURLAUTH_BASIC)) != CURLE_OK)
      return kCredentials;
  }
  return std::nullopt;
}

// The request headers: the defaults, the caller's lines and the cookies, as one list.
std::optional<Failure> setHeaders(Transfer& t, const WebRequestOptions& o) {
  auto headers = effectiveHeaders(headerBlock(o.requestHeaders, o.cookies ? *o.cookies : Text()));
  if (!headers) return kHeaders;
  bool hasExpect = false;
  for (const auto& [name, value] : *headers) {
    hasExpect = hasExpect || (name.size() == 6 && startsWithIgnoringCase(name, "Expect"));
    // "Name:" is curl's way to send no such header, its own default included.
    if (!appendHeader(t.headers, value.empty() ? name + ":" : name + ": " + value)) return kHeaders;
  }
  // curl would otherwise hold a large body back waiting for "100 Continue".
  if (!hasExpect && !appendHeader(t.headers, "Expect:")) return kHeaders;
  curl_easy_setopt(t.easy.get(), CURLOPT_HTTPHEADER, t.headers.get());
  return std::nullopt;
}

// Sets up the exchange webRequest makes; the failure, if one stops it before it starts.
std::optional<Failure> prepare(Transfer& t, const Text& url, int method, const Text& postData,
                               const WebRequestOptions& o) {
  auto target = splitUrl(url);
  if (!target) return kBadUrl;

  t.easy = newEasy();
  if (!t.easy) return kNoSession;
  CURL* h = t.easy.get();
  t.url = std::move(*target);
  t.attachCallbacks();
  curl_easy_setopt(h, CURLOPT_CURLU, t.url.get());
  // An empty proxy also keeps curl from taking one from the environment.
  curl_easy_setopt(h, CURLOPT_PROXY, o.proxy.c_str());
  setMethod(t, method, postData);
  if (auto failure = setTimeouts(t, o)) return failure;
  if (auto failure = setCredentials(h, o)) return failure;

  // With a cookies variable the exchange keeps its own cookie store (it matters across
  // redirects); without one curl neither stores nor sends cookies by itself.
  if (o.cookies && curl_easy_setopt(h, CURLOPT_COOKIEFILE, "") != CURLE_OK) return kCookieOption;
  if (curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, o.noRedirect ? 0L : 1L) != CURLE_OK) return kRedirectOption;
  return setHeaders(t, o);
}

// The page of a finished exchange, with the outputs of `o` written.
Text finish(Transfer& t, const WebRequestOptions& o) {
  Text discard;
  Text& status = o.status ? *o.status : discard;
  auto fail = [&](Failure f) {
    status = failureMessage(f);
    return Text();
  };
  CURL* h = t.easy.get();
  bool readFailed = false;
  if (t.result != CURLE_OK || t.bodyTooLarge || t.headerBlockTooLarge) {
    if (t.bodyTooLarge || t.result == CURLE_FILESIZE_EXCEEDED) return fail(kRead);
    if (t.headerBlockTooLarge || t.stoppedOnRedirect(!o.noRedirect)) return fail(kNoResponse);
    if (t.headersComplete) {
      readFailed = true;  // the bytes read so far are still returned
    } else if (isConnectFailure(t.result)) {
      return fail(kSend);
    } else {
      curl_off_t connectTime = 0;
      curl_easy_getinfo(h, CURLINFO_CONNECT_TIME_T, &connectTime);
      return fail(t.result == CURLE_OPERATION_TIMEDOUT && connectTime == 0 ? kSend : kNoResponse);
    }
  }
  if (t.headerBlock.empty()) {
    if (readFailed) status = failureMessage(kRead);
    return {};
  }

  Text block = normaliseCookieHeaderNames(t.headerBlock);
  // A broken read keeps its message: the status line alone would report a cut-off page as
  // a complete one.
  status = readFailed ? failureMessage(kRead) : statusFromHeaders(block);
  Text fresh = cookiesFromHeaders(block, o.redirectLocation);
  if (o.responseHeaders) *o.responseHeaders = block;
  if (o.cookies) mergeCookies(*o.cookies, fresh);
  if (o.newCookies) *o.newCookies = fresh;

  Text page = pageToGbk(t.body);
  if (o.bodyBytes) *o.bodyBytes = t.takeBody();
  return page;
}

void writeFailure(const WebRequestOptions& o, Failure f) {
  if (o.status) *o.status = failureMessage(f);
}

}  // namespace

Text webRequest(const Text& url, int method, const Text& postData, const WebRequestOptions& o) {
  Transfer t;
  Batch batch;
  std::optional<Failure> failure = prepare(t, url, method, postData, o);
  if (!failure && !batch.start(t)) failure = kNoSession;
  Text page;
  if (failure) {
    writeFailure(o, *failure);
  } else {
    batch.drive([](Transfer&) {});
    page = finish(t, o);
  }
  pumpEvents();
  return page;
}

TextArray webRequests(const TextArray& urls) { return webRequestsWithPictures(urls, {}, {}); }

TextArray webRequestsWithPictures(const TextArray& pageUrls, const TextArray& pictureUrls,
                                  const std::function<void(std::size_t, Bytes)>& onPicture) {
  TextArray texts(pageUrls.size());
  Exchanges exchanges;
  for (std::size_t i = 0; i < pageUrls.size(); ++i)
    exchanges.page(pageUrls[i], [&texts, i](Text text) { texts[i] = std::move(text); });
  for (std::size_t j = 0; j < pictureUrls.size(); ++j)
    exchanges.picture(pictureUrls[j], [&onPicture, j](Bytes bytes) { onPicture(j, std::move(bytes)); });
  exchanges.wait();
  pumpEvents();
  return texts;
}

struct Exchanges::Impl {
  struct Pending {
    std::unique_ptr<Transfer> transfer;
    std::function<void(Text)> onPage;  // a page; otherwise a picture
    std::function<void(Bytes)> onPicture;
  };
  Batch batch;
  std::vector<Pending> pending;

  void start(std::unique_ptr<Transfer> t, Pending p) {
    t->index = pending.size();
    p.transfer = std::move(t);
    pending.push_back(std::move(p));
  }
};

Exchanges::Exchanges() : impl_(std::make_unique<Impl>()) {}
Exchanges::~Exchanges() = default;

void Exchanges::page(const Text& url, std::function<void(Text)> onPage) {
  auto t = std::make_unique<Transfer>();
  if (prepare(*t, url, 0, {}, {}) || !impl_->batch.start(*t)) return onPage({});
  impl_->start(std::move(t), {nullptr, std::move(onPage), nullptr});
}

void Exchanges::picture(const Text& url, std::function<void(Bytes)> onPicture) {
  auto t = prepareFetch(url, 0, {}, {});
  if (!t || !impl_->batch.start(*t)) return onPicture({});
  impl_->start(std::move(t), {nullptr, nullptr, std::move(onPicture)});
}

void Exchanges::wait(const std::function<bool()>& until) {
  impl_->batch.drive(
      [this](Transfer& t) {
        // Taken out first: the callback may start more, and the transfer goes now.
        Impl::Pending done = std::move(impl_->pending[t.index]);
        if (done.onPage) {
          Text text = finish(t, {});
          done.transfer.reset();
          done.onPage(std::move(text));
        } else {
          Bytes bytes = finishFetch(t, {});
          done.transfer.reset();
          done.onPicture(std::move(bytes));
        }
      },
      until);
}

}  // namespace mw::net
