#include "library/picture_reader.h"

#include <dlfcn.h>
#include <tesseract/baseapi.h>
#include <tesseract/resultiterator.h>

#include <QPainter>
#include <array>

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

// Tesseract may spread each step over OpenMP threads. With one engine per core that only adds
// contention (and much time spinning), so the engine keeps to the thread that calls it. Looked
// up at run time: a Tesseract built without OpenMP has no such function.
void keepEngineOnThisThread() {
  using SetLevels = void (*)(int);
  static const auto setMaxActiveLevels =
      reinterpret_cast<SetLevels>(dlsym(RTLD_DEFAULT, "omp_set_max_active_levels"));
  if (setMaxActiveLevels) setMaxActiveLevels(0);
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

PictureReader::PictureReader(ReaderOptions options)
    : options_(std::move(options)), engine_(std::make_unique<tesseract::TessBaseAPI>()) {
  // The system's data folder, wherever the program runs from.
  if (engine_->Init(nullptr, options_.languages.c_str(), tesseract::OEM_LSTM_ONLY) != 0) {
    error_ = "cannot load the Tesseract model " + options_.languages;
    engine_.reset();
    return;
  }
  engine_->SetVariable("debug_file", "/dev/null");
}

PictureReader::~PictureReader() {
  if (engine_) engine_->End();
}

std::vector<std::string> PictureReader::read(const QImage& picture) {
  std::vector<std::string> texts;
  if (!engine_ || picture.isNull()) return texts;
  keepEngineOnThisThread();
  const QImage rgb = overWhite(picture);
  for (const ReadPass& pass : options_.passes) {
    const QImage shown = pass.image == PassImage::AsIs ? rgb : passImage(rgb, pass.image);
    engine_->SetPageSegMode(static_cast<tesseract::PageSegMode>(pass.pageSegmentation));
    engine_->SetImage(shown.constBits(), shown.width(), shown.height(), shown.depth() / 8,
                      int(shown.bytesPerLine()));
    engine_->SetSourceResolution(70);
    if (engine_->Recognize(nullptr) != 0) continue;
    std::unique_ptr<tesseract::ResultIterator> it(engine_->GetIterator());
    if (!it) continue;
    // One text a pass, in reading order: a caption wrapped over two lines reads as one.
    std::string text;
    do {
      if (it->Confidence(tesseract::RIL_WORD) < float(options_.minConfidence)) continue;
      std::unique_ptr<char[]> word(it->GetUTF8Text(tesseract::RIL_WORD));
      if (word) text += word.get();
    } while (it->Next(tesseract::RIL_WORD));
    if (!text.empty()) texts.push_back(std::move(text));
  }
  engine_->Clear();
  return texts;
}

}  // namespace mw::library
