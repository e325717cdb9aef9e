#include "picture/gif_encoder.h"

#include <gif_lib.h>
#include <libimagequant.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <memory>

namespace mw::picture {
namespace {

constexpr int kMaxGifSide = 65535;
// The alpha from which a pixel shows: a GIF pixel is opaque or not there.
constexpr int kOpaque = 128;
// A pixel of an opaque animation that moved no further than this (summed over its channels)
// from what the canvas shows there is left as shown: lossy sources wobble by a few levels.
constexpr int kUnchanged = 6;
// The pixels a palette is made from: enough for 256 colours, few enough to be quick. The shared
// palette's sample is spread over all frames.
constexpr long long kFrameSamples = 1 << 14;
constexpr long long kSharedSamples = 1 << 16;
// The mean error (see meanError) up to which one palette serves every frame: about 5 levels a
// channel, which dithering hides, and the palette need not be made again for each frame.
constexpr double kSharedError = 250;
// The dithering error carried to a neighbour is capped, so that one pixel far from every
// palette colour does not streak across a flat area.
constexpr int kMaxError = 40;

struct LiqDeleter {
  void operator()(liq_attr* p) const { liq_attr_destroy(p); }
  void operator()(liq_image* p) const { liq_image_destroy(p); }
  void operator()(liq_result* p) const { liq_result_destroy(p); }
  void operator()(liq_histogram* p) const { liq_histogram_destroy(p); }
};
template <typename T>
using Liq = std::unique_ptr<T, LiqDeleter>;

struct Palette {
  std::array<GifColorType, 256> colours{};
  int count = 0;
  int transparent = NO_TRANSPARENT_COLOR;
};

// The frame's pixels as libimagequant and the GIF take them: alpha 0 or 255, and nothing of
// the colour of what does not show. Every `step`-th row and column.
std::vector<std::uint8_t> gifPixels(const QImage& image, int step, int& width, int& height) {
  width = (image.width() + step - 1) / step;
  height = (image.height() + step - 1) / step;
  std::vector<std::uint8_t> out(std::size_t(width) * std::size_t(height) * 4);
  std::uint8_t* o = out.data();
  for (int y = 0; y < image.height(); y += step) {
    const std::uint8_t* row = image.constScanLine(y);
    for (int x = 0; x < image.width(); x += step, o += 4) {
      const std::uint8_t* p = row + 4 * x;
      if (p[3] >= kOpaque) {
        o[0] = p[0], o[1] = p[1], o[2] = p[2], o[3] = 255;
      } else {
        o[0] = o[1] = o[2] = o[3] = 0;
      }
    }
  }
  return out;
}

int sampleStep(long long pixels, long long samples) {
  return pixels <= samples ? 1 : int(std::ceil(std::sqrt(double(pixels) / double(samples))));
}

// libimagequant's palette, in its order (its remapped pixels index it), with an entry that does
// not show when `transparent` asks for one.
Palette paletteOf(liq_result* result, bool transparent) {
  Palette palette;
  const liq_palette* liq = liq_get_palette(result);
  for (unsigned i = 0; i < liq->count && i < 256; ++i) {
    const liq_color& c = liq->entries[i];
    if (c.a < kOpaque && palette.transparent == NO_TRANSPARENT_COLOR) palette.transparent = int(i);
    palette.colours[i] = {c.r, c.g, c.b};
  }
  palette.count = int(std::min(liq->count, 256u));
  if (transparent && palette.transparent == NO_TRANSPARENT_COLOR && palette.count < 256)
    palette.transparent = palette.count++;
  return palette;
}

Liq<liq_attr> quantizer(bool transparent) {
  Liq<liq_attr> attr(liq_attr_create());
  // One entry stays free for the pixels that do not show.
  liq_set_max_colors(attr.get(), transparent ? 255 : 256);
  liq_set_speed(attr.get(), 10);
  return attr;
}

// A palette from every `step`-th row and column of `frames`; the result is null when
// libimagequant cannot make one.
Liq<liq_result> quantize(liq_attr* attr, const std::vector<const QImage*>& frames, int step) {
  Liq<liq_histogram> histogram(liq_histogram_create(attr));
  for (const QImage* frame : frames) {
    int w = 0, h = 0;
    std::vector<std::uint8_t> pixels = gifPixels(*frame, step, w, h);
    Liq<liq_image> image(liq_image_create_rgba(attr, pixels.data(), w, h, 0));
    if (!image || liq_histogram_add_image(histogram.get(), attr, image.get()) != LIQ_OK) return nullptr;
  }
  liq_result* result = nullptr;
  if (liq_histogram_quantize(histogram.get(), attr, &result) != LIQ_OK) return nullptr;
  return Liq<liq_result>(result);
}

// Nearest opaque palette colours, remembered for each colour (to 5 bits a channel) once found
// for the first colour met there. A colour not met before is looked for outwards from its green,
// in the palette sorted by green, until green alone is further than the best found. The
// transparent entry, never an answer, marks what is not yet looked for. A byte each for 5 bits
// keeps the whole in the processor's first cache: every pixel waits on a lookup, and the
// dithering hides the coarser cells.
class NearestColours {
 public:
  void use(const Palette& palette) {
    byGreen_.clear();
    for (int i = 0; i < palette.count; ++i)
      if (i != palette.transparent) {
        const GifColorType& c = palette.colours[std::size_t(i)];
        byGreen_.push_back({c.Red, c.Green, c.Blue, std::uint8_t(i)});
      }
    std::sort(byGreen_.begin(), byGreen_.end(), [](const Entry& a, const Entry& b) { return a.g < b.g; });
    unknown_ = std::uint8_t(palette.transparent);
    cache_.assign(std::size_t(1) << 18, unknown_);
  }

