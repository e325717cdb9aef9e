#pragma once
// An animated picture read one frame at a time onto one canvas (premultiplied ARGB32), each
// frame drawn over what the ones before left. GIF and WebP animations are read this way.
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

class FrameStream {
 public:
  struct Frame {
    QRect changed;  // what differs on the canvas from the frame before (all of it for a first)
    int delayMs = 0;
  };

  // A stream for the animation in `bytes` (a GIF or a WebP, by its signature), taking its
  // canvas from `memory`, which must outlive it; null for other formats.
  static std::unique_ptr<FrameStream> open(std::shared_ptr<const Bytes> bytes, DecodeMemory& memory);

  FrameStream() = default;
  FrameStream(const FrameStream&) = delete;
  FrameStream& operator=(const FrameStream&) = delete;
  virtual ~FrameStream() = default;

  // Why the picture cannot be shown at all (bad header, too large, no frame); empty when a
  // first frame was read or may still be.
  virtual const QString& error() const = 0;
  virtual QSize size() const = 0;
  // Composes the next frame. False at the end of the pass: the end of the file, an error or
  // cut-off after the frames before, or a limit reached.
  virtual bool next(Frame& frame) = 0;
  // Whether a frame follows the one composed last (reads ahead up to it).
  virtual bool more() = 0;
  // Back to the start: the next frame is the first again, on a cleared canvas.
  virtual void rewind() = 0;
  virtual const QImage& canvas() const = 0;
  virtual int framesRead() const = 0;
  // How many times the animation plays; 0: for ever.
  virtual int loopCount() const = 0;
};

}  // namespace mw::picture
