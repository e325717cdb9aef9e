#pragma once
// Every frame of an animated WebP, composed, for remaking the animation in another format.
#include <QImage>
#include <QSize>
#include <QString>
#include <string_view>
#include <vector>

namespace mw::picture {

struct AnimationFrame {
  QImage image;     // the whole canvas as this frame leaves it: QImage::Format_RGBA8888, not premultiplied
  int delayMs = 0;  // how long it shows (a frame of 10 ms or less: 100 ms, as browsers show it)
};

struct AnimationFrames {
  QSize size;  // the canvas
  std::vector<AnimationFrame> frames;
  int loopCount = 0;  // how many times the whole animation plays; 0: for ever
  QString error;      // why the bytes give no frames; empty on success
  bool ok() const { return error.isEmpty() && !frames.empty(); }
};

// Decodes the frames of a WebP (a still gives one frame) within the picture decoders' limits:
// the canvas within kMaxSide and kMaxPixels, the first kMaxFrames frames, and all of them
// together within the decoded-picture budget's size; a file beyond that, truncated or
// malformed is refused with an error. Any thread.
AnimationFrames readAnimationFrames(std::string_view bytes);

}  // namespace mw::picture
