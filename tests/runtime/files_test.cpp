#include "runtime/files.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>

#include "runtime/charset.h"
#include "runtime/clock.h"
#include "runtime/ini_file.h"

using namespace mw;
using namespace mw::runtime;
namespace fs = std::filesystem;

namespace {

class TempDir : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "mw-files-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
  }
  void TearDown() override { fs::remove_all(dir_); }
  // A path below the temporary folder as a program text.
  Text at(std::string_view name) const { return pathText(dir_.string()) + "/" + Text(name); }
  std::size_t entries() const {
    return static_cast<std::size_t>(std::distance(fs::directory_iterator(dir_), {}));
  }

  fs::path dir_;
};

}  // namespace

TEST_F(TempDir, WriteReplacesAtomicallyKeepsModeAndFollowsLinks) {
  const Text file = at("a.bin");
  const std::string bytes("x\0\xFFy", 4);
  EXPECT_FALSE(readFile(file).has_value());
  ASSERT_TRUE(writeFile(file, bytes));
  EXPECT_EQ(readFile(file).value(), bytes);
  EXPECT_TRUE(fileExists(file));

  ::chmod(nativePath(file).c_str(), 0640);
  ASSERT_TRUE(writeFile(file, ""));
  EXPECT_EQ(readFile(file).value(), "");
  struct stat st {};
  ASSERT_EQ(::stat(nativePath(file).c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);

  const Text link = at("link");
  ASSERT_EQ(::symlink(nativePath(file).c_str(), nativePath(link).c_str()), 0);
  ASSERT_TRUE(writeFile(link, "via link"));
  EXPECT_TRUE(fs::is_symlink(nativePath(link)));
  EXPECT_EQ(readFile(file).value(), "via link");

  // Failures report false and leave no temporary file behind.
  EXPECT_FALSE(writeFile(at("missing/a.bin"), "x"));
  EXPECT_FALSE(writeFile(at(""), "x"));
  EXPECT_FALSE(readFile(at("")).has_value());  // a folder is not a file
  EXPECT_EQ(entries(), 2u);
}

TEST_F(TempDir, FoldersAndGbkPathsUseUtf8Names) {
  const Text folder = at("我的收藏"_gbk + "/sub");
  EXPECT_FALSE(fileExists(folder));
  EXPECT_TRUE(createFolder(folder));
  EXPECT_TRUE(createFolder(folder));  // already there
  EXPECT_TRUE(fs::is_directory(dir_ / "我的收藏" / "sub"));
  ASSERT_TRUE(writeFile(folder + "/" + "表情.jpg"_gbk, "jpg"));
  EXPECT_TRUE(fs::exists(dir_ / "我的收藏" / "sub" / "表情.jpg"));
  // A file in the way is not a folder.
  EXPECT_FALSE(createFolder(folder + "/" + "表情.jpg"_gbk));

  const Text programDir = programDirectory();
  ASSERT_FALSE(programDir.empty());
  EXPECT_NE(programDir.back(), '/');
  EXPECT_TRUE(fs::equivalent(nativePath(programDir + "/test_runtime"), "/proc/self/exe"));
}

TEST(PathText, EveryNameComesBackAndOnlyWhatGbkSpellsExactlyIsStorable) {
  int storable = 0, lost = 0;
  for (char32_t c = 0x80; c < 0x110000; c += c < 0x10000 ? 1 : 0x3FF) {
    if (c >= 0xD800 && c < 0xE000) continue;
    const std::string name =
        "/d/" +
        convertCharset(std::string_view(reinterpret_cast<const char*>(&c), 4), "UTF-32LE", "UTF-8").value() +
        ".jpg";
    // A few private-use characters have no code (GB18030-2022 gave theirs to other characters).
    if (!convertCharset(name, "UTF-8", "GB18030", true)) {
      ++lost;
      continue;
    }
    const Text text = pathText(name);
    ASSERT_EQ(nativePath(text), name) << std::hex << std::uint32_t(c);
    const std::optional<Text> gbkText = convertCharset(name, "UTF-8", "GBK", true);
    const bool exact = gbkText && convertCharset(*gbkText, "GBK", "UTF-8", true) == name;
    ASSERT_EQ(storablePath(text), exact) << std::hex << std::uint32_t(c);
    storable += exact;
  }
  EXPECT_GT(storable, 21000);  // GBK's two-byte characters
  EXPECT_LT(lost, 100);
  EXPECT_TRUE(storablePath("/home/"_gbk + "我的收藏"_gbk));
  EXPECT_FALSE(storablePath("/tmp/\xFF\xFE"));
}

TEST(IniFile, ReadsSectionsAndKeysLikeThePrivateProfile) {
  const IniFile ini(
      "\xEF\xBB\xBF; comment\r\n[Sites]\r\n home = 127.0.0.1:80 \r\nQuoted=\" a \"\r\nempty=\r\n"
      "\r\n[other]\r\nhome=elsewhere\r\n[sites]\r\nextra=ignored\r\n");
  EXPECT_EQ(ini.value("sites", "HOME").value(), "127.0.0.1:80");
  EXPECT_EQ(ini.value("SITES", "quoted").value(), " a ");
  EXPECT_EQ(ini.value("sites", "empty").value(), "");
  EXPECT_FALSE(ini.value("sites", "extra").has_value());  // only the first section counts
  EXPECT_FALSE(ini.value("sites", "missing").has_value());
  EXPECT_FALSE(ini.value("nowhere", "home").has_value());
  EXPECT_EQ(ini.value("other", "home").value(), "elsewhere");
  EXPECT_EQ(ini.keys("sites"), (TextArray{"home", "Quoted", "empty"}));
}

TEST(IniFile, WritingKeepsEverythingElseAndRoundTripsValues) {
  IniFile ini("; keep me\r\n[a]\r\nx=1\r\n\r\n[b]\r\ny=2\r\n");
  ASSERT_TRUE(ini.setValue("A", "X", "9"));
  ASSERT_TRUE(ini.setValue("a", "z", "3"));
  ASSERT_TRUE(ini.setValue("c", "w", "4"));
  EXPECT_EQ(ini.content(), "; keep me\r\n[a]\r\nX=9\r\nz=3\r\n\r\n[b]\r\ny=2\r\n\r\n[c]\r\nw=4\r\n");

  // Values that reading would alter come back unchanged.
  for (std::string_view v : {" lead", "trail ", "\"quoted\"", "'q'", "a=b", "\"", ""}) {
    ASSERT_TRUE(ini.setValue("b", "v", v));
    EXPECT_EQ(IniFile(ini.content()).value("b", "v").value(), v);
  }
  // Nothing may add lines or sections behind the caller's back.
  EXPECT_FALSE(ini.setValue("b", "v", "x\r\n[evil]\r\nk=1"));
  EXPECT_FALSE(ini.setValue("b]", "v", "x"));
  EXPECT_FALSE(ini.setValue("b", "k=", "x"));
  EXPECT_FALSE(ini.setValue("", "v", "x"));
  EXPECT_FALSE(ini.setValue("b", " ", "x"));
  EXPECT_FALSE(IniFile(ini.content()).value("evil", "k").has_value());
}

TEST_F(TempDir, IniFilesOnDiskWithGbkNames) {
  const Text path = at("MW_scdz.ini");
  const Text section = "收藏"_gbk, key = "地址"_gbk, folder = "/home/u/我的收藏"_gbk;
  EXPECT_EQ(readIni(path, section, key, "fallback"), "fallback");
  ASSERT_TRUE(writeIni(path, section, key, folder));
  EXPECT_EQ(readFile(path).value(), "[" + section + "]\n" + key + "=" + folder + "\n");
  EXPECT_EQ(readIni(path, section, key), folder);
  ASSERT_TRUE(writeIni(path, section, key, "/tmp"));
  EXPECT_EQ(readIni(path, section, key), "/tmp");
  // An unreadable existing file is not overwritten.
  const Text folderPath = at("dir.ini");
  ASSERT_TRUE(createFolder(folderPath));
  EXPECT_FALSE(writeIni(folderPath, "s", "k", "v"));
}

TEST(Clock, SecondsMillisecondsAndLocalOffset) {
  const long long ms = epochMilliseconds();
  const long long s = epochSeconds();
  EXPECT_GT(s, 1'600'000'000);
  EXPECT_LE(ms / 1000, s);
  EXPECT_LE(s - ms / 1000, 1);

  const char* old = std::getenv("TZ");
  const std::string saved = old ? old : "";
  ::setenv("TZ", "CST-8", 1);
  ::tzset();
  EXPECT_EQ(utcOffsetSeconds(s), 28800);
  ::setenv("TZ", "UTC0", 1);
  ::tzset();
  EXPECT_EQ(utcOffsetSeconds(s), 0);
  if (old)
    ::setenv("TZ", saved.c_str(), 1);
  else
    ::unsetenv("TZ");
  ::tzset();
}
