// The programs' command lines, run where no display is: help and version come out and end the
// program, a mistake ends it with status 2, and the man pages name every option.
#include "cli/command_line.h"

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>

#include "runtime/files.h"
#include "support/temp_folder.h"

namespace {

struct Ran {
  int status = -1;
  std::string out, err;
};

std::string readAll(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// The test binary lives in <build>/tests; the programs in <build>/src/shell and <build>/demo.
Ran run(const std::string& program, const std::string& args) {
  const std::string path = mw::runtime::nativePath(mw::runtime::programDirectory()) + "/../" + program;
  mw::test::TempFolder folder;
  const auto out = folder.path() / "out", err = folder.path() / "err";
  const std::string command = "env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM timeout 30 " + path +
                              " " + args + " >" + out.string() + " 2>" + err.string();
  const int status = std::system(command.c_str());
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, readAll(out), readAll(err)};
}

// The long options a help text lists.
std::set<std::string> optionsIn(const std::string& help) {
  std::set<std::string> options;
  const std::regex option("--[a-z-]+");
  for (auto it = std::sregex_iterator(help.begin(), help.end(), option); it != std::sregex_iterator(); ++it)
    options.insert(it->str());
  return options;
}

TEST(CommandLine, HelpVersionAndMistakesEndTheProgramsBeforeAnyDisplay) {
  for (const std::string program : {"memwick", "memwick-site"}) {
    SCOPED_TRACE(program);
    const std::string path = program == "memwick" ? "src/shell/memwick" : "src/site/memwick-site";
    const Ran help = run(path, "--help");
    EXPECT_EQ(help.status, 0) << help.err;
    EXPECT_EQ(help.out.substr(0, help.out.find('\n')), "Usage: " + program + " [options]");
    const Ran version = run(path, "--version");
    EXPECT_EQ(version.status, 0) << version.err;
    EXPECT_EQ(version.out, program + " 1.3\n");

    for (const char* mistake : {"--no-such-option", "stray-argument"}) {
      const Ran wrong = run(path, mistake);
      EXPECT_EQ(wrong.status, 2) << mistake;
      EXPECT_NE(wrong.err.find(program + ": "), std::string::npos) << wrong.err;
      EXPECT_NE(wrong.err.find("Usage: " + program), std::string::npos) << wrong.err;
      EXPECT_EQ(wrong.out, "");
    }

    // The man page (groff writes a dash as \-) names every option the help lists.
    std::string page = readAll(std::string(MW_SOURCE_DIR) + "/packaging/" + program + ".1.in");
    for (std::size_t at; (at = page.find("\\-")) != std::string::npos;) page.replace(at, 2, "-");
    const std::set<std::string> options = optionsIn(help.out);
    EXPECT_GE(options.size(), 3u);
    for (const std::string& option : options) EXPECT_NE(page.find(option), std::string::npos) << option;
  }
  EXPECT_EQ(run("src/shell/memwick", "--sites=").status, 2);
  EXPECT_EQ(run("src/site/memwick-site", "--latency").status, 2);
}

// A folder is taken as the bytes it is given in, UTF-8 or not (我太 in GBK, as Windows names it).
TEST(CommandLine, FoldersComeBackAsTheBytesTheyWereGivenIn) {
  mw::cli::CommandLine line("memwick-site", "1", {});
  const QCommandLineOption library(QStringLiteral("library"), {}, QStringLiteral("DIR"));
  line.parser().addOption(library);
  char program[] = "memwick-site", option[] = "--library", gbk[] = "/tmp/\xce\xd2\xcc\xab",
       utf8[] = "/tmp/我";
  char* argv[] = {program, option, gbk, option, utf8};
  ASSERT_FALSE(line.parse(5, argv));
  const QStringList folders = line.parser().values(library);
  EXPECT_EQ(mw::cli::CommandLine::localBytes(folders.value(0)), gbk);
  EXPECT_EQ(mw::cli::CommandLine::localBytes(folders.value(1)), utf8);
}

}  // namespace
