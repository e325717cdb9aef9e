#pragma once
// A shared collection's uploads, on the search site's server: members POST a picture's bytes
// to /api/pictures with their token, DELETE /api/pictures/ID what they gave, and every
// picture is served at the address its upload answered with.
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>

#include "site/picture_store.h"
#include "site/upload_tokens.h"

namespace httplib {
class Server;
struct Request;
struct Response;
class ContentReader;
}  // namespace httplib

namespace mw::site {

class Collection;

struct UploadOptions {
  std::size_t maxBytes = std::size_t(16) << 20;
  int perMinute = 60;  // uploads of one token (on each node)
  // How long an upload's body may take once its header is in.
  std::chrono::milliseconds uploadTimeout{60000};
  // Pictures whose upload never reached its record go after this long.
  std::chrono::seconds orphanAge{24 * 3600};
};

class PictureUploads {
 public:
  // All three are kept by the caller for as long as this lives.
  PictureUploads(PictureStore& store, Collection& collection, const UploadTokens& tokens,
                 UploadOptions options = {});
  // Stops sweeping.
  ~PictureUploads();
  PictureUploads(const PictureUploads&) = delete;
  PictureUploads& operator=(const PictureUploads&) = delete;

  // Adds the routes to `server`; `fallbackAddress` ("http://host:port") stands in the answered
  // addresses when a request names no usable Host.
  void route(httplib::Server& server, const std::string& fallbackAddress);
  // Whether a request's body may be read ahead whole before a worker takes it: an upload by a
  // known token. Another one is answered without its body.
  bool readsAhead(std::string_view header) const;
  const UploadOptions& options() const { return options_; }

  // Removes the orphans once now, and then every while on a thread of its own.
  void startSweeping();

 private:
  // The name of the request's token; nullopt, with the response set to 401, when it has none.
  std::optional<std::string> member(const httplib::Request& req, httplib::Response& res) const;
  bool decodes(const std::string& bytes);
  void post(const httplib::Request& req, httplib::Response& res, const httplib::ContentReader& reader,
            const std::string& fallbackAddress);
  void remove(const httplib::Request& req, httplib::Response& res);
  void serve(const httplib::Request& req, httplib::Response& res);
  std::optional<bool> recorded(const std::string& id);

  PictureStore& store_;
  Collection& collection_;
  const UploadTokens& tokens_;
  const UploadOptions options_;
  UploadRate rate_;
  std::mutex decodeMutex_;
  std::condition_variable decodeFree_;
  int decoding_ = 0;
  std::mutex sweepMutex_;
  std::condition_variable sweepWake_;
  bool stopping_ = false;
  std::thread sweeper_;
};

}  // namespace mw::site
