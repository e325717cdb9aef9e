#include "picture/picture.h"

#include <QPainter>
#include <algorithm>
#include <atomic>

#include "picture/decode_pool.h"
#include "picture/gif_animation.h"
#include "picture/picture_codecs.h"
#include "picture/picture_decoder.h"

namespace mw::picture {
namespace {

QRect centredFit(QSize picture, QRect client) {
  QSize size = picture;
  if (picture.width() > client.width() || picture.height() > client.height()) {
    const double scale =
        std::min(double(client.width()) / picture.width(), double(client.height()) / picture.height());
    // Truncated, as the integer geometry of the controls is.
    size = QSize(std::max(1, int(picture.width() * scale)), std::max(1, int(picture.height() * scale)));
  }
  return QRect(client.left() + (client.width() - size.width()) / 2,
               client.top() + (client.height() - size.height()) / 2, size.width(), size.height());
}

const Bytes kNoBytes;

// Drawn many times, converted once.
QImage forDrawing(QImage image) {
  if (image.hasAlphaChannel()) image.convertTo(QImage::Format_ARGB32_Premultiplied);
  return image;
}

}  // namespace

Layout layoutOf(DisplayMode mode) {
  switch (mode) {
    case DisplayMode::Natural:
      return Layout::Natural;
    case DisplayMode::Stretched:
      return Layout::Stretched;
    case DisplayMode::CentredFit:
      return Layout::CentredFit;
  }
  return Layout::Natural;
}

QRect placePicture(QSize picture, QRect client, Layout layout) {
  if (picture.isEmpty()) return QRect();
  switch (layout) {
    case Layout::Natural:
    case Layout::Tiled:
      return QRect(client.topLeft(), picture);
    case Layout::CentredFit:
      return centredFit(picture, client);
    case Layout::Stretched:
      return client;
  }
  return QRect();
}

QRect placePicture(QSize picture, QRect client, DisplayMode mode) {
  return placePicture(picture, client, layoutOf(mode));
}

QImage scaledForDisplay(const QImage& image, QSize size) {
  if (image.isNull() || size.isEmpty() || image.size() == size) return image;
  return image.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

QSize shownSize(QSize natural, const Placement& placement) {
  if (placement.layout == Layout::Natural || placement.layout == Layout::Tiled) return natural;
  const QSize drawn = placePicture(natural, placement.client, placement.layout).size();
  return (QSizeF(drawn) * placement.pixelRatio).toSize().expandedTo(QSize(1, 1));
}

// What a decoding thread hands the window's thread.
struct Picture::Decoded {
  QImage image;
  QSize natural;
  QSize madeFor;
  DecodeMemory memory;
  std::shared_ptr<GifAnimation> animation;
  int delayMs = 0;
  // A JPEG's DCT-scaled decode, larger than shown but far below its full size: kept (and
  // counted) so that another shown size up to it is fitted without decoding again.
  std::shared_ptr<const QImage> source;
};

// The way back from the decoding threads: cleared when the picture goes.
struct Picture::Receiver {
  Picture* picture = nullptr;       // the window thread's
  std::atomic<unsigned> latest{0};  // the generation wanted now: a job for an older one is not done
};

namespace {

// Runs on a decoding thread. A GIF or an animated WebP becomes an animation (a single frame is one too,
// holding its frame); a still is decoded, reduced to its shown size at once, and only that is kept.
Picture::Decoded decodeForDisplay(const std::shared_ptr<const Bytes>& bytes, const Placement& placement) {
  Picture::Decoded out;
  const auto sizeFor = [placement](QSize natural) { return shownSize(natural, placement); };
  const PictureFormat format = sniffPictureFormat(*bytes);
  if (format == PictureFormat::Gif || (format == PictureFormat::Webp && isAnimatedWebp(*bytes))) {
    auto animation = std::make_shared<GifAnimation>(bytes, sizeFor);
    out.natural = animation->naturalSize();
    if (!animation->error().isEmpty()) return out;
    out.image = animation->frame();
    out.madeFor = out.image.size();
    out.delayMs = animation->delayMs();
    out.animation = std::move(animation);
    return out;
  }
  DecodeMemory memory;
  DecodedPicture still = decodePicture(*bytes, {.shownSize = sizeFor, .memory = &memory});
  out.natural = still.naturalSize;
  if (!still.ok()) return out;
  const QSize size = sizeFor(still.naturalSize);
  if (still.image.size() != size) {
    if (!memory.take(detail::frameBytes(size))) return out;
    QImage reduced = scaledForDisplay(still.image, size);
    if (still.image.size() != still.naturalSize && still.image.width() >= size.width() &&
        still.image.height() >= size.height()) {
      out.source = std::make_shared<const QImage>(std::move(still.image));
    } else {
      memory.give(detail::frameBytes(still.image.size()));
    }
    still.image = std::move(reduced);
  }
  out.image = forDrawing(std::move(still.image));
  out.madeFor = size;
  out.memory = std::move(memory);
  return out;
}

// Runs on a decoding thread: the kept source fitted to another shown size.
Picture::Decoded refitForDisplay(const std::shared_ptr<const QImage>& source, QSize natural, QSize size) {
  Picture::Decoded out;
  out.natural = natural;
  DecodeMemory memory;
  if (!memory.take(detail::frameBytes(source->size())) || !memory.take(detail::frameBytes(size))) return out;
  out.image = forDrawing(scaledForDisplay(*source, size));
  out.madeFor = size;
  out.memory = std::move(memory);
  out.source = source;
  return out;
}

}  // namespace

void Picture::supersede() { receiver_->latest.store(++generation_, std::memory_order_relaxed); }

Picture::Picture(QObject* parent) : QObject(parent), receiver_(std::make_shared<Receiver>()) {
  receiver_->picture = this;
  timer_.setSingleShot(true);
  connect(&timer_, &QTimer::timeout, this, [this] { tick(); });
}

Picture::~Picture() { receiver_->picture = nullptr; }

const Bytes& Picture::bytes() const { return bytes_ ? *bytes_ : kNoBytes; }

bool Picture::animated() const { return animation_ && animation_->animated(); }

void Picture::setBytes(Bytes bytes, const Placement& placement) {
  if (placement == placement_ && bytes == this->bytes()) return;
  placement_ = placement;
  bytes_ = bytes.empty() ? nullptr : std::make_shared<const Bytes>(std::move(bytes));
  decode(false);
  emit changed();
}

void Picture::setPlacement(const Placement& placement) {
  if (placement == placement_) return;
  placement_ = placement;
  if (!shown()) {
    if (decoding_) decode(false);  // the first decode starts again, for the new place
  } else if (const QSize size = shownSize(natural_, placement_); size == decodedFor_) {
    // What is shown fits again: a refit still on its way is for another size.
    if (decoding_) {
      supersede();
      decoding_ = false;
    }
  } else if (source_ && source_->width() >= size.width() && source_->height() >= size.height()) {
    refit(size);  // the picture shown stays until the new one is made
  } else {
    decode(true);
  }
  emit changed();
}

void Picture::decode(bool keepShowing) {
  supersede();
  timer_.stop();
  next_.reset();
  late_ = false;
  if (!keepShowing) {
    image_ = QImage();
    natural_ = QSize();
    frameIndex_ = 0;
    memory_ = DecodeMemory();
    animation_.reset();
    source_.reset();
  }
  decoding_ = bytes_ != nullptr;
  if (!bytes_) return;
  runDecodeJob([bytes = bytes_, placement = placement_, receiver = receiver_, generation = generation_] {
    if (receiver->latest.load(std::memory_order_relaxed) != generation) return;
    auto decoded = std::make_shared<Decoded>(decodeForDisplay(bytes, placement));
    runOnWindowThread([receiver, generation, decoded] {
      if (receiver->picture) receiver->picture->adopt(generation, std::move(*decoded));
    });
  });
}

// Another size from the kept source; the picture shown stays until the new one is made.
void Picture::refit(QSize size) {
  supersede();
  decoding_ = true;
  runDecodeJob([source = source_, natural = natural_, size, receiver = receiver_, generation = generation_] {
    if (receiver->latest.load(std::memory_order_relaxed) != generation) return;
    auto decoded = std::make_shared<Decoded>(refitForDisplay(source, natural, size));
    runOnWindowThread([receiver, generation, decoded] {
      if (receiver->picture) receiver->picture->adopt(generation, std::move(*decoded));
    });
  });
}

void Picture::adopt(unsigned generation, Decoded&& decoded) {
  if (generation != generation_) return;
  decoding_ = false;
  image_ = std::move(decoded.image);
  image_.setDevicePixelRatio(placement_.pixelRatio);
  natural_ = decoded.natural;
  decodedFor_ = decoded.madeFor;
  memory_ = std::move(decoded.memory);
  animation_ = std::move(decoded.animation);
  source_ = std::move(decoded.source);
  frameIndex_ = 0;
  if (animated()) {
    timer_.start(decoded.delayMs);
    requestFrame();
  }
  emit changed();
}

// The next frame is made while this one shows. Once a whole loop is kept, making it is a
// copy from the cache: done here, without waking a decoding thread for every frame.
void Picture::requestFrame() {
  if (animation_->replaying()) {
    animation_->advance();
    next_ = Frame{animation_->frame(), animation_->index(), animation_->delayMs(), !animation_->animated()};
    return;
  }
  runDecodeJob([animation = animation_, receiver = receiver_, generation = generation_] {
    animation->advance();
    auto frame = std::make_shared<Frame>(
        Frame{animation->frame(), animation->index(), animation->delayMs(), !animation->animated()});
    runOnWindowThread([receiver, generation, frame] {
      if (receiver->picture) receiver->picture->frameArrived(generation, std::move(*frame));
    });
  });
}

void Picture::frameArrived(unsigned generation, Frame&& frame) {
  if (generation != generation_) return;
  if (late_) {
    late_ = false;
    show(std::move(frame));
  } else {
    next_ = std::move(frame);
  }
}

void Picture::tick() {
  if (!next_) {
    late_ = true;
    return;
  }
  Frame frame = std::move(*next_);
  next_.reset();
  show(std::move(frame));
}

void Picture::show(Frame&& frame) {
  image_ = std::move(frame.image);
  image_.setDevicePixelRatio(placement_.pixelRatio);
  frameIndex_ = frame.index;
  if (!frame.last) {  // after the last play, the last frame stays
    timer_.start(frame.delayMs);
    requestFrame();
  }
  emit changed();
}

void Picture::paint(QPainter& painter) const {
  if (image_.isNull()) return;
  const QRect client = placement_.client;
  painter.save();
  painter.setClipRect(client);
  if (placement_.layout == Layout::Tiled) {
    painter.setBrushOrigin(client.topLeft());
    QImage tile = image_;
    tile.setDevicePixelRatio(1);
    painter.fillRect(client, QBrush(tile));
  } else {
    const QRect target = placePicture(natural_, client, placement_.layout);
    if ((QSizeF(target.size()) * placement_.pixelRatio).toSize() == image_.size()) {
      painter.drawImage(target.topLeft(), image_);
    } else {
      painter.drawImage(target, image_);  // until the decode for this size arrives
    }
  }
  painter.restore();
}

}  // namespace mw::picture
