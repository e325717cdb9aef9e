#pragma once
// The hosts of the remote sites. Paths are fixed by the program; only hosts are settings, read
// from the [sites] section of MW_sites.ini (or the file given with --sites).
#include <optional>
#include <string>
#include <utility>

namespace mw::net {

struct SiteSettings {
  // Each host is "host" or "host:port", without scheme or path; IPv6 addresses in brackets.
  std::string templateHost;
  std::string searchHost;
  std::string homeHost;
  std::string announcementHost;
  std::string probeHost;
  std::string shareHost;
  std::string groupHost;
  // UTF-8 phrase that the probe page carries when the network is reachable.
  std::string probeMarker;

  // Base addresses: "http://" + host, no trailing "/"; the program appends its fixed paths.
  std::string templateBase() const { return "http://" + templateHost; }
  std::string searchBase() const { return "http://" + searchHost; }
  std::string homeBase() const { return "http://" + homeHost; }
  std::string announcementBase() const { return "http://" + announcementHost; }
  std::string probeBase() const { return "http://" + probeHost; }
  std::string shareBase() const { return "http://" + shareHost; }
  std::string groupBase() const { return "http://" + groupHost; }

  bool operator==(const SiteSettings&) const = default;
};

struct SiteSettingsResult {
  std::optional<SiteSettings> settings;
  std::string error;  // set when settings is empty: names the file and the key at fault
};

// Parses and validates the content of a sites file; `fileName` only goes into messages.
SiteSettingsResult parseSiteSettings(const std::string& content, const std::string& fileName);

// Reads and validates a sites file; `path` is a file-system path (UTF-8), not a program text. Every key must
// be present and well formed: the program never starts with part of its sites configured.
SiteSettingsResult readSiteSettings(const std::string& path);

// The text of a sites file holding `settings`, with a comment per key.
std::string formatSiteSettings(const SiteSettings& settings);

// Whether `value` is a valid "host[:port]", an IPv6 address written in brackets ("[::1]:8080");
// on failure `why` says what is wrong.
bool isValidHostPort(const std::string& value, std::string* why = nullptr);

// A "host[:port]" split into the host, as the resolver takes it (an IPv6 address without its
// brackets), and the port ("" when none is given).
std::pair<std::string, std::string> splitHostPort(const std::string& hostPort);
// The "host:port" of `host` (a name or an address) and `port`, in brackets for IPv6.
std::string joinHostPort(const std::string& host, int port);

}  // namespace mw::net
