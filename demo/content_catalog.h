#pragma once
// The demo site's built-in content: drawn templates and search pictures with their titles,
// compiled into the library from demo/content/.
#include <string>
#include <vector>

namespace mw::demo {

struct Area {
  int x = 0, y = 0, width = 0, height = 0;
};

struct TemplateEntry {
  int number = 0;
  std::string title;      // UTF-8
  std::string picture;    // JPEG bytes of the full template
  std::string thumbnail;  // JPEG bytes, fits a 152 x 184 box
  int width = 0, height = 0;
  std::vector<Area> captionAreas;  // one per caption line, 1 to 4
};

struct PictureEntry {
  int number = 0;
  std::string title;     // UTF-8
  std::string fileName;  // e.g. "p03.gif"
  std::string bytes;
};

struct Catalog {
  std::vector<TemplateEntry> templates;
  std::vector<PictureEntry> pictures;
  std::string error;  // set when the content could not be loaded
};

// Loaded once, on first use; safe from any thread.
const Catalog& demoCatalog();

}  // namespace mw::demo
