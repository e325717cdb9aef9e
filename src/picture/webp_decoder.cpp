// WebP through libwebp (stills) and libwebpdemux's animation decoder (animations). The
// canvas size is read from the header and checked before anything is allocated for it.
#include <webp/decode.h>
#include <webp/demux.h>

#include <QSysInfo>
#include <new>

#include "picture/animation_frames.h"
#include "picture/picture_codecs.h"
#include "picture/webp_stream.h"

namespace mw::picture {
namespace {

constexpr bool kLittleEndian = QSysInfo::ByteOrder == QSysInfo::LittleEndian;

WebPData webpData(std::string_view bytes) {
  return {reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()};
}

QString statusText(VP8StatusCode status) {
  switch (status) {
    case VP8_STATUS_OUT_OF_MEMORY:
      return QStringLiteral("WebP: out of memory");
    case VP8_STATUS_UNSUPPORTED_FEATURE:
      return QStringLiteral("WebP: unsupported feature");
    case VP8_STATUS_NOT_ENOUGH_DATA:
      return QStringLiteral("WebP: truncated");
    default:
      return QStringLiteral("WebP: bad data");
  }
}

}  // namespace

WebpStream::WebpStream(std::shared_ptr<const Bytes> bytes, DecodeMemory& memory)
    : bytes_(std::move(bytes)), memory_(memory) {
  WebPBitstreamFeatures features;
  const VP8StatusCode status =
      WebPGetFeatures(reinterpret_cast<const uint8_t*>(bytes_->data()), bytes_->size(), &features);
  if (status != VP8_STATUS_OK) {
    error_ = statusText(status);
    return;
  }
  size_ = QSize(features.width, features.height);
  if (!detail::withinLimits(features.width, features.height)) {
    error_ = QStringLiteral("WebP: picture too large (%1 x %2)").arg(features.width).arg(features.height);
    return;
  }
  // The decoder keeps the canvas and the canvas before the last disposal; decoding a
  // lossless frame takes about as much again. Taken as one, so that the largest allocation
  // allowed bounds all three.
  const std::size_t canvases = 3 * detail::frameBytes(size_);
  if (!memory_.take(canvases)) {
    error_ = QStringLiteral("WebP: too large to show (%1 x %2)").arg(size_.width()).arg(size_.height());
    return;
  }
  held_ = canvases;
  WebPAnimDecoderOptions options;
  WebPAnimDecoderOptionsInit(&options);
  options.color_mode = kLittleEndian ? MODE_bgrA : MODE_Argb;
  options.use_threads = 0;
  const WebPData data = webpData(*bytes_);
  decoder_ = WebPAnimDecoderNew(&data, &options);
  WebPAnimInfo info;
  if (!decoder_ || !WebPAnimDecoderGetInfo(decoder_, &info)) {
    // The demuxer refuses truncated files and frames that reach past the canvas.
    error_ = QStringLiteral("WebP: bad or truncated animation");
    return;
  }
  frameCount_ = int(std::min<uint32_t>(info.frame_count, INT32_MAX));
  loopCount_ = int(info.loop_count);
  if (frameCount_ == 0) error_ = QStringLiteral("WebP: no frames");
}

WebpStream::~WebpStream() {
  if (decoder_) WebPAnimDecoderDelete(decoder_);
  memory_.give(held_);
}

bool WebpStream::more() {
  return decoder_ && error_.isEmpty() && framesRead_ < std::min(frameCount_, kMaxFrames) &&
         passPixels_ + (long long)size_.width() * size_.height() <= kMaxPassPixels &&
         WebPAnimDecoderHasMoreFrames(decoder_);
}

bool WebpStream::next(Frame& frame) {
  if (!more()) return false;
  passPixels_ += (long long)size_.width() * size_.height();
  uint8_t* pixels = nullptr;
  int timestamp = 0;
  if (!WebPAnimDecoderGetNext(decoder_, &pixels, &timestamp)) {
    if (framesRead_ == 0) error_ = QStringLiteral("WebP: bad frame");
    frameCount_ = framesRead_;  // the pass ends here
    return false;
  }
  canvas_ =
      QImage(pixels, size_.width(), size_.height(), size_.width() * 4, QImage::Format_ARGB32_Premultiplied);
  WebPIterator at;
  QRect area = canvas_.rect();
  int dispose = WEBP_MUX_DISPOSE_NONE;
  frame.delayMs = kShortDelayMs;
  if (WebPDemuxGetFrame(WebPAnimDecoderGetDemuxer(decoder_), framesRead_ + 1, &at)) {
    area = QRect(at.x_offset, at.y_offset, at.width, at.height) & canvas_.rect();
    dispose = at.dispose_method;
    if (at.duration > 10) frame.delayMs = at.duration;
    WebPDemuxReleaseIterator(&at);
  }
  frame.changed = framesRead_ == 0 ? canvas_.rect() : (area | lastDisposed_);
  lastDisposed_ = dispose == WEBP_MUX_DISPOSE_BACKGROUND ? area : QRect();
  ++framesRead_;
  return true;
}

void WebpStream::rewind() {
  if (!decoder_) return;
  WebPAnimDecoderReset(decoder_);
  framesRead_ = 0;
  passPixels_ = 0;
  lastDisposed_ = QRect();
}

namespace detail {

DecodedPicture decodeWebp(std::string_view bytes, const DecodeTarget& target) {
  DecodedPicture out;
  out.format = PictureFormat::Webp;
  WebPDecoderConfig config;
  if (!WebPInitDecoderConfig(&config)) {
    out.error = QStringLiteral("WebP: library mismatch");
    return out;
  }
  const VP8StatusCode status =
      WebPGetFeatures(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), &config.input);
  if (status != VP8_STATUS_OK) {
    out.error = statusText(status);
    return out;
  }
  const int w = config.input.width, h = config.input.height;
  out.naturalSize = QSize(w, h);
  if (!withinLimits(w, h)) {
    out.error = QStringLiteral("WebP: picture too large (%1 x %2)").arg(w).arg(h);
    return out;
  }
  if (config.input.has_animation) {
    // The first frame, composed.
    WebpStream stream(std::make_shared<const Bytes>(bytes), *target.memory);
    FrameStream::Frame frame;
    if (!stream.next(frame)) {
      out.error = stream.error().isEmpty() ? QStringLiteral("WebP: no frames") : stream.error();
      return out;
    }
    Reservation kept(*target.memory, frameBytes(w, h));
    if (!kept) {
      out.error = QStringLiteral("WebP: too large to show (%1 x %2)").arg(w).arg(h);
      return out;
    }
    out.image = stream.canvas().copy();
    if (out.image.isNull()) {
      out.error = QStringLiteral("WebP: out of memory");
      return out;
    }
    kept.keep();
    return out;
  }
  // A still shown smaller is scaled while it is decoded (area-averaged by libwebp).
  QSize size(w, h);
  if (target.shownSize) {
    const QSize shown = target.shownSize(size);
    if (shown.width() < w && shown.height() < h && !shown.isEmpty()) size = shown;
  }
  Reservation frame(*target.memory, frameBytes(size));
  // A lossless picture is decoded whole before it is converted, the alpha of a lossy one too.
  const std::size_t work = config.input.format == 2 ? frameBytes(w, h)
                           : config.input.has_alpha ? frameBytes(w, h) / 4
                                                    : 0;
  Reservation scratch(*target.memory, work);
  if (!frame || (work && !scratch)) {
    out.error = QStringLiteral("WebP: too large to show (%1 x %2)").arg(w).arg(h);
    return out;
  }
  QImage image(size, config.input.has_alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
  if (image.isNull()) {
    out.error = QStringLiteral("WebP: out of memory");
    return out;
  }
  if (size != QSize(w, h)) {
    config.options.use_scaling = 1;
    config.options.scaled_width = size.width();
    config.options.scaled_height = size.height();
  }
  // BGRA bytes are ARGB32 on a little-endian machine; without alpha, the A byte is 0xFF.
  config.output.colorspace = kLittleEndian ? MODE_BGRA : MODE_ARGB;
  config.output.is_external_memory = 1;
  config.output.u.RGBA.rgba = image.bits();
  config.output.u.RGBA.stride = int(image.bytesPerLine());
  config.output.u.RGBA.size = std::size_t(image.sizeInBytes());
  const VP8StatusCode decoded =
      WebPDecode(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), &config);
  WebPFreeDecBuffer(&config.output);
  if (decoded != VP8_STATUS_OK) {
    out.error = statusText(decoded);
    return out;
  }
  frame.keep();
  out.image = std::move(image);
  return out;
}

}  // namespace detail

