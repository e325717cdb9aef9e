#include "actions/clipboard.h"

#include <QApplication>
#include <QBuffer>
#include <QDrag>
#include <QMimeData>
#include <QMouseEvent>
#include <QTimer>
#include <memory>

#include "forms/notices.h"
#include "net/fetch_page.h"
#include "picture/decode_pool.h"
#include "picture/gif_encoder.h"
#include "picture/picture_decoder.h"
#include "platform/clipboard.h"
#include "platform/qt_text.h"
#include "runtime/picture_files.h"

namespace mw::actions {
namespace {

using forms::Context;

// The address shown in 图片框`slot`; empty beyond the list.
Text shownAddress(const Context& ctx, int slot) {
  const TextArray& urls = ctx.state.search.searchShownUrls;
  return slot >= 1 && std::size_t(slot) <= urls.size() ? urls[std::size_t(slot) - 1] : Text();
}

// Byte for byte and case-sensitive: "x.GIF" and "x.gif?v=1" are not.
bool endsInGif(const Text& address) { return address.ends_with("gif"); }

bool isGif(const Bytes& bytes) { return picture::sniffPictureFormat(bytes) == picture::PictureFormat::Gif; }

// Chats take an animation from the clipboard only as a GIF.
bool isAnimation(const Bytes& bytes) {
  return picture::isAnimatedGif(bytes) || picture::isAnimatedWebp(bytes);
}

enum class Road {
  Still,
  AddressedGif,  // the address says GIF: downloaded again, the box's bytes serving when that fails
  Animation,     // the box holds an animation: copied as it is, as a GIF
};

// The road a copy or drag of 图片框`box` takes. Only 图片框1..8 show search addresses.
Road roadOf(const Context& ctx, int box) {
  if (box <= 8 && endsInGif(shownAddress(ctx, box))) return Road::AddressedGif;
  // "x.GIF" and "x.gif?v=2" keep their animation rather than being cut to the first frame.
  if (isAnimation(ctx.main.slot(box)->picture())) return Road::Animation;
  return Road::Still;
}

// `bytes` as a GIF: a GIF as it is, an animated WebP converted (on a decoding thread while the
// window keeps going; the last one converted is kept, as a copy is often dragged next); empty
// for anything else or a WebP that cannot be converted.
Bytes gifOf(const Bytes& bytes) {
  if (isGif(bytes)) return bytes;
  if (!picture::isAnimatedWebp(bytes)) return {};
  static Bytes lastWebp, lastGif;
  if (bytes == lastWebp) return lastGif;
  auto gif = std::make_shared<Bytes>();
  if (!picture::runWhileWaiting(
          [gif, webp = std::make_shared<const Bytes>(bytes)] { *gif = picture::animationAsGif(*webp); }))
    return {};
  lastWebp = bytes, lastGif = *gif;
  return lastGif;
}

// The first frame at full size, null when the bytes cannot be decoded. Decoded for this call
// only, on a decoding thread while the window keeps going.
QImage stillImage(const Bytes& bytes) {
  const picture::DecodedPicture decoded = picture::decodeWhileWaiting(bytes);
  return decoded.ok() ? decoded.image : QImage();
}

Bytes pngBytes(const Bytes& bytes, const QImage& still) {
  if (picture::sniffPictureFormat(bytes) == picture::PictureFormat::Png) return bytes;
  QByteArray png;
  QBuffer buffer(&png);
  buffer.open(QIODevice::WriteOnly);
  return still.save(&buffer, "PNG") ? Bytes(png.constData(), std::size_t(png.size())) : Bytes();
}

// Starts a drag once the left button, pressed on the box, has moved the platform's drag
// distance. It only watches: the press still reaches the box's own handler.
class DragStarter : public QObject {
 public:
  DragStarter(const forms::HandlerRegistry& registry, int box)
      : QObject(registry.context().main.slot(box)), registry_(registry), box_(box) {
    parent()->installEventFilter(this);
  }

 protected:
  bool eventFilter(QObject*, QEvent* event) override {
    switch (event->type()) {
      case QEvent::MouseButtonPress: {
        const auto* e = static_cast<QMouseEvent*>(event);
        pressed_ = e->button() == Qt::LeftButton;
        pressAt_ = e->position().toPoint();
        break;
      }
      case QEvent::MouseMove: {
        const auto* e = static_cast<QMouseEvent*>(event);
        if (pressed_ && (e->buttons() & Qt::LeftButton) &&
            (e->position().toPoint() - pressAt_).manhattanLength() > QApplication::startDragDistance()) {
          pressed_ = false;
          start();
        }
        break;
      }
      case QEvent::MouseButtonRelease:
        pressed_ = false;
        break;
      default:
        break;
    }
    return false;
  }

