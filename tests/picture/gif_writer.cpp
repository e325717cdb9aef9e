#include "picture/gif_writer.h"

#include <memory>
#include <stdexcept>

namespace mw::test {
namespace {

int writeToString(GifFileType* gif, const GifByteType* data, int size) {
  static_cast<std::string*>(gif->UserData)->append(reinterpret_cast<const char*>(data), std::size_t(size));
  return size;
}

void check(int status, const char* what) {
  if (status == GIF_ERROR) throw std::runtime_error(what);
}

}  // namespace

std::string writeGif(int width, int height, const std::vector<unsigned>& palette,
                     const std::vector<GifTestFrame>& frames) {
  std::string out;
  int error = 0;
  GifFileType* gif = EGifOpen(&out, &writeToString, &error);
  if (!gif) throw std::runtime_error("EGifOpen");
  auto closer = [](GifFileType* g) {
    int e = 0;
    EGifCloseFile(g, &e);
  };
  std::unique_ptr<GifFileType, decltype(closer)> owner(gif, closer);

  int count = 2;
  while (count < int(palette.size())) count *= 2;
  std::vector<GifColorType> colours(std::size_t(count), GifColorType{0, 0, 0});
  for (std::size_t i = 0; i < palette.size(); ++i)
    colours[i] =
        GifColorType{GifByteType(palette[i] >> 16), GifByteType(palette[i] >> 8), GifByteType(palette[i])};
  ColorMapObject* map = GifMakeMapObject(count, colours.data());
  EGifSetGifVersion(gif, true);
  const int status = EGifPutScreenDesc(gif, width, height, 8, 0, map);
  GifFreeMapObject(map);
  check(status, "screen");

  for (const GifTestFrame& f : frames) {
    if (f.graphicControl) {
      GraphicsControlBlock gcb{};
      gcb.DisposalMode = f.disposal;
      gcb.DelayTime = f.delayCs;
      gcb.TransparentColor = f.transparent;
      GifByteType ext[4];
      const std::size_t len = EGifGCBToExtension(&gcb, ext);
      check(EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, int(len), ext), "gcb");
    }
    check(EGifPutImageDesc(gif, f.left, f.top, f.width, f.height, f.interlace, nullptr), "desc");
    // giflib writes rows in the order given; an interlaced frame expects its four passes.
    std::vector<int> rows;
    if (f.interlace) {
      const int start[] = {0, 4, 2, 1}, step[] = {8, 8, 4, 2};
      for (int p = 0; p < 4; ++p)
        for (int y = start[p]; y < f.height; y += step[p]) rows.push_back(y);
    } else {
      for (int y = 0; y < f.height; ++y) rows.push_back(y);
    }
    std::vector<unsigned char> indices = f.indices;
    for (int y : rows) check(EGifPutLine(gif, indices.data() + std::size_t(y * f.width), f.width), "line");
  }
  owner.reset();
  return out;
}

}  // namespace mw::test
