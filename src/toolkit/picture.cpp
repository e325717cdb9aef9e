#include "toolkit/picture.h"

#include <QPainter>
#include <algorithm>

namespace mw::toolkit {
namespace {

// Browsers show GIF frames of 10 ms or less for 100 ms; so do we, or such GIFs spin.
int frameDelay(int ms) { return ms <= 10 ? 100 : ms; }

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

}  // namespace

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
  if (picture.isEmpty()) return QRect();
  switch (mode) {
    case DisplayMode::Natural:
      return QRect(client.topLeft(), picture);
    case DisplayMode::Stretched:
      return client;
    case DisplayMode::CentredFit:
      return centredFit(picture, client);
  }
  return QRect();
}

QImage scaledForDisplay(const QImage& image, QSize size) {
  if (image.isNull() || size.isEmpty() || image.size() == size) return image;
  return image.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

Picture::Picture(QObject* parent) : QObject(parent) {
  timer_.setSingleShot(true);
  connect(&timer_, &QTimer::timeout, this, [this] { advance(); });
}

void Picture::setBytes(Bytes bytes, QSize shownAt) {
  bytes_ = std::move(bytes);
  decode(shownAt);
  emit changed();
}

void Picture::decode(QSize shownAt) {
  timer_.stop();
  frame_ = 0;
  scaled_ = QImage();
  scaledFrame_ = -1;
  decoded_ = bytes_.empty() ? DecodedPicture() : decodePicture(bytes_, shownAt);
  decodedFor_ = shownAt;
  if (decoded_.ok() && decoded_.animated()) timer_.start(frameDelay(decoded_.frames[0].delayMs));
}

void Picture::ensureResolution(QSize shownAt) {
  if (!decoded_.ok() || !decodedFor_.isValid() || shownAt.isEmpty()) return;
  const QSize have = decoded_.frames[0].image.size();
  if (have == decoded_.naturalSize) return;
  if (shownAt.width() > have.width() || shownAt.height() > have.height()) decode(shownAt);
}

void Picture::advance() {
  if (!decoded_.animated()) return;
  frame_ = (frame_ + 1) % int(decoded_.frames.size());
  timer_.start(frameDelay(decoded_.frames[frame_].delayMs));
  emit changed();
}

QImage Picture::currentFrame() const {
  if (!decoded_.ok()) return QImage();
  return decoded_.frames[std::min<size_t>(frame_, decoded_.frames.size() - 1)].image;
}

void Picture::drawFrame(QPainter& painter, QRect target) {
  const QImage image = currentFrame();
  if (image.isNull() || target.isEmpty()) return;
  const qreal ratio = painter.device() ? painter.device()->devicePixelRatioF() : 1.0;
  const QSize pixels = (QSizeF(target.size()) * ratio).toSize();
  if (pixels == image.size()) {
    painter.drawImage(target, image);
    return;
  }
  if (scaledFrame_ != frame_ || scaled_.size() != pixels) {
    scaled_ = scaledForDisplay(image, pixels);
    scaled_.setDevicePixelRatio(ratio);
    scaledFrame_ = frame_;
  }
  painter.drawImage(target.topLeft(), scaled_);
}

void Picture::paint(QPainter& painter, QRect client, Layout layout) {
  if (!decoded_.ok()) return;
  if (layout == Layout::CentredFit || layout == Layout::Stretched) ensureResolution(client.size());
  const QSize natural = decoded_.naturalSize;
  if (layout == Layout::Tiled) {
    const QImage image = currentFrame();
    painter.save();
    painter.setBrushOrigin(client.topLeft());
    painter.fillRect(client, QBrush(image.size() == natural ? image : image.scaled(natural)));
    painter.restore();
    return;
  }
  painter.save();
  painter.setClipRect(client);
  drawFrame(painter, placePicture(natural, client, layout));
  painter.restore();
}

void Picture::paint(QPainter& painter, QRect client, DisplayMode mode) {
  if (!decoded_.ok()) return;
  if (mode != DisplayMode::Natural) ensureResolution(client.size());
  painter.save();
  painter.setClipRect(client);
  drawFrame(painter, placePicture(decoded_.naturalSize, client, mode));
  painter.restore();
}

}  // namespace mw::toolkit
