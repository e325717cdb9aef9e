#include "site/upload_tokens.h"

#include <strings.h>

#include <algorithm>
#include <fstream>
#include <set>
#include <sstream>

#include "site/picture_store.h"

namespace mw::site {
namespace {

// Short tokens can be guessed by trying.
constexpr std::size_t kShortestToken = 16;

bool printable(std::string_view s) {
  return std::all_of(s.begin(), s.end(), [](char c) { return c > ' ' && c < 0x7F; });
}

}  // namespace

bool UploadTokens::load(const std::string& file, std::string& error) {
  std::ifstream in(file);
  if (!in) {
    error = "cannot read " + file;
    return false;
  }
  std::map<std::string, std::string> names;
  std::set<std::string> given;
  std::string line;
  for (int number = 1; std::getline(in, line); ++number) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    std::istringstream fields(line);
    std::string name, token, extra;
    fields >> name >> token >> extra;
    if (name.empty() || name.starts_with('#')) continue;
    const std::string where = file + ":" + std::to_string(number) + ": ";
    if (token.empty() || !extra.empty() || !printable(token)) {
      error = where + "not a line NAME TOKEN";
      return false;
    }
    if (token.size() < kShortestToken) {
      error = where + "the token is shorter than " + std::to_string(kShortestToken) + " characters";
      return false;
    }
    const std::string key = pictureId(token);
    if (names.contains(key) || !given.insert(name).second) {
      error = where + "a name or token given twice";
      return false;
    }
    names.emplace(key, name);
  }
  if (in.bad()) {
    error = "cannot read " + file;
    return false;
  }
  const std::lock_guard lock(mutex_);
  names_ = std::move(names);
  return true;
}

// Looked up by the token's hash, so that the time a lookup takes tells nothing of the tokens.
std::optional<std::string> UploadTokens::nameOf(std::string_view token) const {
  if (token.empty()) return std::nullopt;
  const std::string key = pictureId(token);
  const std::lock_guard lock(mutex_);
  const auto it = names_.find(key);
  if (it == names_.end()) return std::nullopt;
  return it->second;
}

std::size_t UploadTokens::size() const {
  const std::lock_guard lock(mutex_);
  return names_.size();
}

bool UploadRate::take(const std::string& name, std::chrono::seconds& wait) {
  const auto now = std::chrono::steady_clock::now();
  const std::lock_guard lock(mutex_);
  // Names that sent nothing for a minute are forgotten.
  std::erase_if(taken_,
                [&](const auto& entry) { return entry.second.back() <= now - std::chrono::minutes(1); });
  std::deque<std::chrono::steady_clock::time_point>& times = taken_[name];
  while (!times.empty() && times.front() <= now - std::chrono::minutes(1)) times.pop_front();
  if (times.size() >= std::size_t(perMinute_)) {
    wait = std::chrono::ceil<std::chrono::seconds>(times.front() + std::chrono::minutes(1) - now);
    if (times.empty()) taken_.erase(name);
    return false;
  }
  times.push_back(now);
  return true;
}

std::string_view bearerToken(std::string_view authorization) {
  constexpr std::string_view scheme = "Bearer ";
  if (authorization.size() <= scheme.size() ||
      ::strncasecmp(authorization.data(), scheme.data(), scheme.size()) != 0)
    return {};
  authorization.remove_prefix(scheme.size());
  while (!authorization.empty() && authorization.front() == ' ') authorization.remove_prefix(1);
  while (!authorization.empty() && authorization.back() == ' ') authorization.remove_suffix(1);
  return authorization;
}

}  // namespace mw::site