  std::uint8_t operator()(int r, int g, int b) {
    std::uint8_t& known = cache_[std::size_t((r >> 3) << 10 | (g >> 3) << 5 | (b >> 3))];
    if (known == unknown_) known = search(r, g, b);
    return known;
  }

 private:
  struct Entry {
    std::uint8_t r, g, b, index;
  };

  [[gnu::noinline]] std::uint8_t search(int r, int g, int b) const {
    const int n = int(byGreen_.size());
    const int start = int(std::lower_bound(byGreen_.begin(), byGreen_.end(), g,
                                           [](const Entry& e, int green) { return e.g < green; }) -
                          byGreen_.begin());
    int best = unknown_, bestDistance = 1 << 30;
    // Green counts most, blue least, as the eye sees them.
    const auto consider = [&](const Entry& e) {
      const int dr = r - e.r, dg = g - e.g, db = b - e.b;
      const int greenPart = 4 * dg * dg;
      if (greenPart >= bestDistance) return false;
      const int distance = 3 * dr * dr + greenPart + 2 * db * db;
      if (distance < bestDistance) bestDistance = distance, best = e.index;
      return true;
    };
    for (int up = start, down = start - 1; up < n || down >= 0;) {
      if (up < n && !consider(byGreen_[std::size_t(up++)])) up = n;
      if (down >= 0 && !consider(byGreen_[std::size_t(down--)])) down = -1;
    }
    return std::uint8_t(best);
  }

