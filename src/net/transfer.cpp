#include "net/transfer.h"

#include <algorithm>
#include <atomic>
#include <iterator>
#include <mutex>
#include <utility>
#include <vector>

#include "runtime/event_pump.h"

namespace mw::net {
using runtime::pumpEvents;
using runtime::waitsAborted;
namespace {

void globalInit() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

std::atomic<std::size_t> bodiesInFlight{0};

bool countInFlight(std::size_t n) {
  std::size_t held = bodiesInFlight.load();
  do {
    if (held + n > kBodiesInFlightCap) return false;
  } while (!bodiesInFlight.compare_exchange_weak(held, held + n));
  return true;
}

// Transfers started and not yet finished, so that an abort can end those of one multi handle
// (curl offers no list of them).
std::mutex runningMutex;
std::vector<Transfer*> running;

void forget(Transfer* t) {
  std::lock_guard lock(runningMutex);
  running.erase(std::remove(running.begin(), running.end(), t), running.end());
  t->runningIn = nullptr;
}

std::size_t onBody(char* data, std::size_t size, std::size_t count, void* self) {
  auto& t = *static_cast<Transfer*>(self);
  std::size_t n = size * count;
  t.lastActivity = std::chrono::steady_clock::now();
  if (t.body.size() + n > kBodyCap || !countInFlight(n)) {
    // Given up at once, so that the exchanges still running can use the room.
    t.bodyTooLarge = true;
    (void)t.takeBody();
    return 0;  // curl then stops with CURLE_WRITE_ERROR
  }
  t.bodyCounted += n;
  t.body.append(data, n);
  return n;
}

std::size_t onHeaderLine(char* data, std::size_t size, std::size_t count, void* self) {
  auto& t = *static_cast<Transfer*>(self);
  std::size_t n = size * count;
  t.lastActivity = std::chrono::steady_clock::now();
  std::string_view line(data, n);
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);

  if (line.starts_with("HTTP/")) {
    t.headerBlock.clear();
    t.headersComplete = false;
    t.latestHasLocation = false;
  } else if (t.headersComplete) {
    return n;  // trailer lines after a chunked body belong to no header block
  }
  if (t.headerBlock.size() + line.size() + 2 > kHeaderBlockCap) {
    t.headerBlockTooLarge = true;
    return 0;
  }
  t.headerBlock.append(line);
  t.headerBlock.append("\r\n");
  if (line.size() >= 9 && curl_strnequal(line.data(), "Location:", 9)) t.latestHasLocation = true;
  if (line.empty()) {
    t.headersComplete = true;
    // Cutting the exchange short (curl reports a write error) is how it ends here; an
    // interim 1xx block is followed by the real answer.
    const std::size_t code = t.headerBlock.find(' ') + 1;
    if (t.endsAtHeaders && code < t.headerBlock.size() && t.headerBlock[code] != '1') {
      t.endedAtHeaders = true;
      return 0;
    }
  }
  return n;
}

int onProgress(void* self, curl_off_t, curl_off_t, curl_off_t, curl_off_t uploaded) {
  auto& t = *static_cast<Transfer*>(self);
  auto now = std::chrono::steady_clock::now();
  if (uploaded != t.lastUploaded) {
    t.lastUploaded = uploaded;
    t.lastActivity = now;
  }
  if (t.idleLimit.count() > 0 && now - t.lastActivity > t.idleLimit) {
    t.idleTimedOut = true;
    return 1;
  }
  return waitsAborted() ? 1 : 0;
}

}  // namespace

Easy newEasy() {
  globalInit();
  return Easy(curl_easy_init());
}

Multi newMulti() {
  globalInit();
  return Multi(curl_multi_init());
}

bool appendHeader(Slist& list, const std::string& line) {
  curl_slist* grown = curl_slist_append(list.get(), line.c_str());
  if (!grown) return false;
  (void)list.release();
  list.reset(grown);
  return true;
}

std::string escapeBlanks(std::string_view url) {
  std::string out;
  out.reserve(url.size());
  for (char c : url) {
    if (c == ' ')
      out += "%20";
    else
      out += c;
  }
  return out;
}

std::string urlPart(CURLU* url, CURLUPart part, unsigned flags) {
  char* value = nullptr;
  if (curl_url_get(url, part, &value, flags) != CURLUE_OK || !value) return {};
  std::string out(value);
  curl_free(value);
  return out;
}

