#pragma once
// Animated GIFs made from RGBA frames, for the programs that take no other animation (chats take
// a GIF from the clipboard, never an animated WebP).
#include <QImage>
#include <QString>
#include <string_view>
#include <vector>

#include "picture/animation_frames.h"
#include "runtime/text.h"

namespace mw::picture {

// How each frame's pixels are mapped onto its palette. Own: libimagequant's palette, our own
// Floyd–Steinberg dithering with a cache of nearest colours, and only what changed written.
// Library: libimagequant's palette and dithered remap of every whole frame, the straightforward
// way, kept for comparison.
enum class GifRemap { Own, Library };

// The frames (whole canvases, all of one size) as a GIF89a: up to 256 colours a frame (one palette for all
// frames where it serves them all well, else one each), dithered; a pixel less than half opaque is
// transparent. Frame times are kept to the centisecond, without drift; `loopCount` is how many times it plays
// (0: for ever). Empty, with `error` said, for no frames, frames of differing sizes or a canvas beyond what a
// GIF holds.
Bytes encodeAnimatedGif(const std::vector<AnimationFrame>& frames, int loopCount, QString* error = nullptr,
                        GifRemap remap = GifRemap::Own);

// An animated WebP as that GIF, with its frame times and loop count. Empty, with `error` said,
// when its frames cannot be read (see readAnimationFrames) or written.
Bytes animationAsGif(std::string_view webp, QString* error = nullptr);

}  // namespace mw::picture
