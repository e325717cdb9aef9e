#include "net/picture_upload.h"

#include <algorithm>
#include <string_view>

#include "net/transfer.h"
#include "runtime/text.h"

namespace mw::net {
namespace {

constexpr std::string_view kPicturesPath = "/api/pictures";
// A server that accepts the connection but stops answering is given up on as a dropped one is.
constexpr long kConnectSeconds = 10;
constexpr auto kStall = std::chrono::seconds(30);
constexpr long kOverallSeconds = 300;

}  // namespace

Text uploadAddress(const Text& server) {
  const Text given = runtime::trimBlanks(server);
  if (given.empty() || !std::all_of(given.begin(), given.end(), [](char c) { return c > ' ' && c < 0x7F; }))
    return {};
  // A bare host is an http one, as the sites settings take it (curl's own default is https).
  const Text full = given.find("://") == Text::npos ? "http://" + given : given;
  Url url(curl_url());
  if (!url || curl_url_set(url.get(), CURLUPART_URL, full.c_str(), 0) != CURLUE_OK) return {};
  const std::string scheme = urlPart(url.get(), CURLUPART_SCHEME);
  if ((scheme != "http" && scheme != "https") || urlPart(url.get(), CURLUPART_HOST).empty() ||
      !urlPart(url.get(), CURLUPART_QUERY).empty() || !urlPart(url.get(), CURLUPART_FRAGMENT).empty() ||
      !urlPart(url.get(), CURLUPART_USER).empty())
    return {};
  std::string path = urlPart(url.get(), CURLUPART_PATH);
  while (!path.empty() && path.back() == '/') path.pop_back();
  if (!path.ends_with(kPicturesPath)) path += kPicturesPath;
  if (curl_url_set(url.get(), CURLUPART_PATH, path.c_str(), 0) != CURLUE_OK) return {};
  return urlPart(url.get(), CURLUPART_URL);
}

bool usableToken(const Text& token) {
  return !token.empty() &&
         std::all_of(token.begin(), token.end(), [](char c) { return c > ' ' && c < 0x7F; });
}

UploadAnswer postPicture(const Text& address, const Text& token, const Bytes& picture,
                         const std::atomic<bool>* cancel) {
  UploadAnswer answer;
  if (address.empty() || !usableToken(token)) return answer;
  Transfer t;
  t.easy = newEasy();
  if (!t.easy) return answer;
  CURL* h = t.easy.get();
  t.attachCallbacks();
  // The answer is a small JSON object; anything much larger is no answer of this server.
  curl_easy_setopt(h, CURLOPT_MAXFILESIZE_LARGE, curl_off_t(1) << 20);
  curl_easy_setopt(h, CURLOPT_URL, address.c_str());
  curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT, kConnectSeconds);
  curl_easy_setopt(h, CURLOPT_TIMEOUT, kOverallSeconds);
  t.idleLimit = kStall;
  // A redirect would turn the POST into a GET and carry the token elsewhere: not followed.
  curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 0L);
  if (!appendHeader(t.headers, "Authorization: Bearer " + token) ||
      !appendHeader(t.headers, "Content-Type: application/octet-stream") ||
      !appendHeader(t.headers, "Accept: application/json") || !appendHeader(t.headers, "Expect:"))
    return answer;
  curl_easy_setopt(h, CURLOPT_HTTPHEADER, t.headers.get());
  t.sendBody(picture);
  Batch batch(cancel);
  if (!batch.start(t)) return answer;
  batch.drive([](Transfer&) {});
  // A status without the whole answer (cut off after the headers) is taken as no answer.
  if (t.result != CURLE_OK) return answer;
  curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &answer.status);
  curl_off_t retryAfter = 0;
  if (curl_easy_getinfo(h, CURLINFO_RETRY_AFTER, &retryAfter) == CURLE_OK && retryAfter > 0)
    answer.retryAfter = std::chrono::seconds(retryAfter);
  return answer;
}

}  // namespace mw::net
