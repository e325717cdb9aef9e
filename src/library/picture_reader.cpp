#include "library/picture_reader.h"

#include <QPainter>
#include <algorithm>
#include <array>
#include <cmath>

#include "library/reader_process.h"
#include "ocr/protocol.h"
#include "picture/gif_stream.h"

namespace mw::library {
namespace {

QImage overWhite(const QImage& picture) {
  if (!picture.hasAlphaChannel()) return picture.convertToFormat(QImage::Format_RGB888);
  QImage flat(picture.size(), QImage::Format_RGB888);
  flat.fill(Qt::white);
  QPainter painter(&flat);
  painter.drawImage(0, 0, picture);
  return flat;
}

int otsuThreshold(const QImage& grey) {
  std::array<long long, 256> histogram{};
  for (int y = 0; y < grey.height(); ++y) {
    const uchar* line = grey.constScanLine(y);
    for (int x = 0; x < grey.width(); ++x) ++histogram[line[x]];
  }
  const double total = double(grey.width()) * grey.height();
  double sumAll = 0;
  for (int i = 0; i < 256; ++i) sumAll += double(i) * histogram[i];
  double sumBelow = 0, countBelow = 0, best = -1;
  int threshold = 127;
  for (int t = 0; t < 256; ++t) {
    countBelow += histogram[t];
    sumBelow += double(t) * histogram[t];
    const double countAbove = total - countBelow;
    if (countBelow == 0 || countAbove == 0) continue;
    const double meanBelow = sumBelow / countBelow;
    const double meanAbove = (sumAll - sumBelow) / countAbove;
    const double between = countBelow * countAbove * (meanBelow - meanAbove) * (meanBelow - meanAbove);
    if (between > best) {
      best = between;
      threshold = t;
    }
  }
  return threshold;
}

QImage otsu(const QImage& rgb) {
  QImage grey = rgb.convertToFormat(QImage::Format_Grayscale8);
  const int t = otsuThreshold(grey);
  long long dark = 0;
  for (int y = 0; y < grey.height(); ++y) {
    uchar* line = grey.scanLine(y);
    for (int x = 0; x < grey.width(); ++x) {
      line[x] = line[x] > t ? 255 : 0;
      dark += line[x] == 0;
    }
  }
  // Text is the smaller part: the engine reads dark text on a light page best.
  if (dark * 2 > qint64(grey.width()) * grey.height()) grey.invertPixels();
  return grey;
}

QImage whiteMask(const QImage& rgb) {
  QImage mask(rgb.size(), QImage::Format_Grayscale8);
  for (int y = 0; y < rgb.height(); ++y) {
    const uchar* in = rgb.constScanLine(y);
    uchar* out = mask.scanLine(y);
    for (int x = 0; x < rgb.width(); ++x) {
      const int r = in[3 * x], g = in[3 * x + 1], b = in[3 * x + 2];
      const int lo = std::min({r, g, b}), hi = std::max({r, g, b});
      out[x] = lo >= 180 && hi - lo <= 40 ? 0 : 255;
    }
  }
  return mask;
}

// CIE L*a*b* of an sRGB colour (D65), the space where distances are as the eye sees them.
struct Lab {
  float l = 0, a = 0, b = 0;
};

float labDistance(const Lab& x, const Lab& y) {
  return std::sqrt((x.l - y.l) * (x.l - y.l) + (x.a - y.a) * (x.a - y.a) + (x.b - y.b) * (x.b - y.b));
}

Lab toLab(int r, int g, int b) {
  static const std::array<float, 256> linear = [] {
    std::array<float, 256> out{};
    for (int i = 0; i < 256; ++i) {
      const float c = float(i) / 255;
      out[std::size_t(i)] = c <= 0.04045f ? c / 12.92f : std::pow((c + 0.055f) / 1.055f, 2.4f);
    }
    return out;
  }();
  const float lr = linear[std::size_t(r)], lg = linear[std::size_t(g)], lb = linear[std::size_t(b)];
  const auto f = [](float t) { return t > 0.008856f ? std::cbrt(t) : 7.787f * t + 16.0f / 116; };
  const float x = f((0.4124f * lr + 0.3576f * lg + 0.1805f * lb) / 0.95047f);
  const float y = f(0.2126f * lr + 0.7152f * lg + 0.0722f * lb);
  const float z = f((0.0193f * lr + 0.1192f * lg + 0.9505f * lb) / 1.08883f);
  return {116 * y - 16, 500 * (x - y), 200 * (y - z)};
}

// The picture in L*a*b*, a pixel a Lab, rows top down.
std::vector<Lab> labPixels(const QImage& rgb) {
  std::vector<Lab> out;
  out.reserve(std::size_t(rgb.width()) * std::size_t(rgb.height()));
  for (int y = 0; y < rgb.height(); ++y) {
    const uchar* in = rgb.constScanLine(y);
    for (int x = 0; x < rgb.width(); ++x) out.push_back(toLab(in[3 * x], in[3 * x + 1], in[3 * x + 2]));
  }
  return out;
}

// Up to `most` colours that cover enough of the picture to be a caption's but not so much that
// they are its background, each unlike the ones before, the most common first.
std::vector<Lab> captionColours(const std::vector<Lab>& pixels, int most) {
  struct Bin {
    double l = 0, a = 0, b = 0;
    long long count = 0;
  };
  // L* in steps of 10, a* and b* in steps of 16.
  std::vector<Bin> bins(11 * 16 * 16);
  for (const Lab& p : pixels) {
    const int l = std::clamp(int(p.l / 10), 0, 10), a = std::clamp(int((p.a + 128) / 16), 0, 15),
              b = std::clamp(int((p.b + 128) / 16), 0, 15);
    Bin& bin = bins[std::size_t((l * 16 + a) * 16 + b)];
    bin.l += p.l, bin.a += p.a, bin.b += p.b, ++bin.count;
  }
  std::sort(bins.begin(), bins.end(), [](const Bin& x, const Bin& y) { return x.count > y.count; });
  const auto total = double(pixels.size());
  std::vector<Lab> colours;
  for (const Bin& bin : bins) {
    if (int(colours.size()) >= most || bin.count < total * 0.002) break;
    if (bin.count > total * 0.35) continue;  // the background
    const Lab mean{float(bin.l / double(bin.count)), float(bin.a / double(bin.count)),
                   float(bin.b / double(bin.count))};
    if (std::none_of(colours.begin(), colours.end(), [&](const Lab& c) { return labDistance(c, mean) < 20; }))
      colours.push_back(mean);
  }
  return colours;
}

}  // namespace

int keepTextSizedParts(QImage& mask) {
  const int w = mask.width(), h = mask.height();
  // A caption's character is at most a quarter of the picture's shorter side; what is larger
  // or fills its whole box is a shape, what is smaller than 12 px a speck.
  const int largest = std::max(24, std::min(w, h) / 4);
  std::vector<int> stack;
  std::vector<int> part;
  std::vector<uchar> seen(std::size_t(w) * std::size_t(h), 0);
  int kept = 0;
  for (int start = 0; start < w * h; ++start) {
    if (seen[std::size_t(start)] || mask.constScanLine(start / w)[start % w] != 0) continue;
    part.clear();
    stack.assign(1, start);
    seen[std::size_t(start)] = 1;
    int left = w, right = -1, top = h, bottom = -1;
    while (!stack.empty()) {
      const int at = stack.back();
      stack.pop_back();
      part.push_back(at);
      const int x = at % w, y = at / w;
      left = std::min(left, x), right = std::max(right, x), top = std::min(top, y),
      bottom = std::max(bottom, y);
      for (const auto& [dx, dy] : {std::pair{1, 0}, {-1, 0}, {0, 1}, {0, -1}}) {
        const int nx = x + dx, ny = y + dy;
        if (nx < 0 || ny < 0 || nx >= w || ny >= h) continue;
        const int n = ny * w + nx;
        if (seen[std::size_t(n)] || mask.constScanLine(ny)[nx] != 0) continue;
        seen[std::size_t(n)] = 1;
        stack.push_back(n);
      }
    }
    const int bw = right - left + 1, bh = bottom - top + 1;
    // Strokes fill a good part of their box; a thin line's piece, or an edge's, does not.
    const double fill = double(part.size()) / (double(bw) * bh);
    const bool text = part.size() >= 12 && bw <= largest && bh <= largest && fill >= 0.2 &&
                      !(bw > 8 && bh > 8 && fill > 0.7);
    if (text) {
      kept += bw >= 3 && bh >= 3;
      continue;
    }
    for (const int at : part) mask.scanLine(at / w)[at % w] = 255;
  }
  return kept;
}

std::vector<QImage> colourMasks(const QImage& picture, int most) {
  const QImage rgb = overWhite(picture);
  const std::vector<Lab> pixels = labPixels(rgb);
  // Of the picture's colours, those whose mask keeps the most parts of a character's size: a
  // caption is many strokes of one colour, a drawing's shape one part.
  std::vector<std::pair<int, QImage>> masks;
  for (const Lab& colour : captionColours(pixels, 12)) {
    QImage mask(rgb.size(), QImage::Format_Grayscale8);
    for (int y = 0; y < rgb.height(); ++y) {
      uchar* out = mask.scanLine(y);
      const Lab* in = pixels.data() + std::size_t(y) * std::size_t(rgb.width());
      for (int x = 0; x < rgb.width(); ++x) out[x] = labDistance(in[x], colour) < 28 ? 0 : 255;
    }
    if (const int parts = keepTextSizedParts(mask); parts >= 3) masks.emplace_back(parts, std::move(mask));
  }
  std::stable_sort(masks.begin(), masks.end(),
                   [](const auto& x, const auto& y) { return x.first > y.first; });
  std::vector<QImage> out;
  for (auto& [parts, mask] : masks) {
    if (int(out.size()) == most) break;
    out.push_back(std::move(mask));
  }
  return out;
}

QImage passImage(const QImage& picture, PassImage kind) {
  const QImage rgb = overWhite(picture);
  switch (kind) {
    case PassImage::AsIs:
      return rgb;
    case PassImage::Otsu:
      return otsu(rgb);
    case PassImage::WhiteMask:
      return whiteMask(rgb);
  }
  return rgb;
}

bool holdsWords(const std::vector<std::string>& texts) {
  for (const std::string& text : texts) {
    int inRow = 0;
    for (const char32_t c : QString::fromStdString(text).toUcs4()) {
      inRow = QChar::script(c) == QChar::Script_Han ? inRow + 1 : 0;
      if (inRow == 2) return true;
    }
  }
  return false;
}

std::vector<QImage> laterGifFrames(const std::string& bytes) {
  picture::DecodeMemory memory(false, picture::kFrameCap);
  picture::GifStream stream(std::make_shared<const std::string>(bytes), memory);
  std::vector<QImage> frames;
  picture::GifStream::Frame frame;
  if (!stream.error().isEmpty() || !stream.next(frame)) return frames;
  while (stream.next(frame)) {
    // The second frame is kept; each one after it may be the last.
    if (frames.size() == 2) frames.pop_back();
    frames.push_back(stream.canvas().copy());
  }
  return frames;
}

PictureReader::PictureReader(ReaderOptions options, const std::atomic<bool>* cancel)
    : options_(std::move(options)), cancel_(cancel) {
  start();
}

PictureReader::~PictureReader() = default;

bool PictureReader::start() {
  process_ =
      ReaderProcess::start(options_.program, options_.languages, options_.lowPriority, cancel_, &error_);
  return bool(process_);
}

std::optional<std::vector<std::string>> PictureReader::read(const QImage& picture) {
  failure_.clear();
  fault_ = ReadFault::None;
  if (!process_ && !start()) {
    fault_ = ReadFault::Helper;
    return std::nullopt;
  }
  std::vector<std::string> texts;
  std::size_t kept = 0;  // the texts' bytes, and one for the '\n' after each
  if (picture.isNull()) return texts;
  const QImage rgb = overWhite(picture);
  const double megapixels = double(picture.width()) * picture.height() / 1e6;
  long long leftMs = options_.limitMs + (long long)(megapixels * options_.limitMsPerMegapixel);
  // One text a pass, in reading order: a caption wrapped over two lines reads as one.
  const auto readPass = [&](const QImage& shown, int pageSegmentation, int minConfidence) {
    const auto words = process_->read(shown, pageSegmentation, 70, leftMs);
    if (!words) {
      failure_ = process_->failure();
      fault_ = process_->fault();
      process_.reset();
      return false;
    }
    std::string text;
    for (const ReadWord& word : *words) {
      if (word.confidence < float(minConfidence)) continue;
      if (kept + text.size() + word.text.size() + 1 > ocr::kMaxTextBytes) break;
      text += word.text;
    }
    if (!text.empty()) {
      kept += text.size() + 1;
      texts.push_back(std::move(text));
    }
    return true;
  };
  for (const ReadPass& pass : options_.passes) {
    if (!readPass(pass.image == PassImage::AsIs ? rgb : passImage(rgb, pass.image), pass.pageSegmentation,
                  options_.minConfidence))
      return std::nullopt;
  }
  // Text of one colour the passes above could not tell from what is around it; only words read
  // with good confidence count, as a mask of a busy picture shows the engine much that is not
  // text.
  if (!holdsWords(texts)) {
    for (const QImage& mask : colourMasks(rgb, options_.colourMasks)) {
      if (!readPass(mask, 11, options_.maskMinConfidence)) return std::nullopt;
    }
  }
  return texts;
}

}  // namespace mw::library
