#include "library/picture_reader.h"

#include <QPainter>
#include <QTransform>
#include <algorithm>
#include <array>
#include <map>

#include "library/ink_lines.h"
#include "library/reader_process.h"
#include "ocr/protocol.h"
#include "picture/gif_stream.h"
#include "picture/picture_decoder.h"

namespace mw::library {
namespace {

// Pictures are read at most this large: text smaller than that would be unreadable anyway,
// and the engine's time grows with the pixels.
constexpr int kReadSide = 2048;

QSize readSize(QSize natural) {
  return natural.boundedTo(natural.scaled(kReadSide, kReadSide, Qt::KeepAspectRatio));
}

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

// `rgb` in grey, each pixel given by `shade` of its lowest and its highest channel.
template <typename Shade>
QImage shaded(const QImage& rgb, Shade shade) {
  QImage grey(rgb.size(), QImage::Format_Grayscale8);
  for (int y = 0; y < rgb.height(); ++y) {
    const uchar* in = rgb.constScanLine(y);
    uchar* out = grey.scanLine(y);
    for (int x = 0; x < rgb.width(); ++x) {
      const int r = in[3 * x], g = in[3 * x + 1], b = in[3 * x + 2];
      out[x] = uchar(shade(std::min({r, g, b}), std::max({r, g, b})));
    }
  }
  return grey;
}

QImage whiteMask(const QImage& rgb) {
  return shaded(rgb, [](int lo, int hi) { return lo >= 180 && hi - lo <= 40 ? 0 : 255; });
}

// How white each pixel is, dark for the whitest: what the white mask keeps, in shades, so that
// the engine sets the line apart from its outline and its ground by the crop's own threshold.
QImage whiteness(const QImage& rgb) {
  return shaded(rgb, [](int lo, int hi) { return 255 - std::clamp((lo - (hi - lo) - 100) * 2, 0, 255); });
}

// Whether a UTF-8 text holds `count` ideographs in a row.
bool holdsIdeographs(const std::string& text, int count) {
  int inRow = 0;
  for (const char32_t c : QString::fromStdString(text).toUcs4()) {
    inRow = QChar::script(c) == QChar::Script_Han ? inRow + 1 : 0;
    if (inRow == count) return true;
  }
  return false;
}

// A line a pass read with this confidence needs no other reading.
constexpr float kSureLine = 70;

// Whether texts hold two ideographs in a row.
bool holdsWords(const std::vector<std::string>& texts) {
  return std::any_of(texts.begin(), texts.end(),
                     [](const std::string& text) { return holdsIdeographs(text, 2); });
}

// Of the lines found on masks, those not mostly on a line already read surely, and of those
// found on several masks (a caption's fill and its outline) the weightiest: the `most`
// weightiest, rows top to bottom, then columns right to left.
std::vector<InkLine> distinctInkLines(std::vector<InkLine> inks, const std::vector<TextLine>& read,
                                      int most) {
  const auto area = [](const QRect& r) { return 1LL * r.width() * r.height(); };
  // Whether half of the smaller box lies within the other (half of `b`, with `ofB`).
  const auto overlapping = [&](const QRect& a, const QRect& b, bool ofB = false) {
    const QRect shared = a & b;
    return !shared.isEmpty() && 2 * area(shared) >= (ofB ? area(b) : std::min(area(a), area(b)));
  };
  std::sort(inks.begin(), inks.end(),
            [](const InkLine& a, const InkLine& b) { return a.weight() > b.weight(); });
  std::vector<InkLine> kept;
  for (const InkLine& ink : inks) {
    if (int(kept.size()) >= most) break;
    const bool seen = std::any_of(kept.begin(), kept.end(),
                                  [&](const InkLine& k) { return overlapping(k.box, ink.box); }) ||
                      std::any_of(read.begin(), read.end(), [&](const TextLine& r) {
                        return !ink.column && r.confidence >= kSureLine && overlapping(r.box, ink.box, true);
                      });
    if (!seen) kept.push_back(ink);
  }
  std::sort(kept.begin(), kept.end(), [](const InkLine& a, const InkLine& b) {
    if (a.column != b.column) return b.column;
    return a.column ? a.box.left() > b.box.left() : a.box.top() < b.box.top();
  });
  return kept;
}

}  // namespace

std::vector<TextLine> textLines(const std::vector<ReadWord>& words, int minConfidence) {
  std::map<int, TextLine> byLine;
  std::map<int, bool> withWords;  // lines holding an ideograph read with minConfidence
  for (const ReadWord& word : words) {
    if (word.box.isEmpty()) continue;
    TextLine& line = byLine[word.line];
    line.box = line.box.isNull() ? word.box : line.box.united(word.box);
    if (word.confidence >= float(minConfidence) && holdsIdeographs(word.text, 1)) {
      withWords[word.line] = true;
      line.confidence = std::max(line.confidence, word.confidence);
    }
  }
  std::vector<TextLine> out;
  for (const auto& [number, line] : byLine) {
    // Columns of characters written top to bottom are left to the whole-picture passes.
    if (withWords.count(number) && line.box.width() >= line.box.height()) out.push_back(line);
  }
  return out;
}

std::vector<TextLine> mergedLines(std::vector<TextLine> lines, const QRect& picture, int most) {
  for (TextLine& line : lines) line.box &= picture;
  std::erase_if(lines, [](const TextLine& line) { return line.box.height() < 4 || line.box.width() < 4; });
  // Lines found by several passes are one: they share most of their height and touch.
  bool merged = true;
  while (merged) {
    merged = false;
    for (std::size_t i = 0; i < lines.size() && !merged; ++i) {
      for (std::size_t j = i + 1; j < lines.size() && !merged; ++j) {
        const QRect& a = lines[i].box;
        const QRect& b = lines[j].box;
        const int shared = std::min(a.bottom(), b.bottom()) - std::max(a.top(), b.top()) + 1;
        const int gap = std::max(a.left(), b.left()) - std::min(a.right(), b.right());
        if (shared * 2 < std::min(a.height(), b.height()) || gap > std::min(a.height(), b.height())) continue;
        TextLine line = lines[i].confidence >= lines[j].confidence ? lines[i] : lines[j];
        line.box = a.united(b);
        lines[i] = line;
        lines.erase(lines.begin() + std::ptrdiff_t(j));
        merged = true;
      }
    }
  }
  // The surest lines, at most `most`, in reading order.
  std::sort(lines.begin(), lines.end(),
            [](const TextLine& a, const TextLine& b) { return a.confidence > b.confidence; });
  if (lines.size() > std::size_t(std::max(0, most))) lines.resize(std::size_t(std::max(0, most)));
  std::sort(lines.begin(), lines.end(), [](const TextLine& a, const TextLine& b) {
    return std::pair(a.box.top(), a.box.left()) < std::pair(b.box.top(), b.box.left());
  });
  return lines;
}

std::vector<TextLine> bandLines(const QImage& picture, int most) {
  const QImage grey = picture.convertToFormat(QImage::Format_Grayscale8);
  const int w = grey.width(), h = grey.height();
  // Per row: whether it is mostly white, and whether dark strokes cross it.
  std::vector<char> light(static_cast<std::size_t>(h)), dark(static_cast<std::size_t>(h));
  std::vector<int> first(static_cast<std::size_t>(h), w), last(static_cast<std::size_t>(h), -1);
  for (int y = 0; y < h; ++y) {
    const uchar* line = grey.constScanLine(y);
    int lightCount = 0, darkCount = 0;
    for (int x = 0; x < w; ++x) {
      lightCount += line[x] >= 200;
      if (line[x] < 110) {
        ++darkCount;
        first[std::size_t(y)] = std::min(first[std::size_t(y)], x);
        last[std::size_t(y)] = x;
      }
    }
    light[std::size_t(y)] = lightCount * 20 >= w * 11;
    dark[std::size_t(y)] = darkCount >= std::max(2, w / 200);
  }
  const auto blank = [&](int y) {
    return y < 0 || y >= h || (light[std::size_t(y)] && !dark[std::size_t(y)]);
  };
  std::vector<TextLine> out;
  for (int y = 0; y < h;) {
    if (!light[std::size_t(y)] || !dark[std::size_t(y)]) {
      ++y;
      continue;
    }
    // A run of such rows, over gaps of a few blank rows (between the strokes of a character).
    int end = y + 1, left = w, right = -1;
    for (int k = y; k < h; ++k) {
      if (light[std::size_t(k)] && dark[std::size_t(k)]) {
        end = k + 1;
        left = std::min(left, first[std::size_t(k)]);
        right = std::max(right, last[std::size_t(k)]);
      } else if (!blank(k) || k - end >= 3) {
        break;
      }
    }
    const int height = end - y;
    // On a white band: blank rows above and below, and the height of a line of text.
    if (blank(y - 1) && blank(end) && height >= 7 && height * 4 <= h && right - left >= height)
      out.push_back({QRect(left, y, right - left + 1, height), PassImage::AsIs, 100});
    y = std::max(end, y + 1);
  }
  if (out.size() > std::size_t(std::max(0, most))) out.clear();  // a page of text, not a caption
  return out;
}

QRect lineCrop(const QRect& line, const QRect& picture) {
  // Room above and below for strokes the box cut off, and to the sides for characters the
  // engine did not count in the line.
  const int h = line.height();
  return line.adjusted(-h, -h * 3 / 10, h, h * 3 / 10) & picture;
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
  process_ = ReaderProcess::start(options_.program, options_.languages, options_.pageLanguages,
                                  options_.lowPriority, cancel_, &error_);
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
  readSure_ = false;
  if (picture.isNull()) return texts;
  const QImage natural = overWhite(picture);
  QImage rgb = natural;
  if (std::max(rgb.width(), rgb.height()) < options_.enlargeBelow) {
    rgb = rgb.scaled(rgb.width() * 3 / 2, rgb.height() * 3 / 2, Qt::IgnoreAspectRatio,
                     Qt::SmoothTransformation);
  }
  const double megapixels = double(picture.width()) * picture.height() / 1e6;
  long long leftMs = options_.limitMs + (long long)(megapixels * options_.limitMsPerMegapixel);
  std::vector<std::string> sure;  // what each read gave with good confidence
  const auto readOne = [&](const QImage& shown, int pageSegmentation, uint32_t model) {
    auto words = process_->read(shown, pageSegmentation, 70, leftMs, model);
    if (!words) {
      failure_ = process_->failure();
      fault_ = process_->fault();
      process_.reset();
    }
    return words;
  };
  // Adds the words read to `text`, in reading order: a caption wrapped over two lines reads as one.
  const auto take = [&](const std::vector<ReadWord>& words, std::string& text, int minConfidence) {
    std::string sureText;
    for (const ReadWord& word : words) {
      sureText += word.confidence >= float(options_.sureConfidence) ? word.text : " ";
      if (word.confidence < float(minConfidence)) continue;
      if (kept + text.size() + word.text.size() + 1 > ocr::kMaxTextBytes) break;
      text += word.text;
    }
    sure.push_back(std::move(sureText));
  };
  const auto keep = [&](std::string& text) {
    if (text.empty()) return;
    kept += text.size() + 1;
    texts.push_back(std::move(text));
  };
  std::array<QImage, 3> shown;  // each kind of pass image, made once
  const auto shownAs = [&](PassImage kind) -> const QImage& {
    QImage& image = shown[std::size_t(kind)];
    if (image.isNull()) image = kind == PassImage::AsIs ? rgb : passImage(rgb, kind);
    return image;
  };
  // One text a pass; the lines each read go to `lines`. The picture in all its colours, which
  // costs the engine the most, is shown at its own size, not enlarged: its lines are read again
  // at the size the engine reads best anyway.
  const QTransform enlarged =
      QTransform::fromScale(double(rgb.width()) / picture.width(), double(rgb.height()) / picture.height());
  const auto readPasses = [&](const std::vector<ReadPass>& passes, std::vector<TextLine>& lines) {
    for (const ReadPass& pass : passes) {
      const bool ownSize = pass.image == PassImage::AsIs && !enlarged.isIdentity();
      const auto words =
          readOne(ownSize ? natural : shownAs(pass.image), pass.pageSegmentation, ocr::kPageModel);
      if (!words) return false;
      std::string text;
      take(*words, text, options_.minConfidence);
      keep(text);
      for (TextLine& line : textLines(*words, options_.minConfidence)) {
        line.image = pass.image;
        if (ownSize) line.box = enlarged.mapRect(line.box);
        lines.push_back(line);
      }
    }
    return true;
  };
  // Each line found read again on its own, at the size the engine reads best, as one line: the
  // whole-picture passes break small captions up and misread their characters.
  const auto readAt = [&](const QImage& image, int size, std::string& text) {
    const double scale = std::clamp(double(options_.lineHeight) / std::max(1, size), 0.5, 3.0);
    const QSize scaled(int(image.width() * scale), int(image.height() * scale));
    if (std::min(scaled.width(), scaled.height()) < 10) return true;  // no line of text
    const auto words =
        readOne(image.scaled(scaled, Qt::IgnoreAspectRatio, Qt::SmoothTransformation), 7, ocr::kLineModel);
    if (words) take(*words, text, options_.minLineConfidence);
    return bool(words);
  };
  const auto readLines = [&](std::vector<TextLine> lines, std::string& text, std::vector<TextLine>* read) {
    const std::vector<TextLine> merged = mergedLines(std::move(lines), rgb.rect(), options_.maxLines);
    for (const TextLine& line : merged) {
      const QRect crop = lineCrop(line.box, rgb.rect());
      if (crop.isEmpty()) continue;
      const QImage part =
          line.image == PassImage::WhiteMask ? whiteness(rgb.copy(crop)) : shownAs(line.image).copy(crop);
      if (!readAt(part, line.box.height(), text)) return false;
    }
    if (read) *read = merged;
    return true;
  };

  std::vector<TextLine> lines =
      options_.lineHeight > 0 ? bandLines(rgb, options_.maxLines) : std::vector<TextLine>{};
  if (!readPasses(options_.passes, lines)) return std::nullopt;
  // Lines and columns of marks in one colour: captions in a colour of their own, which the
  // passes lose among the picture's other colours. Each is read from its own mask.
  // So are the lines of what each ink encloses: the fill of text outlined in that ink, whose
  // colour may be the ground's, so that no mask of a colour holds it apart.
  std::vector<QImage> masks;  // each ink's, then what each encloses
  std::vector<InkLine> inks, filled;
  const auto linesOn = [&](QImage& mask, int index, std::vector<InkLine>& lines) {
    std::vector<InkLine> found = inkLines(mask, options_.maxLines);
    if (found.empty()) mask = QImage();  // nothing will be read from it
    for (InkLine& ink : found) {
      ink.mask = index;
      lines.push_back(ink);
    }
  };
  if (options_.lineHeight > 0 && options_.inkColours > 0) {
    masks = inkMasks(rgb, options_.inkColours);
    const std::size_t colours = masks.size();
    masks.resize(2 * colours);
    for (std::size_t m = 0; m < colours; ++m) {
      masks[colours + m] = enclosed(masks[m]);
      linesOn(masks[colours + m], int(colours + m), filled);
      linesOn(masks[m], int(m), inks);
    }
    inks.insert(inks.end(), filled.begin(), filled.end());
  }
  // One text for all the lines, top to bottom, then the columns, right to left.
  if (options_.lineHeight > 0) {
    std::string text;
    std::vector<TextLine> read;
    if (!readLines(std::move(lines), text, &read)) return std::nullopt;
    for (const InkLine& ink : distinctInkLines(std::move(inks), read, options_.maxInkLines)) {
      const QImage& mask = masks[std::size_t(ink.mask)];
      const QImage part = ink.column ? columnAsRow(mask, ink.box)
                                     : levelled(mask.copy(lineCrop(ink.box, rgb.rect())), ink.slope);
      if (!part.isNull() && !readAt(part, ink.column ? ink.box.width() : ink.size, text)) return std::nullopt;
    }
    keep(text);
  }
  if (!holdsWords(sure) && !options_.unsurePasses.empty()) {
    std::vector<TextLine> more;
    if (!readPasses(options_.unsurePasses, more)) return std::nullopt;
    std::string text;
    if (options_.lineHeight > 0 && !readLines(std::move(more), text, nullptr)) return std::nullopt;
    keep(text);
  }
  readSure_ = holdsWords(sure);
  return texts;
}

PictureWords readPictureWords(const std::string& bytes, PictureReader& reader) {
  using Outcome = PictureWords::Outcome;
  if (!reader.error().empty()) return {Outcome::HelperFault, {}};
  QImage image;
  {
    // Not on the budget the window's pictures share: a full budget would cost a picture its
    // words for good, and reading must never crowd out what is shown.
    picture::DecodeMemory memory(false, picture::kFrameCap);
    picture::DecodedPicture decoded =
        picture::decodePicture(bytes, {.shownSize = readSize, .memory = &memory});
    if (!decoded.ok()) return {Outcome::Undecodable, {}};
    image = std::move(decoded.image);
  }
  const auto readable = [](QImage image) {
    if (image.width() > kReadSide || image.height() > kReadSide)
      return image.scaled(kReadSide, kReadSide, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    return image;
  };
  std::optional<std::vector<std::string>> words = reader.read(readable(std::move(image)));
  // A caption that comes in after a GIF's first frame.
  if (words && !reader.readSure() && picture::sniffPictureFormat(bytes) == picture::PictureFormat::Gif) {
    for (QImage& frame : laterGifFrames(bytes)) {
      std::optional<std::vector<std::string>> more = reader.read(readable(std::move(frame)));
      if (!more) {
        words = std::move(more);
        break;
      }
      // Within what one answer may hold, as the first frame's texts are.
      std::size_t kept = 0;
      for (const std::string& text : *words) kept += text.size() + 1;
      for (std::string& text : *more) {
        if ((kept += text.size() + 1) > ocr::kMaxTextBytes) break;
        words->push_back(std::move(text));
      }
      if (reader.readSure()) break;
    }
  }
  if (words) return {Outcome::Read, std::move(*words)};
  switch (reader.fault()) {
    case ReadFault::Picture:
      return {Outcome::PictureFault, {}};
    case ReadFault::Stopped:
      return {Outcome::Stopped, {}};
    default:
      return {Outcome::HelperFault, {}};
  }
}

}  // namespace mw::library
