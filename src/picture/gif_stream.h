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
#include "picture/frame_stream.h"
#include "runtime/text.h"

namespace mw::picture {

class GifStream final : public FrameStream {
 public:
  // Reads the file's header. The canvas and saved areas are taken from `memory`, which
  // must outlive the stream.
  GifStream(std::shared_ptr<const Bytes> bytes, DecodeMemory& memory);
  ~GifStream() override;

  const QString& error() const override { return error_; }
  // The logical screen; a zero one is taken from the first frame.
  QSize size() const override { return size_; }
  bool next(Frame& frame) override;
  bool more() override;
  void rewind() override;
  const QImage& canvas() const override { return canvas_; }
  // The canvas, which the stream then no longer has.
  QImage takeCanvas();
  int framesRead() const override { return framesRead_; }
  // From the NETSCAPE2.0 extension, once read up to it: without one, for ever.
  int loopCount() const override { return loopCount_; }

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
  int loopCount_ = 0;
};

}  // namespace mw::picture