  std::vector<Entry> byGreen_;
  std::vector<std::uint8_t> cache_;
  std::uint8_t unknown_ = 0;
};

// How far the opaque pixels of every `step`-th row and column of `frames` are from their nearest
// palette colour: the mean of the squared distance NearestColours weighs by.
double meanError(const std::vector<const QImage*>& frames, int step, const Palette& palette,
                 NearestColours& nearest) {
  double total = 0;
  long long n = 0;
  for (const QImage* frame : frames)
    for (int y = 0; y < frame->height(); y += step) {
      const std::uint8_t* row = frame->constScanLine(y);
      for (int x = 0; x < frame->width(); x += step) {
        const std::uint8_t* p = row + 4 * x;
        if (p[3] < kOpaque) continue;
        const GifColorType& c = palette.colours[nearest(p[0], p[1], p[2])];
        const int dr = p[0] - c.Red, dg = p[1] - c.Green, db = p[2] - c.Blue;
        total += 3 * dr * dr + 4 * dg * dg + 2 * db * db;
        ++n;
      }
    }
  return n ? total / double(n) : 0;
}

// A GIF's LZW coding of a frame's pixels (each below 1 << minCodeSize), as the image data's
// sub-blocks of up to 255 bytes, each after its length. Codes are looked up in an open-addressed
// table of (prefix, pixel) keys, a word each: a quarter quicker than giflib's own coder, whose
// file the blocks are written into.
class LzwCoder {
 public:
  void code(const std::vector<std::uint8_t>& pixels, int minCodeSize, Bytes& blocks) {
    out_.clear();
    bitBuffer_ = 0, bitCount_ = 0;
    clearCode_ = 1 << minCodeSize;
    minBits_ = minCodeSize + 1;
    restart();
    put(clearCode_);
    if (!pixels.empty()) {
      int prefix = pixels[0];
      for (std::size_t i = 1; i < pixels.size(); ++i) {
        const int pixel = pixels[i];
        // Never 0 once made: codes made start past the clear code.
        const std::uint32_t key = std::uint32_t(prefix) << 8 | std::uint32_t(pixel);
        std::size_t slot = (std::uint32_t(prefix) ^ std::uint32_t(pixel) << 6) & kMask;
        int found = -1;
        for (; table_[slot]; slot = (slot + 1) & kMask)
          if (table_[slot] >> 12 == key) {
            found = int(table_[slot] & 0xfff);
            break;
          }
        if (found >= 0) {
          prefix = found;
          continue;
        }
        put(prefix);
        prefix = pixel;
        if (next_ >= kMaxCode) {
          // The table is full: start again, as the decoder will on the clear code.
          put(clearCode_);
          restart();
        } else {
          table_[slot] = key << 12 | std::uint32_t(next_++);
        }
      }
      put(prefix);
    }
    put(clearCode_ + 1);
    if (bitCount_ > 0) out_.push_back(std::uint8_t(bitBuffer_));
    blocks.clear();
    blocks.reserve(out_.size() + out_.size() / 255 + 1);
    for (std::size_t at = 0; at < out_.size(); at += 255) {
      const std::size_t n = std::min<std::size_t>(255, out_.size() - at);
      blocks.push_back(char(n));
      blocks.append(reinterpret_cast<const char*>(out_.data() + at), n);
    }
  }

 private:
  static constexpr std::size_t kMask = (std::size_t(1) << 14) - 1;
  static constexpr int kMaxCode = 4095;

  void restart() {
    std::fill(table_.begin(), table_.end(), 0u);
    next_ = clearCode_ + 2;
    bits_ = minBits_;
  }

  // Least significant bit first; a code is widened once the codes made reach its width, one
  // code after they do, as decoders expect.
  void put(int code) {
    bitBuffer_ |= std::uint64_t(code) << bitCount_;
    bitCount_ += bits_;
    while (bitCount_ >= 8) {
      out_.push_back(std::uint8_t(bitBuffer_));
      bitBuffer_ >>= 8;
      bitCount_ -= 8;
    }
    if (next_ >= 1 << bits_ && bits_ < 12) ++bits_;
  }

