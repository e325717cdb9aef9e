#pragma once
// The picture property of labels, picture boxes and windows: the byte buffer itself (read back
// byte for byte), its decoded frames, and the animation of a GIF.
#include <QImage>
#include <QObject>
#include <QRect>
#include <QTimer>

#include "runtime/text.h"
#include "toolkit/picture_decoder.h"

class QPainter;

namespace mw::toolkit {

// Picture box display modes.
enum class DisplayMode { Natural = 0, Stretched = 1, CentredFit = 2 };
// Window and label picture layouts.
enum class Layout { Natural = 0, Tiled = 1, CentredFit = 2, Stretched = 3 };

// Where a picture of `picture` size lands in `client`. Tiled gives the first tile.
QRect placePicture(QSize picture, QRect client, Layout layout);
QRect placePicture(QSize picture, QRect client, DisplayMode mode);

// `image` resampled to `size` for display: area-averaged when shrinking (no aliasing, unlike the
// painter's per-pixel sampling), bilinear when enlarging.
QImage scaledForDisplay(const QImage& image, QSize size);

class Picture : public QObject {
  Q_OBJECT
 public:
  explicit Picture(QObject* parent = nullptr);

  // Takes the bytes as they are; an empty buffer clears. `shownAt` lets a large JPEG decode
  // smaller; the picture is decoded again if it is later shown larger than it was decoded.
  void setBytes(Bytes bytes, QSize shownAt = QSize());
  const Bytes& bytes() const { return bytes_; }
  bool empty() const { return bytes_.empty(); }
  // Decoded successfully (an empty or undecodable buffer shows nothing).
  bool shown() const { return decoded_.ok(); }
  QSize naturalSize() const { return decoded_.naturalSize; }
  const DecodedPicture& decoded() const { return decoded_; }
  int frameIndex() const { return frame_; }
  QImage currentFrame() const;

  // Paints the current frame into `client`.
  void paint(QPainter& painter, QRect client, Layout layout);
  void paint(QPainter& painter, QRect client, DisplayMode mode);

 signals:
  void changed();

 private:
  void decode(QSize shownAt);
  void ensureResolution(QSize shownAt);
  void advance();
  void drawFrame(QPainter& painter, QRect target);

  Bytes bytes_;
  DecodedPicture decoded_;
  // The current frame as last drawn at a size other than its own; rebuilt only when the frame
  // or the size changes, so repaints are plain copies.
  QImage scaled_;
  int scaledFrame_ = -1;
  QSize decodedFor_;
  int frame_ = 0;
  QTimer timer_;
};

}  // namespace mw::toolkit
