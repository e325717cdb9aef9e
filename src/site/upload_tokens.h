#pragma once
// Who may upload to a shared collection: a file of lines "NAME TOKEN", one member a line.
#include <chrono>
#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

namespace mw::site {

class UploadTokens {
 public:
  // Reads `file` in place of what was read before; blank lines and lines starting with # are
  // skipped. A file that cannot be read, or a malformed line (a token shorter than 16
  // characters, a token or name given twice), leaves the tokens as they were: false, with the
  // reason.
  bool load(const std::string& file, std::string& error);
  // The name `token` stands for.
  std::optional<std::string> nameOf(std::string_view token) const;
  std::size_t size() const;

 private:
  mutable std::mutex mutex_;
  std::map<std::string, std::string> names_;  // by the SHA-256 of the token
};

// At most `perMinute` uploads by one name in any minute.
class UploadRate {
 public:
  explicit UploadRate(int perMinute) : perMinute_(perMinute) {}
  // Counts one upload by `name` now; false, counting nothing, when over the rate. `wait` is
  // then how long until one more is allowed.
  bool take(const std::string& name, std::chrono::seconds& wait);

 private:
  const int perMinute_;
  std::mutex mutex_;
  std::map<std::string, std::deque<std::chrono::steady_clock::time_point>> taken_;
};

// The token of an "Authorization: Bearer TOKEN" header value; empty when it holds none.
std::string_view bearerToken(std::string_view authorization);

}  // namespace mw::site
