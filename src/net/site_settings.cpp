#include "net/site_settings.h"

#include <arpa/inet.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "runtime/ini_file.h"

namespace mw::net {
using runtime::IniFile;
namespace {

struct KeySpec {
  const char* key;
  std::string SiteSettings::*field;
  const char* comment;
};

// The one table of keys: order here is the order of the file we write.
const KeySpec kKeys[] = {
    {"template", &SiteSettings::templateHost,
     "template site: /face/New.aspx, /face/ListWithImage.aspx, make.aspx"},
    {"search", &SiteSettings::searchHost, "search site: /plus/search.php and /a/new/"},
    {"home", &SiteSettings::homeHost, "home site page \"/\" with the version, notice and share fields"},
    {"announcement", &SiteSettings::announcementHost, "announcement thread with the read counter"},
    {"probe", &SiteSettings::probeHost, "network probe page \"/\""},
    {"share", &SiteSettings::shareHost, "cloud-drive share pages /s/<id>"},
    {"group", &SiteSettings::groupHost, "group-join pages /wpa/qunwpa?idkey=<key>"},
    {"probe_marker", &SiteSettings::probeMarker, "UTF-8 phrase the probe page carries"},
};

bool isValidUtf8(const std::string& s) {
  for (std::size_t i = 0; i < s.size();) {
    const auto c = static_cast<unsigned char>(s[i]);
    const int extra = c < 0x80 ? 0 : (c >> 5) == 0x6 ? 1 : (c >> 4) == 0xE ? 2 : (c >> 3) == 0x1E ? 3 : -1;
    if (extra < 0 || i + extra >= s.size()) return false;
    for (int k = 1; k <= extra; ++k)
      if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return false;
    i += extra + 1;
  }
  return true;
}

}  // namespace

std::pair<std::string, std::string> splitHostPort(const std::string& hostPort) {
  const std::size_t close = hostPort.starts_with('[') ? hostPort.find(']') : std::string::npos;
  if (close != std::string::npos) {
    const std::string host = hostPort.substr(1, close - 1);
    return {host, close + 1 < hostPort.size() ? hostPort.substr(close + 2) : std::string()};
  }
  const std::size_t colon = hostPort.rfind(':');
  if (colon == std::string::npos) return {hostPort, {}};
  return {hostPort.substr(0, colon), hostPort.substr(colon + 1)};
}

std::string joinHostPort(const std::string& host, int port) {
  return (host.find(':') == std::string::npos ? host : "[" + host + "]") + ":" + std::to_string(port);
}

bool isValidHostPort(const std::string& value, std::string* why) {
  auto fail = [&](const char* reason) {
    if (why) *why = reason;
    return false;
  };
  if (value.empty()) return fail("the value is empty");
  if (value.find("://") != std::string::npos) return fail("write the host without a scheme such as http://");
  if (value.find_first_of("/?#") != std::string::npos) return fail("write the host without a path");
  const auto [host, port] = splitHostPort(value);
  if (value.starts_with('[')) {
    const std::size_t close = value.find(']');
    if (close == std::string::npos || (close + 1 < value.size() && value[close + 1] != ':'))
      return fail("write an IPv6 address in brackets, as [::1]:8080");
    in6_addr address;
    if (::inet_pton(AF_INET6, host.c_str(), &address) != 1)
      return fail("the host in brackets is not an IPv6 address");
  } else {
    if (std::count(value.begin(), value.end(), ':') > 1)
      return fail("write an IPv6 address in brackets, as [::1]:8080");
    if (host.empty()) return fail("the host name is empty");
    for (unsigned char c : host)
      if (!std::isalnum(c) && c != '-' && c != '.')
        return fail("the host name may hold only letters, digits, '-' and '.'");
    if (host.front() == '.' || host.back() == '.' || host.find("..") != std::string::npos)
      return fail("the host name has an empty label");
  }
  if (value.back() == ':' || !port.empty()) {
    if (port.empty() || port.size() > 5 || port.find_first_not_of("0123456789") != std::string::npos)
      return fail("the port must be a number from 1 to 65535");
    const long n = std::stol(port);
    if (n < 1 || n > 65535) return fail("the port must be a number from 1 to 65535");
  }
  return true;
}

namespace {

// Sections and keys compare without regard to case, as in the program's other settings file.
SiteSettingsResult fromIni(const IniFile& ini, const std::string& fileName) {
  SiteSettings settings;
  for (const KeySpec& entry : kKeys) {
    const std::optional<Text> found = ini.value("sites", entry.key);
    const std::string where = fileName + ": key \"" + entry.key + "\" in section [sites]";
    if (!found) return {std::nullopt, where + " is missing"};
    const std::string& value = *found;
    std::string why;
    if (entry.field == &SiteSettings::probeMarker) {
      if (value.empty()) return {std::nullopt, where + " is empty"};
      if (!isValidUtf8(value)) return {std::nullopt, where + " is not valid UTF-8"};
    } else if (!isValidHostPort(value, &why)) {
      return {std::nullopt, where + " holds \"" + value + "\", which is not host[:port]: " + why};
    }
    settings.*entry.field = value;
  }
  return {settings, {}};
}

}  // namespace

SiteSettingsResult parseSiteSettings(const std::string& content, const std::string& fileName) {
  return fromIni(IniFile(content), fileName);
}

SiteSettingsResult readSiteSettings(const std::string& path) {
  std::error_code ec;
  if (std::filesystem::is_directory(path, ec))
    return {std::nullopt, path + ": is a folder, not a sites file"};
  // Opened as the file-system path it is (from the command line or beside the program): read as
  // a program text (GBK) it would garble every non-ASCII name.
  std::ifstream in(path, std::ios::binary);
  std::ostringstream content;
  if (in) content << in.rdbuf();
  if (!in || in.bad()) return {std::nullopt, path + ": cannot read the sites file"};
  return parseSiteSettings(content.str(), path);
}

std::string formatSiteSettings(const SiteSettings& settings) {
  std::string out = "; Hosts of the sites Memwick reads, as host[:port] without http://\n[sites]\n";
  for (const KeySpec& entry : kKeys) {
    out += "; ";
    out += entry.comment;
    out += '\n';
    out += entry.key;
    out += " = " + settings.*entry.field + '\n';
  }
  return out;
}

}  // namespace mw::net
