// libFuzzer harness for the copy's GIF conversion: the input as an animated WebP turned into a
// GIF, and as raw frames (a small canvas, its size and the frame times from the first bytes) for
// the encoder alone, whose every output must read back as a GIF of as many frames.
#include <QBuffer>
#include <QImageReader>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "picture/gif_encoder.h"

using namespace mw::picture;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  animationAsGif(std::string_view(reinterpret_cast<const char*>(data), size));
  if (size < 4) return 0;
  const int width = 1 + data[0] % 48, height = 1 + data[1] % 48, delayMs = data[2] * 7, loops = data[3] % 4;
  const std::size_t frameBytes = std::size_t(width) * std::size_t(height) * 4;
  std::vector<AnimationFrame> frames;
  for (std::size_t at = 4; at + frameBytes <= size && frames.size() < 8; at += frameBytes) {
    QImage image(width, height, QImage::Format_RGBA8888);
    for (int y = 0; y < height; ++y)
      std::memcpy(image.scanLine(y), data + at + std::size_t(y) * std::size_t(width) * 4,
                  std::size_t(width) * 4);
    frames.push_back({image, delayMs});
  }
  for (const GifRemap remap : {GifRemap::Own, GifRemap::Library}) {
    const mw::Bytes gif = encodeAnimatedGif(frames, loops, nullptr, remap);
    if (frames.empty() != gif.empty()) std::abort();
    QByteArray bytes(gif.data(), qsizetype(gif.size()));
    QBuffer buffer(&bytes);
    QImageReader reader(&buffer, "gif");
    std::size_t read = 0;
    while (!reader.read().isNull()) ++read;
    if (read != frames.size()) std::abort();
  }
  return 0;
}
