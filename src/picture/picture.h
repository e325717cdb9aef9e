#pragma once
// picture: pictures decoded and played for the controls, off the window's thread; no widgets.
// The picture property of labels, picture boxes and windows: the bytes (read back byte for byte)
// and what is shown of them, decoded for the size shown at; the window's thread only draws.
#include <QImage>
#include <QObject>
#include <QRect>
#include <QTimer>
#include <memory>
#include <optional>

#include "picture/decode_memory.h"
#include "runtime/text.h"

class QPainter;

namespace mw::picture {

class GifAnimation;

// Picture box display modes.
enum class DisplayMode { Natural = 0, Stretched = 1, CentredFit = 2 };
// Window and label picture layouts.
enum class Layout { Natural = 0, Tiled = 1, CentredFit = 2, Stretched = 3 };

Layout layoutOf(DisplayMode mode);

// Where a picture of `picture` size lands in `client`. Tiled gives the first tile.
QRect placePicture(QSize picture, QRect client, Layout layout);
QRect placePicture(QSize picture, QRect client, DisplayMode mode);

// `image` resampled to `size` for display: area-averaged when shrinking (no aliasing, unlike the
// painter's per-pixel sampling), bilinear when enlarging.
QImage scaledForDisplay(const QImage& image, QSize size);

// How a control lays its picture out.
struct Placement {
  QRect client;
  Layout layout = Layout::Natural;
  qreal pixelRatio = 1;
  bool operator==(const Placement&) const = default;
};

// The size, in device pixels, a picture of `natural` size is drawn at.
QSize shownSize(QSize natural, const Placement& placement);

class Picture : public QObject {
  Q_OBJECT
 public:
  explicit Picture(QObject* parent = nullptr);
  ~Picture() override;

  // Takes the bytes as they are (an empty buffer clears) and has them decoded for `placement`.
  // Until that is done the control shows nothing; the same bytes again change nothing.
  void setBytes(Bytes bytes, const Placement& placement);
  // The control's area or layout changed; a picture shown at another size is decoded again
  // (the old one is drawn scaled meanwhile).
  void setPlacement(const Placement& placement);

  const Bytes& bytes() const;
  bool empty() const { return bytes().empty(); }
  // A decode of the bytes is under way.
  bool decoding() const { return decoding_; }
  // There is a picture to show: false for no bytes, undecodable ones, and a picture refused
  // for its size or for want of room in the decoded-memory budget.
  bool shown() const { return !image_.isNull(); }
  QSize naturalSize() const { return natural_; }
  bool animated() const;
  int frameIndex() const { return frameIndex_; }
  // The frame shown now, at the size it is shown at.
  QImage currentFrame() const { return image_; }

  // Draws the current frame into the placement's client area.
  void paint(QPainter& painter) const;

  struct Frame {
    QImage image;
    int index = 0;
    int delayMs = 0;
    bool last = false;  // the animation ends on it
  };
  struct Decoded;

 signals:
  void changed();

 private:
  struct Receiver;
  // A new generation: what is still on its way for an older one is dropped.
  void supersede();
  void decode(bool keepShowing);
  void refit(QSize size);
  void adopt(unsigned generation, Decoded&& decoded);
  void requestFrame();
  void frameArrived(unsigned generation, Frame&& frame);
  void show(Frame&& frame);
  void tick();

  std::shared_ptr<const Bytes> bytes_;
  Placement placement_;
  unsigned generation_ = 0;
  bool decoding_ = false;
  QImage image_;
  QSize natural_;
  QSize decodedFor_;
  DecodeMemory memory_;
  std::shared_ptr<GifAnimation> animation_;
  std::shared_ptr<const QImage> source_;  // see Decoded::source
  std::shared_ptr<Receiver> receiver_;
  int frameIndex_ = 0;
  bool late_ = false;  // the timer ran out before the next frame was made
  std::optional<Frame> next_;
  QTimer timer_;
};

}  // namespace mw::picture
