#pragma once
// Stand-in artwork for window tests: each embedded picture name gives a real picture file of
// the right format and size, in a colour of its own so tests can tell them apart.
#include <string_view>

#include "support/test_pictures.h"

namespace mw::test {

inline std::string formPicture(std::string_view name) {
  struct Entry {
    std::string_view name;
    int w, h;
    QRgb colour;
    const char* format;
  };
  static const Entry entries[] = {
      {"skin_home.png", 663, 643, qRgb(10, 20, 30), "PNG"},
      {"skin_edit.png", 663, 643, qRgb(40, 50, 60), "PNG"},
      {"skin_favourites.png", 663, 643, qRgb(70, 80, 90), "PNG"},
      {"chrome_normal.png", 84, 41, qRgb(200, 200, 200), "PNG"},
      {"chrome_close_hot.png", 84, 41, qRgb(230, 20, 20), "PNG"},
      {"chrome_minimise_hot.png", 84, 41, qRgb(20, 20, 230), "PNG"},
      {"search_frame.png", 286, 45, qRgb(240, 240, 240), "PNG"},
      {"join_group.png", 90, 22, qRgb(0, 160, 0), "PNG"},
      {"folder_icon.jpg", 1024, 849, qRgb(250, 200, 0), "JPEG"},
      {"change_folder_icon.jpg", 1024, 1024, qRgb(0, 200, 250), "JPEG"},
      {"decoration.jpg", 440, 440, qRgb(255, 0, 255), "JPEG"},
      {"tip.jpg", 960, 851, qRgb(255, 128, 0), "JPEG"},
  };
  for (const Entry& e : entries) {
    if (e.name == name) return solidPicture(e.w, e.h, QColor(e.colour), e.format);
  }
  return {};
}

}  // namespace mw::test