  std::vector<std::uint32_t> table_ = std::vector<std::uint32_t>(kMask + 1);
  std::vector<std::uint8_t> out_;
  std::uint64_t bitBuffer_ = 0;
  int bitCount_ = 0, bits_ = 0, minBits_ = 0, clearCode_ = 0, next_ = 0;
};

// The bits of a palette's indices, as its colour map is stored (padded to a power of two).
int paletteBits(const Palette& palette) { return GifBitSize(std::max(palette.count, 2)); }

// The LZW code size a palette's pixels are coded with, as giflib writes it for its colour map.
int codeSizeOf(const Palette& palette) { return std::max(2, paletteBits(palette)); }

// The pixels of `area` as indices of `palette`, Floyd–Steinberg dithered. Pixels that do not
// show, or that `keep` (one flag per canvas pixel, or null) marks as left as shown, take the
// transparent entry and neither take nor pass on any error. The errors passed to the right and
// to the row below are carried in registers, a pixel behind, and stored once.
void ditherArea(const QImage& frame, QRect area, const std::uint8_t* keep, const Palette& palette,
                NearestColours& nearest, std::vector<std::uint8_t>& out) {
  const int w = area.width();
  out.resize(std::size_t(w) * std::size_t(area.height()));
  std::uint8_t* __restrict o = out.data();
  // The errors each pixel of a row takes from the row above, in sixteenths, three channels,
  // with a pixel of room at either end; the row above's, and the one now made for the next.
  std::vector<int> taken(std::size_t(w + 2) * 3), given(taken.size());
  const std::uint8_t hidden = std::uint8_t(palette.transparent);
  const auto clampError = [](int e) { return std::clamp(e, -kMaxError, kMaxError); };
  for (int y = area.top(); y <= area.bottom(); ++y) {
    std::swap(taken, given);
    const int* __restrict above = taken.data() + 3;
    int* __restrict below = given.data() + 3;
    const std::uint8_t* p = frame.constScanLine(y) + 4 * area.left();
    const std::uint8_t* kept = keep ? keep + std::size_t(y) * std::size_t(frame.width()) + area.left() : nullptr;
    // From the pixel to the left; what the row below takes at x - 1 and at x so far.
    int rightR = 0, rightG = 0, rightB = 0;
    int leftR = 0, leftG = 0, leftB = 0, underR = 0, underG = 0, underB = 0;
    for (int x = 0; x < w; ++x, p += 4, ++o) {
      int er = 0, eg = 0, eb = 0;
      if (p[3] >= kOpaque && !(kept && kept[x])) {
        const int* e = above + 3 * x;
        const int r = std::clamp(p[0] + (e[0] + rightR) / 16, 0, 255);
        const int g = std::clamp(p[1] + (e[1] + rightG) / 16, 0, 255);
        const int b = std::clamp(p[2] + (e[2] + rightB) / 16, 0, 255);
        const std::uint8_t index = nearest(r, g, b);
        *o = index;
        const GifColorType& c = palette.colours[index];
        er = clampError(r - c.Red), eg = clampError(g - c.Green), eb = clampError(b - c.Blue);
      } else {
        *o = hidden;
      }
      int* d = below + 3 * (x - 1);
      d[0] = leftR + 3 * er, d[1] = leftG + 3 * eg, d[2] = leftB + 3 * eb;
      leftR = underR + 5 * er, leftG = underG + 5 * eg, leftB = underB + 5 * eb;
      underR = er, underG = eg, underB = eb;
      rightR = 7 * er, rightG = 7 * eg, rightB = 7 * eb;
    }
    int* d = below + 3 * (w - 1);
    d[0] = leftR, d[1] = leftG, d[2] = leftB;
    d[3] = underR, d[4] = underG, d[5] = underB;
  }
}

// What an opaque animation's frame changes on the canvas: `keep` marks the pixels left as shown,
// `shown` (the source colour each canvas pixel shows) takes the others. The bounding box of the
// changes; empty when there is none.
QRect changes(const QImage& frame, std::vector<std::uint32_t>& shown, std::vector<std::uint8_t>& keep) {
  const int w = frame.width(), h = frame.height();
  int left = w, right = -1, top = -1, bottom = -1;
  for (int y = 0; y < h; ++y) {
    const auto* __restrict row = reinterpret_cast<const std::uint32_t*>(frame.constScanLine(y));
    std::uint32_t* __restrict was = &shown[std::size_t(y) * std::size_t(w)];
    std::uint8_t* __restrict k = &keep[std::size_t(y) * std::size_t(w)];
    // Without branches, so that the compiler can take many pixels at once.
    for (int x = 0; x < w; ++x) {
      const std::uint32_t now = row[x], old = was[x];
      const auto channel = [](std::uint32_t c, int shift) { return int(c >> shift & 0xff); };
      const int moved = std::abs(channel(now, 0) - channel(old, 0)) + std::abs(channel(now, 8) - channel(old, 8)) +
                        std::abs(channel(now, 16) - channel(old, 16));
      const bool changed = moved > kUnchanged;
      k[x] = !changed;
      was[x] = changed ? now : old;
    }
    const std::uint8_t* first = std::find(k, k + w, 0);
    if (first == k + w) continue;
    const std::uint8_t* last = k + w - 1;
    while (*last) --last;
    left = std::min(left, int(first - k)), right = std::max(right, int(last - k)), bottom = y;
    if (top < 0) top = y;
  }
  return top < 0 ? QRect() : QRect(QPoint(left, top), QPoint(right, bottom));
}

class GifWriter {
 public:
  GifWriter() {
    int error = 0;
    gif_ = EGifOpen(&out_, &GifWriter::put, &error);
    if (gif_) EGifSetGifVersion(gif_, true);
  }
  GifWriter(const GifWriter&) = delete;
  GifWriter& operator=(const GifWriter&) = delete;
  ~GifWriter() {
    if (gif_) EGifCloseFile(gif_, nullptr);
  }

