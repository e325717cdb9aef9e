#pragma once
// Reads the words written on a picture with Tesseract, which runs in a helper process
// (memwick-ocr) with its model loaded. A reader is used by one thread at a time.
#include <QImage>
#include <atomic>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "library/reader_process.h"
#include "ocr/protocol.h"

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
  // Traditional captions are read as such, not as the nearest Simplified look-alikes.
  std::string languages = "chi_sim+chi_tra";
  // The passes over the whole picture, which find where its lines stand, read Simplified alone:
  // the Traditional model doubles their time, and the lines they find are read again with both.
  std::string pageLanguages = "chi_sim";
  std::vector<ReadPass> passes{{PassImage::Otsu, 11}, {PassImage::WhiteMask, 11}};
  // Passes made only when the others (and the lines read again) read no word for sure; the lines
  // they find are read again too. The picture in all its colours costs the engine the most.
  std::vector<ReadPass> unsurePasses{{PassImage::AsIs, 6}};
  // Words read with less confidence (0 to 100) are dropped: on pictures without text the
  // engine prints stray characters, all of them with low confidence.
  int minConfidence = 20;
  // The same for a line read on its own, where the engine is less sure of what it reads right.
  int minLineConfidence = 10;
  // Pictures whose longer side is shorter are read at 1.5 times their size: on pictures as small
  // as those passed around in chats, the engine misses many characters of 16 to 24 px.
  int enlargeBelow = 700;
  // Each line of text found (by bandLines(), and the lines of ideographs the passes read) is
  // read again on its own, scaled so that its characters are about this high (0: not read
  // again); the surest `maxLines` of them.
  int lineHeight = 40;
  int maxLines = 6;
  // Lines are also looked for on a mask of each of the colours thin strokes are drawn in, the
  // commonest `inkColours` of them, and on what each of those encloses: the `maxInkLines`
  // weightiest are read, from their mask; columns written top to bottom with their characters
  // set side by side.
  int inkColours = 8;
  int maxInkLines = 6;
  // Words read with at least this confidence are sure (see readSure()).
  int sureConfidence = 60;
  // The most a picture may take (see ReaderProcess::read), and more for each million pixels:
  // past it, the helper is ended. A full page of text 2048 pixels square takes about 45 s.
  int limitMs = 30000;
  int limitMsPerMegapixel = 30000;
  // The version stored with the words read (ocr::kReaderVersion); pictures read by an older one
  // are read again.
  int version = ocr::kReaderVersion;
  // The helper program; empty: the one beside the running program, else the installed one.
  std::string program;
  // Reading yields the processor to everything else: on a machine kept busy it waits until
  // the load goes. Off where reading must get on whatever the load (the tests).
  bool lowPriority = true;
};

class PictureReader {
 public:
  // Starts the helper, which loads the model from the system's Tesseract data. Setting `cancel`
  // ends any reading soon after.
  explicit PictureReader(ReaderOptions options = {}, const std::atomic<bool>* cancel = nullptr);
  ~PictureReader();
  PictureReader(const PictureReader&) = delete;
  PictureReader& operator=(const PictureReader&) = delete;

  // Empty while words can be read; otherwise why they cannot (no helper, no model).
  const std::string& error() const { return error_; }

  // The text of each pass, in pass order (UTF-8; a pass that read nothing gives nothing), its
  // lines joined; at most ocr::kMaxTextBytes together, '\n' between them counted. Nothing when
  // the picture could not be read: the helper could not read it, took too long, ended or
  // misbehaved, and is started afresh for the next picture (failure() says what happened,
  // fault() whose fault it was), or the helper cannot be started (error()).
  std::optional<std::vector<std::string>> read(const QImage& picture);
  const std::string& failure() const { return failure_; }
  ReadFault fault() const { return fault_; }
  // Whether the last picture read showed a word for sure: two ideographs in a row, each read
  // with `sureConfidence`.
  bool readSure() const { return readSure_; }

 private:
  bool start();
  ReaderOptions options_;
  const std::atomic<bool>* cancel_;
  std::unique_ptr<ReaderProcess> process_;
  std::string error_;
  std::string failure_;
  ReadFault fault_ = ReadFault::None;
  bool readSure_ = false;
};

// The frames read when an animated GIF's first holds no words, for captions that come in
// later: its second frame and its last, as the animation shows them (up to two; none for a
// still, a single frame or a GIF that cannot be read past its first).
std::vector<QImage> laterGifFrames(const std::string& bytes);

// How reading a picture's bytes ended, and its words when they were read.
struct PictureWords {
  enum class Outcome {
    Read,
    Undecodable,   // no picture that can be decoded: found by its names only
    PictureFault,  // it overran its time, or the helper could not read it
    HelperFault,   // the helper could not be started, ended, was killed or misbehaved
    Stopped,
  };
  Outcome outcome = Outcome::Read;
  std::vector<std::string> words;
};
// Decodes `bytes` (a GIF gives its first frame), at most 2048 pixels a side, and reads it.
PictureWords readPictureWords(const std::string& bytes, PictureReader& reader);

// A line of text a pass found: where it stands in the pass image, and the best confidence of
// an ideograph read on it.
struct TextLine {
  QRect box;
  PassImage image = PassImage::AsIs;
  float confidence = 0;
};
// The lines of `words` (one pass's) that hold an ideograph read with `minConfidence`; not
// columns written top to bottom.
std::vector<TextLine> textLines(const std::vector<ReadWord>& words, int minConfidence);
// The lines of dark text on white bands of `picture`: rows mostly white, with dark strokes,
// between rows with none. Nothing when there are more than `most`.
std::vector<TextLine> bandLines(const QImage& picture, int most);
// `lines` within `picture`, those found by more than one pass taken as one (with the image of
// the surer), the surest `most` of them, top to bottom.
std::vector<TextLine> mergedLines(std::vector<TextLine> lines, const QRect& picture, int most);
// What of `picture` is read again for `line`: the line with a margin, within the picture.
QRect lineCrop(const QRect& line, const QRect& picture);

// The picture as the engine is shown it in a pass: 8-bit grey (AsIs keeps its colours, as RGB).
// Transparent parts are over white.
QImage passImage(const QImage& picture, PassImage kind);

}  // namespace mw::library
