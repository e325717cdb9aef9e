#pragma once
// Writes small GIFs with giflib for the decoder tests: each frame is a rectangle of palette
// indices with its own graphics control.
#include <gif_lib.h>

#include <string>
#include <vector>

namespace mw::test {

struct GifTestFrame {
  int left = 0, top = 0, width = 0, height = 0;
  std::vector<unsigned char> indices;  // width * height palette indices, row by row
  int disposal = DISPOSAL_UNSPECIFIED;
  int delayCs = 0;
  int transparent = NO_TRANSPARENT_COLOR;
  bool interlace = false;
  bool graphicControl = true;  // false: no graphic-control block before the frame
};

// Palette entries as 0xRRGGBB; the count is padded to a power of two.
std::string writeGif(int width, int height, const std::vector<unsigned>& palette,
                     const std::vector<GifTestFrame>& frames);

}  // namespace mw::test