void Transfer::attachCallbacks() {
  CURL* h = easy.get();
  lastActivity = std::chrono::steady_clock::now();
  curl_easy_setopt(h, CURLOPT_PRIVATE, this);
  curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, onBody);
  curl_easy_setopt(h, CURLOPT_WRITEDATA, this);
  curl_easy_setopt(h, CURLOPT_HEADERFUNCTION, onHeaderLine);
  curl_easy_setopt(h, CURLOPT_HEADERDATA, this);
  curl_easy_setopt(h, CURLOPT_XFERINFOFUNCTION, onProgress);
  curl_easy_setopt(h, CURLOPT_XFERINFODATA, this);
  curl_easy_setopt(h, CURLOPT_NOPROGRESS, 0L);
  curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
  // The status text is cut from an HTTP/1.x status line; HTTP/2 has no reason phrase.
  curl_easy_setopt(h, CURLOPT_HTTP_VERSION, long(CURL_HTTP_VERSION_1_1));
  curl_easy_setopt(h, CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L);
  curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(h, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(h, CURLOPT_MAXREDIRS, 10L);
  curl_easy_setopt(h, CURLOPT_MAXFILESIZE_LARGE, curl_off_t(kBodyCap));
}

Transfer::~Transfer() {
  if (runningIn) forget(this);
  bodiesInFlight -= bodyCounted;
}

bool Transfer::start(CURLM* multi) {
  if (curl_multi_add_handle(multi, easy.get()) != CURLM_OK) return false;
  std::lock_guard lock(runningMutex);
  running.push_back(this);
  runningIn = multi;
  return true;
}

Bytes Transfer::takeBody() {
  bodiesInFlight -= bodyCounted;
  bodyCounted = 0;
  return std::move(body);
}

void Transfer::sendBody(std::string body) {
  requestBody = std::move(body);
  curl_easy_setopt(easy.get(), CURLOPT_POSTFIELDSIZE_LARGE, curl_off_t(requestBody.size()));
  curl_easy_setopt(easy.get(), CURLOPT_POSTFIELDS, requestBody.data());
}

void Transfer::sendHead(std::string body) {
  CURL* h = easy.get();
  // No body is read, so the size a HEAD answer announces may be anything.
  curl_easy_setopt(h, CURLOPT_MAXFILESIZE_LARGE, curl_off_t(0));
  if (body.empty()) {
    curl_easy_setopt(h, CURLOPT_NOBODY, 1L);
    return;
  }
  // curl's own HEAD never sends a body, whatever the order of the options.
  sendBody(std::move(body));
  curl_easy_setopt(h, CURLOPT_CUSTOMREQUEST, "HEAD");
  endsAtHeaders = true;
}

bool Transfer::stoppedOnRedirect(bool following) const {
  if (!following || endedAtHeaders || !headersComplete || !latestHasLocation) return false;
  long code = 0;
  curl_easy_getinfo(easy.get(), CURLINFO_RESPONSE_CODE, &code);
  return code == 301 || code == 302 || code == 303 || code == 307 || code == 308;
}

void drive(CURLM* multi, std::size_t active, const std::function<std::size_t(Transfer&)>& onDone) {
  auto finish = [&](Transfer& t, CURLcode result) {
    curl_multi_remove_handle(multi, t.easy.get());
    forget(&t);
    --active;
    t.result = t.idleTimedOut ? CURLE_OPERATION_TIMEDOUT : t.endedAtHeaders ? CURLE_OK : result;
    active += onDone(t);
  };
  while (active > 0) {
    if (waitsAborted()) {
      std::vector<Transfer*> mine;
      {
        std::lock_guard lock(runningMutex);
        std::copy_if(running.begin(), running.end(), std::back_inserter(mine),
                     [&](Transfer* t) { return t->runningIn == multi; });
      }
      if (mine.empty()) break;  // nothing of ours left to end
      for (Transfer* t : mine) finish(*t, CURLE_ABORTED_BY_CALLBACK);
      continue;
    }
    int stillRunning = 0;
    curl_multi_perform(multi, &stillRunning);
    int queued = 0;
    while (CURLMsg* msg = curl_multi_info_read(multi, &queued)) {
      if (msg->msg != CURLMSG_DONE) continue;
      const CURLcode result = msg->data.result;
      Transfer* t = nullptr;
      curl_easy_getinfo(msg->easy_handle, CURLINFO_PRIVATE, reinterpret_cast<char**>(&t));
      finish(*t, result);
    }
    if (active == 0) break;
    curl_multi_poll(multi, nullptr, 0, 10, nullptr);
    pumpEvents();
  }
}

}  // namespace mw::net