  bool start(QSize size, const Palette* global, int loopCount) {
    if (!gif_) return false;
    ColorMapObject* map = global ? colourMap(*global) : nullptr;
    bool ok = (!global || map) && EGifPutScreenDesc(gif_, size.width(), size.height(), 8, 0, map) == GIF_OK;
    GifFreeMapObject(map);
    // Played once: no loop block. Else NETSCAPE2.0's count, which is the plays after the first.
    if (ok && loopCount != 1) {
      const int repeats = loopCount == 0 ? 0 : std::min(loopCount - 1, 0xffff);
      const GifByteType count[3] = {1, GifByteType(repeats & 0xff), GifByteType(repeats >> 8)};
      ok = EGifPutExtensionLeader(gif_, APPLICATION_EXT_FUNC_CODE) == GIF_OK &&
           EGifPutExtensionBlock(gif_, 11, "NETSCAPE2.0") == GIF_OK &&
           EGifPutExtensionBlock(gif_, 3, count) == GIF_OK && EGifPutExtensionTrailer(gif_) == GIF_OK;
    }
    return ok;
  }

  // `local`: the frame's own palette, else the global one.
  // `blocks`: the frame's pixels as LzwCoder gives them, coded with codeSizeOf(palette).
  bool frame(QRect area, const Palette& palette, bool local, int disposal, int delayCs, const Bytes& blocks) {
    GraphicsControlBlock control{disposal, false, delayCs, palette.transparent};
    GifByteType block[4];
    EGifGCBToExtension(&control, block);
    if (EGifPutExtension(gif_, GRAPHICS_EXT_FUNC_CODE, 4, block) != GIF_OK) return false;
    ColorMapObject* map = local ? colourMap(palette) : nullptr;
    bool ok = (!local || map) && EGifPutImageDesc(gif_, area.left(), area.top(), area.width(), area.height(),
                                                  false, map) == GIF_OK;
    GifFreeMapObject(map);
    if (!ok) return false;
    // giflib has written the code size, from the palette's size as colourMap pads it.
    for (std::size_t at = 0; at < blocks.size(); at += 1 + std::size_t(std::uint8_t(blocks[at])))
      if (EGifPutCodeNext(gif_, reinterpret_cast<const GifByteType*>(blocks.data() + at)) != GIF_OK) return false;
    return EGifPutCodeNext(gif_, nullptr) == GIF_OK;
  }

