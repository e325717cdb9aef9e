#pragma once
// An animated GIF or WebP as a control shows it. Frames are decoded one at a time from a
// FrameStream
// and resampled once to the shown size, only where they changed. While the changes of a loop
// fit in the frame cache they are kept; once a whole loop is kept, the stream and its canvas
// are let go and the animation replays from the cache without decoding. An animation whose
// changes do not fit goes on decoding as it plays, holding nothing but the canvas.
//
// Used by one thread at a time; all its memory is taken from the program's budget.
#include <QImage>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "picture/decode_memory.h"
#include "picture/frame_stream.h"
#include "picture/resampler.h"
#include "runtime/text.h"

namespace mw::picture {

// What the kept changes of one animation may take.
inline constexpr std::size_t kFrameCacheBudget = std::size_t(8) << 20;

class GifAnimation {
 public:
  // Opens the animation (a GIF or a WebP) and composes its first frame, at the size `shownSize` gives for the
  // natural size (unset: the natural size).
  GifAnimation(std::shared_ptr<const Bytes> bytes, const std::function<QSize(QSize)>& shownSize,
               std::size_t cacheBudget = kFrameCacheBudget);
  GifAnimation(const GifAnimation&) = delete;
  GifAnimation& operator=(const GifAnimation&) = delete;
  ~GifAnimation();

  // Why it cannot be shown; empty when it can.
  const QString& error() const { return error_; }
  QSize naturalSize() const { return natural_; }
  bool animated() const { return animated_; }

  // The frame of now at the shown size, its place in the loop and how long it stays (0 for a
  // single frame).
  const QImage& frame() const { return shown_; }
  int index() const { return index_; }
  int delayMs() const { return delayMs_; }

  // On to the next frame; the first after the last, while the loop count allows. After the
  // last play the last frame stays and animated() turns false.
  void advance();

  // A whole loop is kept and nothing is decoded any more.
  bool replaying() const { return replaying_; }
  // Whether the changes are still being kept (false once they went beyond the cache).
  bool caching() const { return caching_; }
  std::size_t memoryHeld() const { return memory_.held(); }

 private:
  struct Change {
    QImage pixels;
    QPoint at;
    int delayMs;
  };
  QRect draw(QRect changed);
  void keep(QRect area, int delayMs);
  void forgetKept();
  void apply(const Change& change);
  bool lastPlay();

  DecodeMemory memory_;  // declared first: the stream gives back to it when it goes
  std::size_t cacheBudget_;
  std::unique_ptr<FrameStream> stream_;
  std::optional<Resampler> resampler_;
  QString error_;
  QSize natural_;
  QImage shown_;
  int index_ = 0;
  int delayMs_ = 0;
  bool animated_ = false;
  int loopCount_ = 0;  // plays in all; 0: for ever
  int played_ = 0;     // plays ended
  bool replaying_ = false;
  bool caching_ = true;
  std::vector<Change> kept_;  // change k turns frame k - 1 into frame k; change 0 is frame 0
  std::size_t keptBytes_ = 0;
};

}  // namespace mw::picture
