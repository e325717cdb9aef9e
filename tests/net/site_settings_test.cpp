#include "net/site_settings.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>

using mw::net::parseSiteSettings;
using mw::net::readSiteSettings;
using mw::net::SiteSettings;

namespace {

const char* const kGood =
    "; sites\n"
    "[other]\n"
    "template = wrong.example\n"
    "[Sites]\n"
    "Template = tpl.example.com\n"
    "search=search.example.com:8080\n"
    "  home =  127.0.0.1:1  \r\n"
    "announcement = forum.example.com\n"
    "probe = probe.example.com:65535\n"
    "share = pan.example.com\n"
    "group = qun.example.com\n"
    "probe_marker = 网络连通\n";

// A valid file, except that `key` holds `value`, or is left out when `value` is nullopt.
std::string sitesText(const std::string& key, const std::optional<std::string>& value) {
  std::string text = "[sites]\n";
  for (std::string k :
       {"template", "search", "home", "announcement", "probe", "share", "group", "probe_marker"}) {
    if (k != key) {
      text += k + " = " + (k == "probe_marker" ? "网络连通" : "h.example") + "\n";
    } else if (value) {
      text += k + " = " + *value + "\n";
    }
  }
  return text;
}

std::string tempPath(const std::string& name) {
  return (std::filesystem::temp_directory_path() /
          ("mw_site_settings_" + std::to_string(::getpid()) + "_" + name))
      .string();
}

}  // namespace

TEST(SiteSettings, ReadsEveryKeyCaseInsensitivelyFromTheSitesSectionOnly) {
  const auto r = parseSiteSettings(kGood, "MW_sites.ini");
  ASSERT_TRUE(r.settings) << r.error;
  EXPECT_EQ(r.settings->templateHost, "tpl.example.com");
  EXPECT_EQ(r.settings->searchHost, "search.example.com:8080");
  EXPECT_EQ(r.settings->homeHost, "127.0.0.1:1");
  EXPECT_EQ(r.settings->probeHost, "probe.example.com:65535");
  EXPECT_EQ(r.settings->groupHost, "qun.example.com");
  EXPECT_EQ(r.settings->probeMarker, "网络连通");
  EXPECT_EQ(r.settings->searchBase(), "http://search.example.com:8080");
  EXPECT_EQ(r.settings->shareBase(), "http://pan.example.com");
}

TEST(SiteSettings, EveryMissingOrMalformedValueIsNamedWithFileAndKey) {
  struct Case {
    std::string key;
    std::optional<std::string> value;
    std::string expected;
  };
  const Case cases[] = {
      {"search", std::nullopt, "\"search\" in section [sites] is missing"},
      {"home", std::nullopt, "\"home\" in section [sites] is missing"},
      {"probe_marker", std::nullopt, "\"probe_marker\" in section [sites] is missing"},
      {"home", "", "\"home\" in section [sites] holds \"\""},
      {"probe_marker", "", "\"probe_marker\" in section [sites] is empty"},
      {"template", "http://tpl.example", "without a scheme"},
      {"template", "tpl.example/face", "without a path"},
      {"search", "s.example:0", "port must be a number from 1 to 65535"},
      {"search", "s.example:65536", "port must be a number from 1 to 65535"},
      {"search", "s.example:", "port must be a number"},
      {"search", "s.example:80a", "port must be a number"},
      {"group", ":80", "host name is empty"},
      {"share", "pan example", "only letters, digits"},
      {"announcement", "a..example", "empty label"},
      {"probe_marker", "\xE7\xBD", "not valid UTF-8"},
      {"probe", "::1:39383", "in brackets"},
      {"probe", "[::1", "in brackets"},
      {"probe", "[::1]x", "in brackets"},
      {"probe", "[::g]:80", "not an IPv6 address"},
      {"probe", "[127.0.0.1]", "not an IPv6 address"},
      {"probe", "[::1]:0", "port must be a number"},
  };
  for (const Case& c : cases) {
    const auto r = parseSiteSettings(sitesText(c.key, c.value), "/opt/mw/MW_sites.ini");
    EXPECT_FALSE(r.settings) << c.key << " = " << c.value.value_or("(absent)");
    EXPECT_EQ(r.error.rfind("/opt/mw/MW_sites.ini: key \"" + c.key + "\"", 0), 0u) << r.error;
    EXPECT_NE(r.error.find(c.expected), std::string::npos) << r.error;
  }
  EXPECT_TRUE(parseSiteSettings(sitesText("", std::nullopt), "f.ini").settings);
  for (const char* v6 : {"[::1]:39383", "[fe80::1]", "[2001:db8::8:800:200c:417a]:8080"})
    EXPECT_TRUE(parseSiteSettings(sitesText("probe", v6), "f.ini").settings) << v6;
  // Without a [sites] section nothing is configured.
  EXPECT_FALSE(parseSiteSettings("template = a\n", "f.ini").settings);
}

TEST(SiteSettings, FileRoundTripAndUnreadableFiles) {
  SiteSettings s;
  s.templateHost = "127.0.0.1:4001";
  s.searchHost = "127.0.0.1:4002";
  s.homeHost = "home.example";
  s.announcementHost = "forum.example:8080";
  s.probeHost = "probe.example";
  s.shareHost = "pan.example";
  s.groupHost = "qun.example";
  s.probeMarker = "网络连通";
  const std::string path = tempPath("roundtrip.ini");
  {
    std::ofstream out(path, std::ios::binary);
    out << mw::net::formatSiteSettings(s);
  }
  const auto read = readSiteSettings(path);
  ASSERT_TRUE(read.settings) << read.error;
  EXPECT_EQ(*read.settings, s);
  std::filesystem::remove(path);

  const auto missing = readSiteSettings(path);
  EXPECT_FALSE(missing.settings);
  EXPECT_EQ(missing.error, path + ": cannot read the sites file");

  // The committed example stays a valid file.
  const auto example = readSiteSettings(std::string(MW_SOURCE_DIR) + "/demo/MW_sites.example.ini");
  ASSERT_TRUE(example.settings) << example.error;
  EXPECT_EQ(example.settings->probeHost, "127.0.0.1:18404");

  const std::string folder = tempPath("folder.ini");
  std::filesystem::create_directory(folder);
  const auto dir = readSiteSettings(folder);
  EXPECT_FALSE(dir.settings);
  EXPECT_NE(dir.error.find(folder + ": is a folder"), std::string::npos);
  std::filesystem::remove(folder);
}
