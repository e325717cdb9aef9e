// The search site with the user's pictures behind it.
#include <gtest/gtest.h>
#include <httplib.h>

#include <algorithm>
#include <filesystem>

#include "demo/content_catalog.h"
#include "demo/demo_site.h"
#include "library/library.h"
#include "net/encoding.h"
#include "picture/picture_writers.h"
#include "runtime/charset.h"
#include "runtime/markers.h"
#include "runtime/text.h"
#include "site/site_server.h"
#include "support/captioned_picture.h"
#include "support/temp_folder.h"

using namespace mw;
using namespace mw::runtime;

namespace {

library::LibraryOptions indexIn(const test::TempFolder& temp) {
  library::LibraryOptions options;
  options.indexFile = (temp.path() / "index.sqlite").string();
  return options;
}

demo::DemoOptions withLibrary(library::Library* lib) {
  demo::DemoOptions options;
  options.library = lib;
  return options;
}

// The library of `folder`, its index kept in `temp`, behind the demo site's search.
struct SiteWithLibrary {
  library::Library lib;
  demo::DemoSite site;
  SiteWithLibrary(const test::TempFolder& temp, const std::filesystem::path& folder)
      : lib(indexIn(temp)), site(withLibrary(&lib)) {
    EXPECT_TRUE(lib.start());
    lib.setFolders({folder.string()});
    EXPECT_TRUE(site.start());
  }
};

}  // namespace

// Library pictures come first, each served byte for byte; nothing outside the library's
// folders, hidden in them or not a picture is ever served.
TEST(LibrarySite, FindsLibraryPicturesFirstAndServesNothingOutsideItsFolders) {
  test::TempFolder temp;
  const auto pictures = temp.path() / "pics";
  std::filesystem::create_directories(pictures / "sub");
  const std::string picture = test::captionedPicture("小猫");
  test::writeBytes(pictures / "sub" / "我的猫.jpg", picture);
  test::writeBytes(temp.path() / "secret.jpg", picture);
  std::filesystem::create_symlink("../secret.jpg", pictures / "link.jpg");
  test::writeBytes(pictures / "notes.txt", "text");
  test::writeBytes(pictures / ".hidden.jpg", picture);
  std::filesystem::create_symlink("notes.txt", pictures / "in.png");
  std::filesystem::create_directories(pictures / ".private");
  test::writeBytes(pictures / ".private" / "p.jpg", picture);
  std::filesystem::create_symlink(".private/p.jpg", pictures / "out.jpg");
  SiteWithLibrary both(temp, pictures);
  library::Library& lib = both.lib;
  demo::DemoSite& site = both.site;
  ASSERT_TRUE(test::eventually([&] { return !lib.find("猫").empty(); }));

  httplib::Client client("127.0.0.1", site.port(demo::Site::Search));
  const auto page = client.Get("/plus/search.php?kwtype=1&searchtype=titlekeyword&q=" +
                               net::urlEncode("猫"_gbk, true, false));
  ASSERT_TRUE(page);
  const auto& demoPictures = demo::demoCatalog().pictures;
  const auto demoMatches = std::count_if(demoPictures.begin(), demoPictures.end(), [](const auto& p) {
    return p.title.find("猫") != std::string::npos;
  });
  EXPECT_EQ(textBetween(page->body, "<td>共找到<b>"_gbk, "</b>条记录"_gbk), std::to_string(1 + demoMatches));
  TextArray snippets;
  textBetweenAll(page->body, "title=\"", "\"; </script>", snippets, true, 0, {}, {}, false, true, 1);
  ASSERT_EQ(snippets.size(), std::size_t(1 + demoMatches));
  EXPECT_EQ(snippets[0].substr(0, snippets[0].find('"')), "我的猫.jpg"_gbk);
  const std::string address = textBetween(snippets[0], "src = \"", "\"; </script>");
  const std::string prefix = "http://127.0.0.1:" + std::to_string(site.port(demo::Site::Search));
  ASSERT_EQ(address, prefix + "/library/1/sub/%E6%88%91%E7%9A%84%E7%8C%AB.jpg");
  const auto served = client.Get(address.substr(prefix.size()));
  ASSERT_TRUE(served);
  EXPECT_EQ(served->status, 200);
  EXPECT_EQ(served->body, picture);
  EXPECT_EQ(served->get_header_value("Content-Type"), "image/png");

  for (const char* path :
       {"/library/1/../secret.jpg", "/library/1/%2E%2E/secret.jpg", "/library/1/sub/../../secret.jpg",
        "/library/1/link.jpg", "/library/1/notes.txt", "/library/1/.hidden.jpg", "/library/1//etc/passwd",
        "/library/1/in.png", "/library/1/out.jpg", "/library/2/sub/%E6%88%91%E7%9A%84%E7%8C%AB.jpg",
        "/library/favourites/sub/%E6%88%91%E7%9A%84%E7%8C%AB.jpg"}) {
    const auto refused = client.Get(path);
    ASSERT_TRUE(refused) << path;
    EXPECT_EQ(refused->status, 404) << path;
    EXPECT_NE(refused->body, picture) << path;
  }
}

