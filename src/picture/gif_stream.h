#pragma once
// A GIF read one frame at a time onto one canvas, the way a streaming player reads it: each
// frame drawn over what the ones before left, after their disposal (nothing, cleared to
// transparent, or the area restored as it was before). Areas no frame covers are
// transparent. The stream holds the canvas and, for a frame to be restored, the area it
// covers; never the frames themselves.
#include <gif_lib.h>

#include <QImage>
#include <QRect>
#include <QString>
#include <memory>

#include "picture/decode_memory.h"
#include "runtime/text.h"

namespace mw::picture {

// Frames read in one pass through the file; a longer animation ends there.
inline constexpr int kMaxFrames = 1000;
// Pixels decoded in one pass (frames may lie mostly off the canvas); beyond, the pass ends.
inline constexpr long long kMaxPassPixels = 256LL * 1024 * 1024;
// Browsers show frames of no or a very short delay for 100 ms; pictures made for them count
// on it.
inline constexpr int kShortDelayMs = 100;

class GifStream {
 public:
  struct Frame {
    QRect changed;  // what differs on the canvas from the frame before (all of it for a first)
    int delayMs = 0;
  };

  // Reads the file's header. The canvas and saved areas are taken from `memory`, which
  // must outlive the stream.
  GifStream(std::shared_ptr<const Bytes> bytes, DecodeMemory& memory);
  GifStream(const GifStream&) = delete;
  GifStream& operator=(const GifStream&) = delete;
  ~GifStream();

  // Why the picture cannot be shown at all (bad header, too large, no frame); empty when a
  // first frame was read or may still be.
  const QString& error() const { return error_; }
  // The logical screen; a zero one is taken from the first frame.
  QSize size() const { return size_; }

  // Composes the next frame. False at the end of the pass: the end of the file, an error or
  // cut-off after the frames before, or a limit reached.
  bool next(Frame& frame);
  // Whether a frame follows the one composed last (reads ahead up to it).
  bool more();
  // Back to the start: the next frame is the first again, on a cleared canvas.
  void rewind();

  const QImage& canvas() const { return canvas_; }
  // The canvas, which the stream then no longer has.
  QImage takeCanvas();
  int framesRead() const { return framesRead_; }

 private:
  struct Control {
    int disposal = DISPOSAL_UNSPECIFIED;
    int delayMs = kShortDelayMs;
    int transparent = NO_TRANSPARENT_COLOR;
  };
  bool open();
  void fail(const QString& why);
  void dispose(QRect& changed);
  bool decodeFrame(Frame& frame);
  bool readFrameHeader();
  bool makeCanvas(const GifImageDesc& desc);
  void drawRows(const GifImageDesc& desc, QRect area);

  std::shared_ptr<const Bytes> bytes_;
  DecodeMemory& memory_;
  std::size_t read_ = 0;  // giflib's read position in bytes_
  GifFileType* gif_ = nullptr;
  QString error_;
  QSize size_;
  QImage canvas_;
  Control control_;
  bool pending_ = false;  // an image record has been reached and not yet read
  bool ended_ = false;
  // What the last frame asks to be done with its area before the next is drawn.
  int lastDisposal_ = DISPOSAL_UNSPECIFIED;
  QRect lastArea_;
  QImage saved_;  // the last frame's area as it was before it, for "restore previous"
  int framesRead_ = 0;
  long long passPixels_ = 0;
};

}  // namespace mw::picture
