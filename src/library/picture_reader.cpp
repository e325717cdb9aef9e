#include "library/picture_reader.h"

#include <QPainter>
#include <array>

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

// Whether texts hold two ideographs in a row.
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

}  // namespace

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
  readSure_ = false;
  if (picture.isNull()) return texts;
  QImage rgb = overWhite(picture);
  if (std::max(rgb.width(), rgb.height()) < options_.enlargeBelow) {
    rgb = rgb.scaled(rgb.width() * 3 / 2, rgb.height() * 3 / 2, Qt::IgnoreAspectRatio,
                     Qt::SmoothTransformation);
  }
  const double megapixels = double(picture.width()) * picture.height() / 1e6;
  long long leftMs = options_.limitMs + (long long)(megapixels * options_.limitMsPerMegapixel);
  std::vector<std::string> sure;  // what each pass read with good confidence
  // One text a pass, in reading order: a caption wrapped over two lines reads as one.
  const auto readPass = [&](std::unique_ptr<ReaderProcess>& process, const QImage& shown,
                            int pageSegmentation, int minConfidence) {
    const auto words = process->read(shown, pageSegmentation, 70, leftMs);
    if (!words) {
      failure_ = process->failure();
      fault_ = process->fault();
      process.reset();
      return false;
    }
    std::string text, sureText;
    for (const ReadWord& word : *words) {
      sureText += word.confidence >= float(options_.sureConfidence) ? word.text : " ";
      if (word.confidence < float(minConfidence)) continue;
      if (kept + text.size() + word.text.size() + 1 > ocr::kMaxTextBytes) break;
      text += word.text;
    }
    if (!text.empty()) {
      kept += text.size() + 1;
      texts.push_back(std::move(text));
    }
    sure.push_back(std::move(sureText));
    return true;
  };
  for (const ReadPass& pass : options_.passes) {
    if (!readPass(process_, pass.image == PassImage::AsIs ? rgb : passImage(rgb, pass.image),
                  pass.pageSegmentation, options_.minConfidence))
      return std::nullopt;
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