// WebP, animated WebP and AVIF pictures are read for their words (an animation's first frame)
// and served as what they are.
TEST(LibrarySite, WebpAndAvifAreFoundByTheirWordsAndServedWithTheirTypes) {
  test::TempFolder temp;
  const auto pictures = temp.path() / "pics";
  std::filesystem::create_directories(pictures);
  const auto captioned = [](const char* words) {
    const std::string png = test::captionedPicture(words);
    return QImage::fromData(reinterpret_cast<const uchar*>(png.data()), int(png.size()));
  };
  const QImage blank = captioned("");
  const std::vector<std::pair<std::string, std::string>> files = {
      {"a.webp", picture::writeWebp(captioned("下班"), 90)},
      {"b.webp", picture::writeAnimatedWebp({{captioned("摸鱼"), 100}, {blank, 100}}, 0, 90)},
      {"c.avif", picture::writeAvif(captioned("晚安"), 80)},
  };
  for (const auto& [name, bytes] : files) test::writeBytes(pictures / name, bytes);
  SiteWithLibrary both(temp, pictures);
  library::Library& lib = both.lib;
  demo::DemoSite& site = both.site;

  httplib::Client client("127.0.0.1", site.port(demo::Site::Search));
  const std::vector<std::pair<const char*, const char*>> words = {
      {"下班", "image/webp"}, {"摸鱼", "image/webp"}, {"晚安", "image/avif"}};
  for (std::size_t i = 0; i < files.size(); ++i) {
    const auto matches = [&] { return lib.find(words[i].first); };
    ASSERT_TRUE(test::eventually([&] { return matches().size() == 1; })) << words[i].first;
    EXPECT_EQ(matches()[0].relative, files[i].first);
    const auto page = client.Get("/plus/search.php?kwtype=1&searchtype=titlekeyword&q=" +
                                 net::urlEncode(runtime::gbk(words[i].first), true, false));
    ASSERT_TRUE(page);
    const std::string address = textBetween(page->body, "src = \"", "\"; </script>");
    const auto served = client.Get(address.substr(address.find("/library/")));
    ASSERT_TRUE(served) << address;
    EXPECT_EQ(served->status, 200);
    EXPECT_EQ(served->body, files[i].second);
    EXPECT_EQ(served->get_header_value("Content-Type"), words[i].second);
  }
}

// Names in GBK or GB18030 bytes, as archives made on Windows unpack, are found by their letters
// and titled in them, as names in Hangul are; their addresses still lead to the files.
TEST(LibrarySite, NamesInOtherEncodingsAreFoundAndTitledInTheirLetters) {
  test::TempFolder temp;
  const std::string picture = test::captionedPicture("");
  const std::string inGbk = "我太猫.png"_gbk, inGb18030 = *convertCharset("한국猫.png", "UTF-8", "GB18030");
  for (const std::string& name : {inGbk, inGb18030, std::string("한글猫.png")})
    test::writeBytes(temp.path() / name, picture);
  SiteWithLibrary both(temp, temp.path());
  library::Library& lib = both.lib;
  demo::DemoSite& site = both.site;
  ASSERT_TRUE(test::eventually([&] { return lib.find("猫").size() == 3; }));
  httplib::Client client("127.0.0.1", site.port(demo::Site::Search));
  const auto page = client.Get("/plus/search.php?q=" + net::urlEncode("猫"_gbk, true, false));
  ASSERT_TRUE(page);
  for (const char* title : {"我太猫.png", "&#54620;&#44397;猫.png", "&#54620;&#44544;猫.png"})
    EXPECT_NE(page->body.find(gbk(std::string("title=\"") + title + "\"")), std::string::npos) << title;
  const auto served = client.Get("/library/1/" + demo::percentEncode(inGbk));
  ASSERT_TRUE(served);
  EXPECT_EQ(served->body, picture);
}
