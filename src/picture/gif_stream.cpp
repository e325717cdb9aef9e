// GIF through giflib's record-level reader, so that sizes and counts are checked before
// anything is allocated for a frame.
#include "picture/gif_stream.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "picture/picture_codecs.h"

namespace mw::picture {
namespace {

QString gifError(int code) {
  const char* text = GifErrorString(code);
  return QStringLiteral("GIF: ") + (text ? QString::fromLatin1(text) : QStringLiteral("error %1").arg(code));
}

QRgb paletteColour(const ColorMapObject* map, int index) {
  if (!map || index < 0 || index >= map->ColorCount) return qRgb(0, 0, 0);
  const GifColorType& c = map->Colors[index];
  return qRgb(c.Red, c.Green, c.Blue);
}

}  // namespace

GifStream::GifStream(std::shared_ptr<const Bytes> bytes, DecodeMemory& memory)
    : bytes_(std::move(bytes)), memory_(memory) {
  if (!open()) return;
  size_ = QSize(gif_->SWidth, gif_->SHeight);
  if (!size_.isNull() && !detail::withinLimits(size_.width(), size_.height()))
    fail(QStringLiteral("GIF: picture too large (%1 x %2)").arg(size_.width()).arg(size_.height()));
}

GifStream::~GifStream() {
  if (gif_) {
    int error = 0;
    DGifCloseFile(gif_, &error);
  }
  memory_.give(detail::frameBytes(canvas_.size()) + detail::frameBytes(saved_.size()));
}

bool GifStream::open() {
  if (gif_) {
    int error = 0;
    DGifCloseFile(gif_, &error);
    gif_ = nullptr;
  }
  read_ = 0;
  const auto readFromBytes = [](GifFileType* gif, GifByteType* buffer, int size) {
    auto* self = static_cast<GifStream*>(gif->UserData);
    if (size <= 0) return 0;
    const std::size_t n = std::min(std::size_t(size), self->bytes_->size() - self->read_);
    std::memcpy(buffer, self->bytes_->data() + self->read_, n);
    self->read_ += n;
    return int(n);
  };
  int error = 0;
  gif_ = DGifOpen(this, readFromBytes, &error);
  if (!gif_) fail(gifError(error));
  return gif_ != nullptr;
}

void GifStream::fail(const QString& why) {
  ended_ = true;
  if (framesRead_ == 0 && canvas_.isNull()) error_ = why;
}

bool GifStream::more() {
  if (pending_) return true;
  if (ended_ || !gif_) return false;
  for (;;) {
    GifRecordType record = UNDEFINED_RECORD_TYPE;
    if (DGifGetRecordType(gif_, &record) == GIF_ERROR) {
      fail(gifError(gif_->Error));
      return false;
    }
    if (record == TERMINATE_RECORD_TYPE) {
      fail(QStringLiteral("GIF: no frames"));
      return false;
    }
    if (record == IMAGE_DESC_RECORD_TYPE) {
      pending_ = true;
      return true;
    }
    if (record != EXTENSION_RECORD_TYPE) continue;
    int code = 0;
    GifByteType* ext = nullptr;
    if (DGifGetExtension(gif_, &code, &ext) == GIF_ERROR) {
      fail(gifError(gif_->Error));
      return false;
    }
    if (code == GRAPHICS_EXT_FUNC_CODE && ext && ext[0] >= 4) {
      GraphicsControlBlock gcb{};
      DGifExtensionToGCB(ext[0], ext + 1, &gcb);
      control_.disposal = gcb.DisposalMode;
      control_.delayMs = gcb.DelayTime <= 1 ? kShortDelayMs : gcb.DelayTime * 10;
      control_.transparent = gcb.TransparentColor;
    }
    const bool looping =
        code == APPLICATION_EXT_FUNC_CODE && ext && ext[0] == 11 &&
        (std::memcmp(ext + 1, "NETSCAPE2.0", 11) == 0 || std::memcmp(ext + 1, "ANIMEXTS1.0", 11) == 0);
    for (bool first = true; ext; first = false) {
      if (DGifGetExtensionNext(gif_, &ext) == GIF_ERROR) {
        fail(gifError(gif_->Error));
        return false;
      }
      // Its first sub-block: 1, then the repeats after the first play (0: for ever).
      if (looping && first && ext && ext[0] >= 3 && ext[1] == 1) {
        const int repeats = ext[2] | (ext[3] << 8);
        loopCount_ = repeats == 0 ? 0 : repeats + 1;
      }
    }
  }
}

bool GifStream::next(Frame& frame) {
  if (!more()) return false;
  pending_ = false;
  if (framesRead_ >= kMaxFrames) {
    ended_ = true;
    return false;
  }
  return decodeFrame(frame);
}

void GifStream::dispose(QRect& changed) {
  if (lastDisposal_ == DISPOSE_BACKGROUND) {
    for (int y = lastArea_.top(); y <= lastArea_.bottom(); ++y) {
      auto* px = reinterpret_cast<QRgb*>(canvas_.scanLine(y));
      std::fill(px + lastArea_.left(), px + lastArea_.right() + 1, 0u);
    }
    changed |= lastArea_;
  } else if (lastDisposal_ == DISPOSE_PREVIOUS && !saved_.isNull()) {
    for (int y = 0; y < saved_.height(); ++y)
      std::memcpy(canvas_.scanLine(lastArea_.top() + y) + std::size_t(lastArea_.left()) * 4,
                  saved_.constScanLine(y), std::size_t(saved_.width()) * 4);
    changed |= lastArea_;
    memory_.give(detail::frameBytes(saved_.size()));
    saved_ = QImage();
  }
  lastDisposal_ = DISPOSAL_UNSPECIFIED;
}

namespace {

// The order in which a frame's rows are stored: interlaced frames hold them in four passes.
std::vector<int> rowOrder(const GifImageDesc& desc) {
  std::vector<int> rows;
  rows.reserve(std::size_t(desc.Height));
  if (desc.Interlace) {
    static constexpr int kStart[] = {0, 4, 2, 1}, kStep[] = {8, 8, 4, 2};
    for (int pass = 0; pass < 4; ++pass)
      for (int y = kStart[pass]; y < desc.Height; y += kStep[pass]) rows.push_back(y);
  } else {
    for (int y = 0; y < desc.Height; ++y) rows.push_back(y);
  }
  return rows;
}

}  // namespace

bool GifStream::readFrameHeader() {
  if (DGifGetImageDesc(gif_) == GIF_ERROR) {
    fail(gifError(gif_->Error));
    return false;
  }
  const GifImageDesc& desc = gif_->Image;
  if (!detail::withinLimits(desc.Width, desc.Height)) {
    fail((desc.Width <= 0 || desc.Height <= 0 ? QStringLiteral("GIF: empty frame (%1 x %2)")
                                              : QStringLiteral("GIF: frame too large (%1 x %2)"))
             .arg(desc.Width)
             .arg(desc.Height));
    return false;
  }
  return true;
}

bool GifStream::makeCanvas(const GifImageDesc& desc) {
  // A zero logical screen is taken from the first frame, as viewers do.
  if (size_.isNull()) {
    size_ = QSize(desc.Left + desc.Width, desc.Top + desc.Height);
    if (!detail::withinLimits(size_.width(), size_.height())) {
      fail(QStringLiteral("GIF: picture too large (%1 x %2)").arg(size_.width()).arg(size_.height()));
      return false;
    }
  }
  Reservation canvas(memory_, detail::frameBytes(size_));
  if (!canvas) {
    fail(QStringLiteral("GIF: too large to show (%1 x %2)").arg(size_.width()).arg(size_.height()));
    return false;
  }
  canvas_ = QImage(size_, QImage::Format_ARGB32_Premultiplied);
  if (canvas_.isNull()) {
    fail(QStringLiteral("GIF: out of memory"));
    return false;
  }
  canvas.keep();
  canvas_.fill(0);
  return true;
}

void GifStream::drawRows(const GifImageDesc& desc, QRect area) {
  const ColorMapObject* map = desc.ColorMap ? desc.ColorMap : gif_->SColorMap;
  std::vector<GifPixelType> line(std::size_t(desc.Width));
  for (int y : rowOrder(desc)) {
    if (DGifGetLine(gif_, line.data(), desc.Width) == GIF_ERROR) {
      // A cut-off frame still shows what arrived; the pass ends with it.
      ended_ = true;
      break;
    }
    const int cy = desc.Top + y;
    if (cy < area.top() || cy > area.bottom()) continue;
    auto* px = reinterpret_cast<QRgb*>(canvas_.scanLine(cy));
    for (int x = area.left(); x <= area.right(); ++x) {
      const int index = line[std::size_t(x - desc.Left)];
      if (index != control_.transparent) px[x] = paletteColour(map, index);
    }
  }
}

bool GifStream::decodeFrame(Frame& frame) {
  if (!readFrameHeader()) return false;
  const GifImageDesc& desc = gif_->Image;
  if (canvas_.isNull() && !makeCanvas(desc)) return false;
  // Bounds the decoding work of frames that lie mostly off the canvas, too.
  passPixels_ += std::max((long long)size_.width() * size_.height(), (long long)desc.Width * desc.Height);
  if (passPixels_ > kMaxPassPixels) {
    ended_ = true;
    return false;
  }

  QRect changed;
  if (framesRead_ == 0) {
    changed = canvas_.rect();
    lastDisposal_ = DISPOSAL_UNSPECIFIED;
  } else {
    dispose(changed);
  }
  const QRect area = QRect(desc.Left, desc.Top, desc.Width, desc.Height) & canvas_.rect();
  if (control_.disposal == DISPOSE_PREVIOUS && !area.isEmpty()) {
    if (!memory_.take(detail::frameBytes(area.size()))) {
      ended_ = true;
      return false;
    }
    saved_ = canvas_.copy(area);
    if (saved_.isNull()) {
      memory_.give(detail::frameBytes(area.size()));
      ended_ = true;
      return false;
    }
  }
  drawRows(desc, area);

  frame.changed = changed | area;
  frame.delayMs = control_.delayMs;
  lastDisposal_ = control_.disposal;
  lastArea_ = area;
  control_ = Control{};
  ++framesRead_;
  return true;
}

void GifStream::rewind() {
  memory_.give(detail::frameBytes(saved_.size()));
  saved_ = QImage();
  pending_ = false;
  ended_ = false;
  control_ = Control{};
  lastDisposal_ = DISPOSAL_UNSPECIFIED;
  framesRead_ = 0;
  passPixels_ = 0;
  if (!canvas_.isNull()) canvas_.fill(0);
  open();
}

QImage GifStream::takeCanvas() { return std::exchange(canvas_, QImage()); }

namespace detail {

DecodedPicture decodeGif(std::string_view bytes, const DecodeTarget& target) {
  DecodedPicture out;
  out.format = PictureFormat::Gif;
  GifStream stream(std::make_shared<const Bytes>(bytes), *target.memory);
  GifStream::Frame frame;
  const bool read = stream.next(frame);
  out.naturalSize = stream.size();
  if (!read) {
    out.error = stream.error().isEmpty() ? QStringLiteral("GIF: no frames") : stream.error();
    return out;
  }
  out.image = stream.takeCanvas();
  return out;
}

}  // namespace detail
}  // namespace mw::picture