 private:
  void start() {
    if (registry_.gate().busy()) return;  // no drag beside a running handler
    std::unique_ptr<QMimeData> data = pictureDragData(registry_.context(), box_);
    if (!data) return;
    auto* drag = new QDrag(parent());  // Qt deletes it when the drag is over
    drag->setMimeData(data.release());
    const QImage frame = registry_.context().main.slot(box_)->pictureView().currentFrame();
    if (!frame.isNull())
      drag->setPixmap(
          QPixmap::fromImage(frame.scaled(96, 96, Qt::KeepAspectRatio, Qt::SmoothTransformation)));
    platform::runFileDrag(*drag);
  }

  const forms::HandlerRegistry& registry_;
  int box_;
  bool pressed_ = false;
  QPoint pressAt_;
};

// The chat comes back in front; the tip goes with the window it stands on. A copy after
// another restarts the wait.
void hideOnceTipShown(const Context& ctx) {
  toolkit::Window* window = ctx.main.主窗口;
  auto* timer = window->findChild<QTimer*>(QStringLiteral("hideAfterCopy"), Qt::FindDirectChildrenOnly);
  if (!timer) {
    timer = new QTimer(window);
    timer->setObjectName(QStringLiteral("hideAfterCopy"));
    timer->setSingleShot(true);
    QObject::connect(timer, &QTimer::timeout, window, [tip = ctx.main.气球提示框1, window] {
      tip->hideNow();
      window->hide();
    });
  }
  timer->start(toolkit::BalloonTip::kDelayMs + kCopiedGlanceMs);
}

}  // namespace

bool copyPictureToClipboard(const Context& ctx, const Bytes& picture) {
  const QImage still = stillImage(picture);
  if (still.isNull() || !platform::placeImageOnClipboard(still)) return false;
  ctx.pictureFiles.setInUse(runtime::PictureFiles::Use::Clipboard, {});
  return true;
}

bool copyGifViaBrowser(const Context& ctx, int slot, bool& placed) {
  const Road road = roadOf(ctx, slot);
  if (road == Road::Still) return false;
  // A failed download may still bring a body (a site's error page): only a GIF (or an animation
  // made one) counts. The box's serves instead; bytes that are no GIF are never offered as one.
  Bytes gif = road == Road::AddressedGif ? gifOf(net::fetchPage(shownAddress(ctx, slot))) : Bytes();
  if (gif.empty()) gif = gifOf(ctx.main.slot(slot)->picture());
  const Text file = gif.empty() ? Text() : ctx.pictureFiles.file(gif, "gif");
  placed = !file.empty() && platform::placeFileOnClipboard(platform::toQString(file), gif);
  if (placed) ctx.pictureFiles.setInUse(runtime::PictureFiles::Use::Clipboard, file);
  return true;
}

void copySlotPicture(const Context& ctx, int slot) {
  const toolkit::PictureBox* box = ctx.main.slot(slot);
  if (!forms::holdsPicture(ctx, *box)) return;
  bool placed = false;
  if (!copyGifViaBrowser(ctx, slot, placed)) placed = copyPictureToClipboard(ctx, box->picture());
  forms::showCursorTip(ctx, placed ? kCopiedTip : kCopyFailedTip);
  if (placed && ctx.state.settings.hideAfterCopy) hideOnceTipShown(ctx);
}

std::unique_ptr<QMimeData> pictureDragData(const Context& ctx, int box) {
  const Bytes& picture = ctx.main.slot(box)->picture();
  if (picture.empty()) return nullptr;
  const bool gifRoad = roadOf(ctx, box) != Road::Still;
  const Bytes gif = gifRoad ? gifOf(picture) : Bytes();
  if (gifRoad && gif.empty()) return nullptr;  // what its copy does too
  const QImage still = gifRoad ? QImage() : stillImage(picture);
  const Bytes png = still.isNull() ? Bytes() : pngBytes(picture, still);
  const Bytes& carried = gifRoad ? gif : png;
  const Text file = carried.empty() ? Text() : ctx.pictureFiles.file(carried, gifRoad ? "gif" : "png");
  if (file.empty()) return nullptr;
  ctx.pictureFiles.setInUse(runtime::PictureFiles::Use::Drag, file);
  const QString path = platform::toQString(file);
  return gifRoad ? platform::pictureFileData(path, gif) : platform::stillFileData(path, png);
}

void bindClipboard(forms::HandlerRegistry& registry) {
  const forms::MainForm& f = registry.context().main;
  for (int k = 1; k <= 8; ++k)
    registry.on(f.slot(k), toolkit::Event::LeftDown, [k](const Context& ctx) { copySlotPicture(ctx, k); });
  for (int k = 1; k <= 16; ++k) new DragStarter(registry, k);  // owned by its box
}

}  // namespace mw::actions
