#include "picture/gif_animation.h"

#include <cstring>

#include "picture/picture_codecs.h"

namespace mw::picture {
namespace {

void copyArea(const QImage& from, QPoint fromAt, QImage& to, QRect area) {
  for (int y = 0; y < area.height(); ++y)
    std::memcpy(to.scanLine(area.top() + y) + std::size_t(area.left()) * 4,
                from.constScanLine(fromAt.y() + y) + std::size_t(fromAt.x()) * 4,
                std::size_t(area.width()) * 4);
}

}  // namespace

GifAnimation::GifAnimation(std::shared_ptr<const Bytes> bytes, const std::function<QSize(QSize)>& shownSize,
                           std::size_t cacheBudget)
    : cacheBudget_(cacheBudget) {
  stream_ = FrameStream::open(std::move(bytes), memory_);
  FrameStream::Frame first;
  if (!stream_ || !stream_->next(first)) {
    error_ = !stream_                     ? QStringLiteral("not an animation")
             : stream_->error().isEmpty() ? QStringLiteral("no frames")
                                          : stream_->error();
    stream_.reset();
    return;
  }
  natural_ = stream_->size();
  const QSize shown = (shownSize ? shownSize(natural_) : natural_).expandedTo(QSize(1, 1));
  if (shown != natural_) resampler_.emplace(natural_, shown);
  // The frame on show and the one made after it, which the window holds side by side.
  Reservation onShow(memory_, detail::frameBytes(shown));
  Reservation after(memory_, detail::frameBytes(shown));
  if (!onShow || !after) {
    error_ = QStringLiteral("too large to show (%1 x %2)").arg(shown.width()).arg(shown.height());
    stream_.reset();
    return;
  }
  shown_ = QImage(shown, QImage::Format_ARGB32_Premultiplied);
  if (shown_.isNull()) {
    error_ = QStringLiteral("out of memory");
    stream_.reset();
    return;
  }
  onShow.keep();
  draw(first.changed);
  animated_ = stream_->more();
  loopCount_ = stream_->loopCount();
  if (!animated_) {
    stream_.reset();  // no frame comes after this one
    return;
  }
  after.keep();
  delayMs_ = first.delayMs;
  keep(shown_.rect(), first.delayMs);
}

GifAnimation::~GifAnimation() {
  // The stream gives its canvas back to memory_ itself, before memory_ goes.
  stream_.reset();
}

QRect GifAnimation::draw(QRect changed) {
  if (resampler_) {
    const QRect area = resampler_->affected(changed);
    resampler_->resample(stream_->canvas(), shown_, area);
    return area;
  }
  const QRect area = changed & shown_.rect();
  copyArea(stream_->canvas(), area.topLeft(), shown_, area);
  return area;
}

void GifAnimation::keep(QRect area, int delayMs) {
  if (!caching_) return;
  const std::size_t bytes = detail::frameBytes(area.size());
  if (keptBytes_ + bytes > cacheBudget_ || !memory_.take(bytes)) {
    forgetKept();
    return;
  }
  kept_.push_back({shown_.copy(area), area.topLeft(), delayMs});
  keptBytes_ += bytes;
}

void GifAnimation::forgetKept() {
  caching_ = false;
  kept_.clear();
  kept_.shrink_to_fit();
  memory_.give(keptBytes_);
  keptBytes_ = 0;
}

void GifAnimation::apply(const Change& change) {
  copyArea(change.pixels, QPoint(), shown_, QRect(change.at, change.pixels.size()));
  delayMs_ = change.delayMs;
}

// The play that just ended was the last: the frame on show stays.
bool GifAnimation::lastPlay() {
  ++played_;
  if (loopCount_ == 0 || played_ < loopCount_) return false;
  animated_ = false;
  memory_.give(detail::frameBytes(shown_.size()));  // no frame is made after this one
  return true;
}

void GifAnimation::advance() {
  if (!animated_) return;
  if (replaying_) {
    if (index_ + 1 == int(kept_.size()) && lastPlay()) {
      forgetKept();
      return;
    }
    index_ = (index_ + 1) % int(kept_.size());
    apply(kept_[std::size_t(index_)]);
    return;
  }
  FrameStream::Frame frame;
  if (stream_->next(frame)) {
    ++index_;
  } else {
    if (loopCount_ == 0) loopCount_ = stream_->loopCount();  // a GIF's count may come late
    if (lastPlay()) {
      stream_.reset();
      forgetKept();
      return;
    }
    if (caching_) {
      // The whole loop is kept: the canvas is no longer needed.
      replaying_ = true;
      stream_.reset();
      index_ = 0;
      apply(kept_.front());
      return;
    }
    stream_->rewind();
    if (!stream_->next(frame)) {
      // The file gave its first frame once, but not again (its saved area refused for want
      // of memory, say): the frame on show stays, and nothing more is made.
      animated_ = false;
      stream_.reset();
      memory_.give(detail::frameBytes(shown_.size()));
      return;
    }
    index_ = 0;
  }
  delayMs_ = frame.delayMs;
  keep(draw(frame.changed), frame.delayMs);
}

}  // namespace mw::picture
