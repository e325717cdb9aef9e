#pragma once
// Reads the words written on a picture with Tesseract. One reader is one engine with its model
// loaded: it is used by one thread at a time, and what it reads is kept by nobody.
#include <QImage>
#include <memory>
#include <string>
#include <vector>

namespace tesseract {
class TessBaseAPI;
}

namespace mw::library {

// What a pass shows the engine.
enum class PassImage {
  AsIs,       // the picture itself
  Otsu,       // black and white, split at Otsu's threshold
  WhiteMask,  // near-white, unsaturated pixels black and the rest white: outlined meme text
};

struct ReadPass {
  PassImage image;
  int pageSegmentation;  // Tesseract's page segmentation mode
};

struct ReaderOptions {
  std::string languages = "chi_sim";
  std::vector<ReadPass> passes{{PassImage::AsIs, 6}, {PassImage::Otsu, 11}, {PassImage::WhiteMask, 11}};
  // Words read with less confidence (0 to 100) are dropped: on pictures without text the
  // engine prints stray characters, all of them with low confidence.
  int minConfidence = 20;
};

class PictureReader {
 public:
  // Loads the model from the system's Tesseract data.
  explicit PictureReader(ReaderOptions options = {});
  ~PictureReader();
  PictureReader(const PictureReader&) = delete;
  PictureReader& operator=(const PictureReader&) = delete;

  // Empty when the engine is ready; otherwise why it is not.
  const std::string& error() const { return error_; }

  // The text of each pass, in pass order (UTF-8; a pass that read nothing gives nothing), its
  // lines joined.
  std::vector<std::string> read(const QImage& picture);

 private:
  ReaderOptions options_;
  std::unique_ptr<tesseract::TessBaseAPI> engine_;
  std::string error_;
};

// The picture as the engine is shown it in a pass: 8-bit grey (AsIs keeps its colours, as RGB).
// Transparent parts are over white.
QImage passImage(const QImage& picture, PassImage kind);

}  // namespace mw::library