  Bytes finish() {
    const bool ok = EGifCloseFile(gif_, nullptr) == GIF_OK;
    gif_ = nullptr;
    return ok ? std::move(out_) : Bytes();
  }

 private:
  static int put(GifFileType* gif, const GifByteType* data, int size) {
    static_cast<Bytes*>(gif->UserData)->append(reinterpret_cast<const char*>(data), std::size_t(size));
    return size;
  }

  // The palette padded to a power of two, as a GIF stores it.
  static ColorMapObject* colourMap(const Palette& palette) {
    return GifMakeMapObject(1 << paletteBits(palette), palette.colours.data());
  }

  Bytes out_;
  GifFileType* gif_ = nullptr;
};

// The centiseconds each frame stays, rounded on the running total so that the whole keeps its
// length.
std::vector<int> centiseconds(const std::vector<AnimationFrame>& frames) {
  std::vector<int> out;
  long long total = 0;
  int shown = 0;
  for (const AnimationFrame& f : frames) {
    total += std::max(f.delayMs, 0);
    const int until = int(std::min<long long>((total + 5) / 10, 1LL << 30));
    out.push_back(std::min(until - shown, 0xffff));
    shown = until;
  }
  return out;
}

bool anyTransparent(const std::vector<const QImage*>& frames) {
  for (const QImage* f : frames) {
    const int width = f->width(), height = f->height();  // not asked of Qt for every pixel
    for (int y = 0; y < height; ++y) {
      const std::uint8_t* row = f->constScanLine(y);
      for (int x = 0; x < width; ++x)
        if (row[4 * x + 3] < kOpaque) return true;
    }
  }
  return false;
}

Bytes fail(QString* error, const QString& why) {
  if (error) *error = why;
  return {};
}

}  // namespace

Bytes encodeAnimatedGif(const std::vector<AnimationFrame>& frames, int loopCount, QString* error,
                        GifRemap remap) {
  if (frames.empty()) return fail(error, QStringLiteral("no frames"));
  const QSize size = frames.front().image.size();
  if (size.isEmpty() || size.width() > kMaxGifSide || size.height() > kMaxGifSide)
    return fail(
        error, QStringLiteral("a canvas of %1 x %2 does not fit a GIF").arg(size.width()).arg(size.height()));
  // Converted only where a frame comes in another format.
  std::vector<QImage> converted(frames.size());
  std::vector<const QImage*> images;
  for (std::size_t i = 0; i < frames.size(); ++i) {
    const QImage& image = frames[i].image;
    if (image.size() != size) return fail(error, QStringLiteral("frames of differing sizes"));
    if (image.format() != QImage::Format_RGBA8888)
      converted[i] = image.convertToFormat(QImage::Format_RGBA8888);
    images.push_back(converted[i].isNull() ? &image : &converted[i]);
  }
  const bool transparent = anyTransparent(images);
  const std::vector<int> delays = centiseconds(frames);
  const long long canvasPixels = (long long)size.width() * size.height();
  GifWriter writer;

  if (remap == GifRemap::Library) {
    // Each whole frame quantised and remapped by libimagequant, cleared before the next.
    const Liq<liq_attr> attr = quantizer(transparent);
    liq_set_speed(attr.get(), 4);  // its default
    if (!writer.start(size, nullptr, loopCount)) return fail(error, QStringLiteral("cannot write a GIF"));
    std::vector<std::uint8_t> indices(static_cast<std::size_t>(canvasPixels));
    LzwCoder coder;
    Bytes blocks;
    for (std::size_t i = 0; i < images.size(); ++i) {
      int w = 0, h = 0;
      std::vector<std::uint8_t> pixels = gifPixels(*images[i], 1, w, h);
      Liq<liq_image> image(liq_image_create_rgba(attr.get(), pixels.data(), w, h, 0));
      liq_result* result = nullptr;
      if (!image || liq_image_quantize(image.get(), attr.get(), &result) != LIQ_OK)
        return fail(error, QStringLiteral("cannot quantise a frame"));
      const Liq<liq_result> owned(result);
      liq_set_dithering_level(result, 1.0f);
      if (liq_write_remapped_image(result, image.get(), indices.data(), indices.size()) != LIQ_OK)
        return fail(error, QStringLiteral("cannot remap a frame"));
      const Palette palette = paletteOf(result, transparent);
      coder.code(indices, codeSizeOf(palette), blocks);
      if (!writer.frame(QRect(QPoint(), size), palette, true, DISPOSE_BACKGROUND, delays[i], blocks))
        return fail(error, QStringLiteral("cannot write a GIF"));
    }
    return writer.finish();
  }

  // An opaque animation writes only what changed, over what stays (the changes are small for a
  // sticker); one with transparency writes whole frames, each cleared away before the next.
  // Either way a transparent entry is kept in every palette.
  const Liq<liq_attr> attr = quantizer(true);
  Palette shared;
  bool useShared = false;
  NearestColours nearest;
  {
    const int step = sampleStep(canvasPixels * (long long)images.size(), kSharedSamples);
    const Liq<liq_result> result = quantize(attr.get(), images, step);
    if (result) {
      shared = paletteOf(result.get(), true);
      nearest.use(shared);
      useShared = meanError(images, step, shared, nearest) <= kSharedError;
    }
  }
  if (!writer.start(size, useShared ? &shared : nullptr, loopCount))
    return fail(error, QStringLiteral("cannot write a GIF"));
  std::vector<std::uint32_t> shown(transparent ? 0 : std::size_t(canvasPixels));
  std::vector<std::uint8_t> keep(shown.size());
  LzwCoder coder;
  Bytes blocks;
  std::vector<std::uint8_t> indices;
  const int frameStep = sampleStep(canvasPixels, kFrameSamples);
  for (std::size_t i = 0; i < images.size(); ++i) {
    const QImage& image = *images[i];
    QRect area(QPoint(), size);
    if (!transparent && i == 0) {
      for (int y = 0; y < size.height(); ++y)
        std::copy_n(reinterpret_cast<const std::uint32_t*>(image.constScanLine(y)), size.width(),
                    &shown[std::size_t(y) * std::size_t(size.width())]);
    } else if (!transparent) {
      area = changes(image, shown, keep);
      if (area.isEmpty()) area = QRect(0, 0, 1, 1);  // the frame keeps its time; the pixel is kept
    }
    Palette own;
    if (!useShared) {
      const Liq<liq_result> result = quantize(attr.get(), {&image}, frameStep);
      if (!result) return fail(error, QStringLiteral("cannot quantise a frame"));
      own = paletteOf(result.get(), true);
      nearest.use(own);
    }
    const Palette& palette = useShared ? shared : own;
    ditherArea(image, area, transparent || i == 0 ? nullptr : keep.data(), palette, nearest, indices);
    coder.code(indices, codeSizeOf(palette), blocks);
    if (!writer.frame(area, palette, !useShared, transparent ? DISPOSE_BACKGROUND : DISPOSE_DO_NOT, delays[i],
                      blocks))
      return fail(error, QStringLiteral("cannot write a GIF"));
  }
  return writer.finish();
}

Bytes animationAsGif(std::string_view webp, QString* error) {
  const AnimationFrames animation = readAnimationFrames(webp);
  if (!animation.ok())
    return fail(error, animation.error.isEmpty() ? QStringLiteral("no frames") : animation.error);
  return encodeAnimatedGif(animation.frames, animation.loopCount, error);
}

}  // namespace mw::picture