AnimationFrames readAnimationFrames(std::string_view bytes) {
  AnimationFrames out;
  if (sniffPictureFormat(bytes) != PictureFormat::Webp) {
    out.error = QStringLiteral("not a WebP picture");
    return out;
  }
  try {
    DecodeMemory memory(false, kDecodedBudget);
    WebpStream stream(std::make_shared<const Bytes>(bytes), memory);
    out.size = stream.size();
    out.loopCount = stream.loopCount();
    const std::size_t frame = detail::frameBytes(out.size);
    FrameStream::Frame f;
    while (stream.next(f)) {
      // The frames and the decoder's canvases together stay within one budget's size.
      if (memory.held() + frame * (out.frames.size() + 1) > kDecodedBudget) {
        out.frames.clear();
        out.error = QStringLiteral("WebP: too many frames to convert (%1 x %2)")
                        .arg(out.size.width())
                        .arg(out.size.height());
        return out;
      }
      QImage image = stream.canvas().convertToFormat(QImage::Format_RGBA8888);
      if (image.isNull()) throw std::bad_alloc();
      out.frames.push_back({std::move(image), f.delayMs});
    }
    if (out.frames.empty())
      out.error = stream.error().isEmpty() ? QStringLiteral("WebP: no frames") : stream.error();
  } catch (const std::bad_alloc&) {
    out.frames.clear();
    out.error = QStringLiteral("WebP: out of memory");
  }
  return out;
}

}  // namespace mw::picture
