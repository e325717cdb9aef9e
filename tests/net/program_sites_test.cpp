#include "net/program_sites.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "runtime/files.h"

using namespace mw::net;
using mw::runtime::pathText;

TEST(ProgramSites, OptionFileBesideProgramAndEmbeddedDefault) {
  namespace fs = std::filesystem;
  const fs::path dir = fs::temp_directory_path() / ("mw_program_sites_" + std::to_string(::getpid()));
  fs::remove_all(dir);
  fs::create_directories(dir);
  SiteSettings s;
  s.templateHost = s.searchHost = s.homeHost = s.announcementHost = s.probeHost = s.shareHost = s.groupHost =
      "sites.example:8080";
  s.probeMarker = "网络连通";
  const std::string good = (dir / "good.ini").string();
  std::ofstream(good) << formatSiteSettings(s);

  // Neither option nor file: the embedded demo site.
  const ProgramSites embedded = programSites(std::nullopt, dir.string());
  EXPECT_TRUE(embedded.ok && embedded.embedded) << embedded.error;
  EXPECT_EQ(embedded.source, "embedded demo site");

  // The option wins over the file beside the program.
  std::ofstream(dir / "MW_sites.ini") << "[sites]\ntemplate = broken/\n";
  const ProgramSites chosen = programSites(good, dir.string());
  ASSERT_TRUE(chosen.ok) << chosen.error;
  EXPECT_FALSE(chosen.embedded);
  EXPECT_EQ(chosen.settings, s);
  EXPECT_EQ(chosen.source, good);
  // A broken file beside the program stops the start instead of falling back to the demo site.
  const ProgramSites broken = programSites(std::nullopt, dir.string());
  EXPECT_FALSE(broken.ok);
  EXPECT_NE(broken.error.find((dir / "MW_sites.ini").string() + ": key \"template\""), std::string::npos)
      << broken.error;
  // The program's folder comes as a program text: a Chinese folder name still finds the file.
  const fs::path chinese = dir / "表情程序";
  fs::create_directories(chinese);
  fs::copy_file(good, chinese / "MW_sites.ini");
  const ProgramSites inChinese = programSites(std::nullopt, pathText(chinese.string()));
  ASSERT_TRUE(inChinese.ok) << inChinese.error;
  EXPECT_EQ(inChinese.source, (chinese / "MW_sites.ini").string());
  EXPECT_EQ(inChinese.settings, s);
  EXPECT_NE(programSites((dir / "absent.ini").string(), dir.string()).error.find("cannot read"),
            std::string::npos);

  fs::remove_all(dir);
}
