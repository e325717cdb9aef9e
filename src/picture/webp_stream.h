#pragma once
// A WebP animation read one frame at a time with libwebpdemux's animation decoder, which
// composes each frame (blending and disposal) onto its own canvas; the stream shows that
// canvas without copying it.
#include <QImage>
#include <memory>

#include "picture/frame_stream.h"

struct WebPAnimDecoder;

namespace mw::picture {

class WebpStream final : public FrameStream {
 public:
  // Reads the file's chunks and checks the canvas and frames against the limits before any
  // pixel is allocated; the canvas and the decoder's work space are taken from `memory`.
  WebpStream(std::shared_ptr<const Bytes> bytes, DecodeMemory& memory);
  ~WebpStream() override;

  const QString& error() const override { return error_; }
  QSize size() const override { return size_; }
  bool next(Frame& frame) override;
  bool more() override;
  void rewind() override;
  const QImage& canvas() const override { return canvas_; }
  int framesRead() const override { return framesRead_; }
  int loopCount() const override { return loopCount_; }
  // The frames the file holds.
  int frameCount() const { return frameCount_; }

 private:
  std::shared_ptr<const Bytes> bytes_;
  DecodeMemory& memory_;
  std::size_t held_ = 0;  // what is taken from memory_
  WebPAnimDecoder* decoder_ = nullptr;
  QString error_;
  QSize size_;
  QImage canvas_;  // over the decoder's own canvas
  int frameCount_ = 0;
  int loopCount_ = 0;
  int framesRead_ = 0;
  long long passPixels_ = 0;
  QRect lastDisposed_;  // the area the last frame clears before the next is drawn
};

}  // namespace mw::picture
