#include "resources/embedded_pictures.h"

#include <gtest/gtest.h>

#include "picture/gif_stream.h"
#include "picture/picture_decoder.h"

namespace mw::resources {
namespace {

using mw::picture::decodePicture;
using mw::picture::PictureFormat;

QImage still(std::string_view name) {
  const auto p = decodePicture(picture(name));
  EXPECT_TRUE(p.ok()) << name << ": " << p.error.toStdString();
  return p.ok() ? p.image.convertToFormat(QImage::Format_ARGB32) : QImage();
}

double meanLuminance(const QImage& img, const QRect& r) {
  double sum = 0;
  for (int y = r.top(); y <= r.bottom(); ++y)
    for (int x = r.left(); x <= r.right(); ++x) sum += qGray(img.pixel(x, y));
  return sum / (r.width() * r.height());
}

TEST(EmbeddedPictures, EveryPictureDecodesAtItsSizeAndFormat) {
  struct Expected {
    const char* name;
    PictureFormat format;
    QSize size;
  };
  const Expected all[] = {
      {"skin_home.png", PictureFormat::Png, {663, 643}},
      {"skin_edit.png", PictureFormat::Png, {663, 643}},
      {"skin_favourites.png", PictureFormat::Png, {663, 643}},
      {"chrome_normal.png", PictureFormat::Png, {84, 41}},
      {"chrome_close_hot.png", PictureFormat::Png, {84, 41}},
      {"chrome_minimise_hot.png", PictureFormat::Png, {84, 41}},
      {"search_frame.png", PictureFormat::Png, {286, 45}},
      {"join_group.png", PictureFormat::Png, {90, 22}},
      {"folder_icon.jpg", PictureFormat::Jpeg, {1024, 849}},
      {"change_folder_icon.jpg", PictureFormat::Jpeg, {1024, 1024}},
      {"decoration.jpg", PictureFormat::Jpeg, {440, 440}},
      {"tip.jpg", PictureFormat::Jpeg, {960, 851}},
      {"marker.gif", PictureFormat::Gif, {160, 160}},
  };
  for (const Expected& e : all) {
    const mw::Bytes bytes = picture(e.name);
    ASSERT_FALSE(bytes.empty()) << e.name;
    EXPECT_EQ(picture(e.name), bytes) << "stable bytes";
    const auto p = decodePicture(bytes);
    ASSERT_TRUE(p.ok()) << e.name << ": " << p.error.toStdString();
    EXPECT_EQ(p.format, e.format) << e.name;
    EXPECT_EQ(p.naturalSize, e.size) << e.name;
    EXPECT_EQ(p.image.size(), e.size) << e.name;
  }
  mw::picture::DecodeMemory memory;
  mw::picture::GifStream marker(std::make_shared<const mw::Bytes>(picture("marker.gif")), memory);
  mw::picture::GifStream::Frame first;
  EXPECT_TRUE(marker.next(first) && marker.more()) << "the marker is animated";
  EXPECT_TRUE(picture("").empty());
  EXPECT_TRUE(picture("skin_home").empty());
  EXPECT_TRUE(picture("SKIN_HOME.PNG").empty());
}

TEST(EmbeddedPictures, EachSkinHighlightsItsOwnPageButton) {
  const QRect buttons[] = {{120, 8, 50, 40}, {180, 8, 50, 40}, {240, 8, 50, 40}};
  const QImage skins[] = {still("skin_home.png"), still("skin_edit.png"), still("skin_favourites.png")};
  for (int s = 0; s < 3; ++s) {
    for (int b = 0; b < 3; ++b) {
      if (b == s) continue;
      EXPECT_GT(meanLuminance(skins[s], buttons[s]), meanLuminance(skins[s], buttons[b]) + 60)
          << "skin " << s << " button " << b;
    }
  }
  // Below the title strip the skins are the same picture, and white where the white labels of
  // the paging bar and the footer sit.
  for (int y = 60; y < 643; ++y)
    for (int x = 0; x < 663; ++x) {
      ASSERT_EQ(skins[0].pixel(x, y), skins[1].pixel(x, y)) << x << "," << y;
      ASSERT_EQ(skins[0].pixel(x, y), skins[2].pixel(x, y)) << x << "," << y;
    }
  for (const QRect& label : {QRect(16, 528, 144, 48), QRect(256, 536, 72, 32), QRect(16, 584, 144, 25),
                             QRect(256, 584, 160, 25), QRect(488, 584, 72, 25), QRect(16, 616, 632, 16)})
    EXPECT_EQ(meanLuminance(skins[0], label), 255.0) << label.x() << "," << label.y();
}

TEST(EmbeddedPictures, ChromeHighlightsStayInsideTheirHitZones) {
  const QImage normal = still("chrome_normal.png");
  const QRect closeZone(56, 11, 19, 24), minimiseZone(7, 11, 13, 24);
  for (auto [name, zone, redder] : {std::tuple{"chrome_close_hot.png", closeZone, true},
                                    std::tuple{"chrome_minimise_hot.png", minimiseZone, false}}) {
    const QImage hot = still(name);
    int changedInside = 0;
    for (int y = 0; y < 41; ++y)
      for (int x = 0; x < 84; ++x) {
        if (hot.pixel(x, y) == normal.pixel(x, y)) continue;
        ASSERT_TRUE(zone.contains(x, y)) << name << " changes " << x << "," << y;
        ++changedInside;
      }
    EXPECT_GT(changedInside, zone.width() * zone.height() / 2) << name;
    const QRgb centre = hot.pixel(zone.center());
    EXPECT_GT(redder ? qRed(centre) : qBlue(centre), 180) << name;
  }
  // The glyphs themselves lie inside the zones: the strip differs from its background there.
  EXPECT_GT(meanLuminance(normal, QRect(7, 20, 13, 5)), meanLuminance(normal, QRect(22, 2, 6, 6)) + 10);
  EXPECT_GT(meanLuminance(normal, QRect(60, 17, 11, 11)), meanLuminance(normal, QRect(22, 2, 6, 6)) + 10);
}

}  // namespace
}  // namespace mw::resources
