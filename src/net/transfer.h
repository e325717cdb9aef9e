#pragma once
// libcurl plumbing shared by webRequest, fetchPage and the side-by-side download: owning
// handle types, one transfer's collected response, and the event-pumping wait loop over the
// thread's connection pool.
#include <curl/curl.h>

#include <atomic>
#include <chrono>
#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/text.h"

namespace mw::net {

// Connections the pool keeps to one host (host and port), in use or idle.
inline constexpr long kConnectionsPerHost = 12;

// Beyond these an exchange is abandoned instead of growing without bound.
inline constexpr std::size_t kBodyCap = 64u << 20;
inline constexpr std::size_t kHeaderBlockCap = 1u << 20;
// The bodies of all exchanges in flight together; the one that would pass this fails as an
// over-size body does.
inline constexpr std::size_t kBodiesInFlightCap = 128u << 20;

struct EasyDeleter {
  void operator()(CURL* h) const { curl_easy_cleanup(h); }
};
struct MultiDeleter {
  void operator()(CURLM* h) const { curl_multi_cleanup(h); }
};
struct UrlDeleter {
  void operator()(CURLU* h) const { curl_url_cleanup(h); }
};
struct SlistDeleter {
  void operator()(curl_slist* l) const { curl_slist_free_all(l); }
};
using Easy = std::unique_ptr<CURL, EasyDeleter>;
using Multi = std::unique_ptr<CURLM, MultiDeleter>;
using Url = std::unique_ptr<CURLU, UrlDeleter>;
using Slist = std::unique_ptr<curl_slist, SlistDeleter>;

// curl_global_init once per process, then a fresh easy handle (null on failure).
Easy newEasy();

// Appends one line to a header list; false when curl could not take it.
bool appendHeader(Slist& list, const std::string& line);

// The address with each blank written as %20, as a browser sends it; a raw blank would
// split the request line.
std::string escapeBlanks(std::string_view url);

// The string value of a URL part, or empty when the part is absent.
std::string urlPart(CURLU* url, CURLUPart part, unsigned flags = 0);

class Batch;

// What one exchange produced. The easy handle, the header list and the URL handle live here
// too, so everything curl points into stays alive as long as the transfer.
struct Transfer {
  Transfer() = default;
  Transfer(const Transfer&) = delete;
  Transfer& operator=(const Transfer&) = delete;
  ~Transfer();

  // curl points into these: declared before the easy handle, they outlive it.
  Slist headers;
  Url url;
  std::string requestBody;
  Easy easy;

  Bytes body;
  bool bodyTooLarge = false;
  // Raw header block of the latest response (status line first, CRLF separated, ending in
  // the empty line); each new status line starts it afresh, so after redirects it is the
  // final response's block.
  Text headerBlock;
  bool headerBlockTooLarge = false;
  bool headersComplete = false;  // the empty line ending the latest block has arrived
  bool latestHasLocation = false;

  // With a limit set, a stretch longer than it without a byte moving either way ends the
  // exchange (like a socket read or write time-out), reported as CURLE_OPERATION_TIMEDOUT.
  std::chrono::milliseconds idleLimit{0};
  std::chrono::steady_clock::time_point lastActivity;
  curl_off_t lastUploaded = 0;
  bool idleTimedOut = false;

  // A HEAD sent with a body goes out as a custom request, which curl reads like any other
  // answer; the exchange then ends with the first final header block instead, as an answer
  // to HEAD carries no body whatever length it announces.
  bool endsAtHeaders = false;
  bool endedAtHeaders = false;

  CURLcode result = CURLE_OK;
  std::size_t index = 0;  // caller's tag, e.g. position in a download list

  // Installs the write, header, progress and socket callbacks (and the options common to every
  // exchange), and starts the idle clock.
  void attachCallbacks();
  // The body, which then no longer counts towards kBodiesInFlightCap.
  Bytes takeBody();
  // Body bytes of this exchange counted towards kBodiesInFlightCap.
  std::size_t bodyCounted = 0;
  // The batch it was started in, until it has been reported done.
  Batch* batch = nullptr;
  // A connection opened ahead of time that this exchange has just taken over (see warm_up.h),
  // until curl has been told that it is connected.
  curl_socket_t warmSocket = CURL_SOCKET_BAD;
  // curl's socket-options callback (data: the transfer): tells curl whether `socket` is
  // connected already.
  static int socketOptions(void* self, curl_socket_t socket, curlsocktype purpose);
  // The request body, sent with its Content-Length; curl takes the request for a POST unless
  // a custom verb is set.
  void sendBody(std::string body);
  // A HEAD request, carrying `body` when it is not empty.
  void sendHead(std::string body);
  // True when the latest complete response is a redirect that curl was to follow when the
  // exchange stopped: the failure happened on the way to the next hop.
  bool stoppedOnRedirect(bool following) const;
};

// The exchanges of one call, run over the calling thread's connection pool: one long-lived
// multi handle, so that connections (up to kConnectionsPerHost to a host), DNS answers and TLS
// sessions outlive the call. A call's own state (easy handle, options, cookies) never does:
// the easy handles stay the caller's, and no cookie store is shared.
class Batch {
 public:
  // With `cancel`, a set flag ends every exchange as the program's end does.
  explicit Batch(const std::atomic<bool>* cancel = nullptr);
  ~Batch();  // what still runs is abandoned
  Batch(const Batch&) = delete;
  Batch& operator=(const Batch&) = delete;

  // Adds the exchange, for drive() to run; false when curl refused it.
  bool start(Transfer& t);
  // Runs the exchanges until all have been reported, pumping window events while waiting, or
  // until `until` holds. `onDone` is called for each finished exchange (with its
  // result stored), in the order they finish, and may start more. Once waits are aborted (the
  // program is ending) every exchange ends at once with CURLE_ABORTED_BY_CALLBACK.
  void drive(const std::function<void(Transfer&)>& onDone, const std::function<bool()>& until = {});

  bool empty() const { return running_.empty() && finished_.empty(); }

 private:
  friend struct Transfer;
  void remove(Transfer& t);
  void complete(Transfer& t, CURLcode result);
  void forget(Transfer& t);

  const std::atomic<bool>* cancel_;
  std::vector<Transfer*> running_;
  std::deque<Transfer*> finished_;  // not yet reported
};

// Closes the calling thread's idle connections, when none of its exchanges is running.
void closeIdleConnections();

}  // namespace mw::net
