#include "net/transfer.h"

#include <sys/socket.h>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <utility>
#include <vector>

#include "net/warm_up.h"
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

struct ShareDeleter {
  void operator()(CURLSH* h) const { curl_share_cleanup(h); }
};

// The thread's connection pool. Each thread has its own: curl handles are not shared across
// threads, and the program makes its requests on the window's thread.
struct Pool {
  Multi multi;
  std::unique_ptr<CURLSH, ShareDeleter> share;
  std::size_t added = 0;  // exchanges in the multi handle

  Pool() {
    globalInit();
    renew();
    share.reset(curl_share_init());
    // TLS sessions are resumed across calls; the multi handle shares connections and DNS
    // answers by itself.
    if (share) curl_share_setopt(share.get(), CURLSHOPT_SHARE, CURL_LOCK_DATA_SSL_SESSION);
  }

  // A fresh multi handle; the old one closes its connections.
  void renew() {
    multi.reset(curl_multi_init());
    if (!multi) return;
    curl_multi_setopt(multi.get(), CURLMOPT_MAX_HOST_CONNECTIONS, kConnectionsPerHost);
    // Without a size of its own the cache shrinks to four per transfer running, closing
    // the idle connections a later call would reuse.
    curl_multi_setopt(multi.get(), CURLMOPT_MAXCONNECTS, 6 * kConnectionsPerHost);
  }

  static Pool& mine() {
    thread_local Pool pool;
    return pool;
  }
};

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

// A new connection takes over one opened ahead of time to the same address, when there is one.
curl_socket_t openSocket(void* self, curlsocktype purpose, curl_sockaddr* address) {
  auto& t = *static_cast<Transfer*>(self);
  t.warmSocket = CURL_SOCKET_BAD;
  if (purpose == CURLSOCKTYPE_IPCXN && address->socktype == SOCK_STREAM) {
    const int warm = takeWarmSocket(&address->addr);
    if (warm >= 0) return t.warmSocket = warm;
  }
  return ::socket(address->family, address->socktype, address->protocol);
}

}  // namespace

int Transfer::socketOptions(void* self, curl_socket_t socket, curlsocktype) {
  auto& t = *static_cast<Transfer*>(self);
  if (socket == CURL_SOCKET_BAD || socket != t.warmSocket) return CURL_SOCKOPT_OK;
  // Told once only: after curl closes this socket, a new one may get its number.
  t.warmSocket = CURL_SOCKET_BAD;
  return CURL_SOCKOPT_ALREADY_CONNECTED;
}

Easy newEasy() {
  globalInit();
  return Easy(curl_easy_init());
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
  curl_easy_setopt(h, CURLOPT_OPENSOCKETFUNCTION, openSocket);
  curl_easy_setopt(h, CURLOPT_OPENSOCKETDATA, this);
  curl_easy_setopt(h, CURLOPT_SOCKOPTFUNCTION, socketOptions);
  curl_easy_setopt(h, CURLOPT_SOCKOPTDATA, this);
}

Transfer::~Transfer() {
  if (batch) batch->forget(*this);
  bodiesInFlight -= bodyCounted;
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

void closeIdleConnections() {
  Pool& pool = Pool::mine();
  if (pool.added == 0) pool.renew();
}

Batch::Batch(const std::atomic<bool>* cancel) : cancel_(cancel) {}

Batch::~Batch() {
  while (!running_.empty()) forget(*running_.back());
  while (!finished_.empty()) forget(*finished_.back());
}

bool Batch::start(Transfer& t) {
  Pool& pool = Pool::mine();
  if (!pool.multi) return false;
  if (pool.share) curl_easy_setopt(t.easy.get(), CURLOPT_SHARE, pool.share.get());
  if (curl_multi_add_handle(pool.multi.get(), t.easy.get()) != CURLM_OK) return false;
  ++pool.added;
  t.batch = this;
  running_.push_back(&t);
  return true;
}

void Batch::remove(Transfer& t) {
  Pool& pool = Pool::mine();
  curl_multi_remove_handle(pool.multi.get(), t.easy.get());
  --pool.added;
}

void Batch::complete(Transfer& t, CURLcode result) {
  remove(t);
  running_.erase(std::find(running_.begin(), running_.end(), &t));
  t.result = t.idleTimedOut ? CURLE_OPERATION_TIMEDOUT : t.endedAtHeaders ? CURLE_OK : result;
  finished_.push_back(&t);
}

void Batch::forget(Transfer& t) {
  if (auto it = std::find(running_.begin(), running_.end(), &t); it != running_.end()) {
    remove(t);
    running_.erase(it);
  }
  finished_.erase(std::remove(finished_.begin(), finished_.end(), &t), finished_.end());
  t.batch = nullptr;
}

void Batch::drive(const std::function<void(Transfer&)>& onDone, const std::function<bool()>& until) {
  while (!empty() && !(until && until())) {
    if (!finished_.empty()) {
      Transfer& t = *finished_.front();
      finished_.pop_front();
      t.batch = nullptr;
      onDone(t);
      continue;
    }
    if (waitsAborted() || (cancel_ && *cancel_)) {
      while (!running_.empty()) complete(*running_.front(), CURLE_ABORTED_BY_CALLBACK);
      continue;
    }
    CURLM* multi = Pool::mine().multi.get();
    int stillRunning = 0;
    curl_multi_perform(multi, &stillRunning);
    int queued = 0;
    // A finished exchange may belong to a call waiting further out (a handler run while this
    // one waits): it goes to its own batch, which reports it when that call waits again.
    while (CURLMsg* msg = curl_multi_info_read(multi, &queued)) {
      if (msg->msg != CURLMSG_DONE) continue;
      Transfer* t = nullptr;
      curl_easy_getinfo(msg->easy_handle, CURLINFO_PRIVATE, reinterpret_cast<char**>(&t));
      if (t && t->batch) t->batch->complete(*t, msg->data.result);
    }
    if (!finished_.empty()) continue;
    curl_multi_poll(multi, nullptr, 0, 10, nullptr);
    pumpEvents();
  }
}

}  // namespace mw::net
