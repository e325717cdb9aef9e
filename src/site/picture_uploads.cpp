#include "site/picture_uploads.h"

#include <httplib.h>

#include <QSize>
#include <cstdio>

#include "picture/picture_decoder.h"
#include "site/collection.h"
#include "site/site_server.h"

namespace mw::site {
namespace {

constexpr std::string_view kUploadPath = "/api/pictures";
// The time an upload of a picture held already takes from freshening its file to its record;
// a deleted picture younger than this waits for the sweep.
constexpr std::chrono::seconds kRecordWindow{300};
// Decodes run at most this many at once: each may take up to picture::kFrameCap.
constexpr int kDecodesAtOnce = 2;
// Pictures are checked at about this size: a large JPEG is decoded scaled down.
constexpr int kCheckedSide = 256;

std::string_view extensionOf(picture::PictureFormat format) {
  switch (format) {
    case picture::PictureFormat::Png:
      return "png";
    case picture::PictureFormat::Jpeg:
      return "jpg";
    case picture::PictureFormat::Gif:
      return "gif";
    case picture::PictureFormat::Bmp:
      return "bmp";
    case picture::PictureFormat::Unknown:
      break;
  }
  return {};
}

std::string jsonError(const std::string& message) { return "{\"error\": \"" + message + "\"}"; }

// The address a picture is served at, as the client reached this server (a proxy in front
// says with X-Forwarded-Proto whether that was https).
std::string servedAddress(const httplib::Request& req, const std::string& fallback, const PictureKey& key) {
  std::string base = demo::selfAddress(req, fallback);
  if (req.get_header_value("X-Forwarded-Proto") == "https" && base.starts_with("http://"))
    base.replace(0, 4, "https");
  return base + picturePath(key.id, key.ext);
}

}  // namespace

PictureUploads::PictureUploads(PictureStore& store, Collection& collection, const UploadTokens& tokens,
                               UploadOptions options)
    : store_(store), collection_(collection), tokens_(tokens), options_(options), rate_(options.perMinute) {}

PictureUploads::~PictureUploads() {
  {
    const std::lock_guard lock(sweepMutex_);
    stopping_ = true;
  }
  sweepWake_.notify_all();
  if (sweeper_.joinable()) sweeper_.join();
}

bool PictureUploads::readsAhead(std::string_view header) const {
  const std::string_view line = header.substr(0, header.find('\r'));
  const std::string prefix = "POST " + std::string(kUploadPath);
  if (!line.starts_with(prefix) || (line.size() > prefix.size() && line[prefix.size()] != ' ')) return false;
  const std::optional<std::string_view> authorization = demo::headerField(header, "Authorization");
  return authorization && tokens_.nameOf(bearerToken(*authorization));
}

std::optional<bool> PictureUploads::recorded(const std::string& id) {
  bool reachable = true;
  const bool found = collection_.find(id, &reachable).has_value();
  if (!reachable) return std::nullopt;
  return found;
}

namespace {

void refuse(httplib::Response& res, int status, const std::string& message) {
  res.status = status;
  res.set_content(jsonError(message), "application/json");
}

}  // namespace

// Only the header carries a token: one in the address would be kept in logs and histories.
std::optional<std::string> PictureUploads::member(const httplib::Request& req, httplib::Response& res) const {
  std::optional<std::string> name = tokens_.nameOf(bearerToken(req.get_header_value("Authorization")));
  if (!name) {
    res.set_header("WWW-Authenticate", "Bearer");
    refuse(res, 401, "no valid token");
  }
  return name;
}

// Checked by the program's own decoders, within their caps: what Memwick would not show is no
// picture of the collection.
bool PictureUploads::decodes(const std::string& bytes) {
  std::unique_lock lock(decodeMutex_);
  decodeFree_.wait(lock, [this] { return decoding_ < kDecodesAtOnce; });
  ++decoding_;
  lock.unlock();
  picture::DecodeMemory memory(false, picture::kFrameCap);
  picture::DecodeTarget target;
  target.memory = &memory;
  target.shownSize = [](QSize natural) {
    return natural.scaled(kCheckedSide, kCheckedSide, Qt::KeepAspectRatio).expandedTo(QSize(1, 1));
  };
  const bool decoded = picture::decodePicture(bytes, target).ok();
  lock.lock();
  --decoding_;
  decodeFree_.notify_one();
  return decoded;
}

void PictureUploads::post(const httplib::Request& req, httplib::Response& res,
                          const httplib::ContentReader& reader, const std::string& fallbackAddress) {
  const std::optional<std::string> name = member(req, res);
  if (!name) return;
  // Told before any of the body is read.
  if (!req.has_header("Content-Length") || req.has_header("Transfer-Encoding"))
    return refuse(res, 411, "the picture's length must be given");
  const unsigned long long length =
      std::strtoull(req.get_header_value("Content-Length").c_str(), nullptr, 10);
  if (length > options_.maxBytes)
    return refuse(res, 413, "larger than " + std::to_string(options_.maxBytes >> 20) + " MiB");
  std::chrono::seconds wait{0};
  if (!rate_.take(*name, wait)) {
    res.set_header("Retry-After", std::to_string(wait.count()));
    return refuse(res, 429, "more than " + std::to_string(options_.perMinute) + " uploads a minute");
  }
  std::string bytes;
  bytes.reserve(std::size_t(length));
  bool tooLarge = false;
  const bool whole = reader([&](const char* data, std::size_t size) {
    tooLarge = bytes.size() + size > options_.maxBytes;
    if (!tooLarge) bytes.append(data, size);
    return !tooLarge;
  });
  if (tooLarge) return refuse(res, 413, "larger than declared");
  if (!whole || bytes.size() != length) return refuse(res, 400, "the picture did not come whole");
  const picture::PictureFormat format = picture::sniffPictureFormat(bytes);
  if (format == picture::PictureFormat::Unknown || !decodes(bytes))
    return refuse(res, 415, "not a picture Memwick shows");

  // The bytes are durable before their record is written: no record points at a missing file.
  const PictureKey key{pictureId(bytes), std::string(extensionOf(format))};
  std::string error;
  if (!store_.put(key, bytes, error)) {
    std::fprintf(stderr, "memwick-site: %s\n", error.c_str());
    return refuse(res, 503, "the store cannot be written");
  }
  const Collection::Added added =
      collection_.add({.id = key.id, .ext = key.ext, .uploader = *name, .title = {}}, &error);
  if (added == Collection::Added::Failed) {
    std::fprintf(stderr, "memwick-site: %s\n", error.c_str());
    return refuse(res, 503, "the collection cannot be written");
  }
  // A deletion of the same picture may have taken its file between the two steps.
  if (!store_.holds(key) && !store_.put(key, bytes, error)) {
    std::fprintf(stderr, "memwick-site: %s\n", error.c_str());
    return refuse(res, 503, "the store cannot be written");
  }
  res.status = added == Collection::Added::New ? 201 : 200;
  res.set_content(
      "{\"id\": \"" + key.id + "\", \"url\": \"" + servedAddress(req, fallbackAddress, key) + "\"}",
      "application/json");
}

void PictureUploads::remove(const httplib::Request& req, httplib::Response& res) {
  const std::optional<std::string> name = member(req, res);
  if (!name) return;
  const std::string id = req.matches[1];
  if (!isPictureId(id)) return refuse(res, 400, "not a picture id");
  bool reachable = true;
  const std::optional<PictureRecord> found = collection_.find(id, &reachable);
  if (!reachable) return refuse(res, 503, "the collection cannot be read");
  if (!found) return refuse(res, 404, "no such picture");
  switch (collection_.remove(id, *name)) {
    case Collection::Removed::Gone:
      break;
    case Collection::Removed::NotFound:
      return refuse(res, 404, "no such picture");
    case Collection::Removed::NotYours:
      return refuse(res, 403, "given by another member");
    case Collection::Removed::Failed:
      return refuse(res, 503, "the collection cannot be written");
  }
  store_.discard({id, found->ext}, kRecordWindow, [this](const std::string& i) { return recorded(i); });
  res.status = 204;
}

// Only recorded pictures, by the name their record gives.
void PictureUploads::serve(const httplib::Request& req, httplib::Response& res) {
  res.status = 404;
  const PictureKey key{req.matches[1], req.matches[2]};
  bool reachable = true;
  const std::optional<PictureRecord> found = collection_.find(key.id, &reachable);
  if (!reachable) {
    res.status = 503;
    return;
  }
  if (!found || found->ext != key.ext) return;
  std::optional<std::string> bytes = store_.read(key);
  if (!bytes) {
    std::fprintf(stderr, "memwick-site: the store has no %s.%s\n", key.id.c_str(), key.ext.c_str());
    return;
  }
  const std::string_view type = picture::mimeType(picture::sniffPictureFormat(*bytes));
  res.status = 200;
  // Named by its content: an address never serves other bytes.
  res.set_header("Cache-Control", "public, max-age=31536000, immutable");
  res.set_header("X-Content-Type-Options", "nosniff");
  res.set_content(std::move(*bytes), type.empty() ? "application/octet-stream" : std::string(type));
}

void PictureUploads::route(httplib::Server& server, const std::string& fallbackAddress) {
  using Request = httplib::Request;
  using Response = httplib::Response;
  server.Post(std::string(kUploadPath), [this, fallbackAddress](const Request& req, Response& res,
                                                                const httplib::ContentReader& reader) {
    post(req, res, reader, fallbackAddress);
  });
  server.Delete(std::string(kUploadPath) + "/(.*)",
                [this](const Request& req, Response& res) { remove(req, res); });
  server.Get(R"(/pictures/([0-9a-f]{64})\.([a-z]+))",
             [this](const Request& req, Response& res) { serve(req, res); });
}

void PictureUploads::startSweeping() {
  if (sweeper_.joinable()) return;
  const auto every = std::clamp<std::chrono::seconds>(options_.orphanAge / 4, std::chrono::seconds(1),
                                                      std::chrono::hours(1));
  sweeper_ = std::thread([this, every] {
    std::unique_lock lock(sweepMutex_);
    while (!stopping_) {
      lock.unlock();
      store_.sweep(options_.orphanAge, [this](const std::string& id) { return recorded(id); });
      lock.lock();
      sweepWake_.wait_for(lock, every, [this] { return stopping_; });
    }
  });
}

}  // namespace mw::site
