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

enum class Road {
  Still,
  AddressedGif,  // the address says GIF but the box holds no animation: downloaded again
  AnimatedGif,   // the box holds an animation: copied as it is, whatever its address
};

// The road a copy or drag of 图片框`box` takes. Only 图片框1..8 show search addresses.
Road roadOf(const Context& ctx, int box) {
  // The box already holds the animation that its address would bring again; "x.GIF" and
  // "x.gif?v=2" keep theirs too rather than being cut to the first frame.
  if (picture::isAnimatedGif(ctx.main.slot(box)->picture())) return Road::AnimatedGif;
  if (box <= 8 && endsInGif(shownAddress(ctx, box))) return Road::AddressedGif;
  return Road::Still;
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
  // A failed download may still bring a body (a site's error page): only a GIF counts. The GIF
  // shown serves instead; bytes that are no GIF are never offered as one.
  const Bytes fresh = road == Road::AddressedGif ? net::fetchPage(shownAddress(ctx, slot)) : Bytes();
  const Bytes& gif = isGif(fresh) ? fresh : ctx.main.slot(slot)->picture();
  const Text file = isGif(gif) ? ctx.pictureFiles.file(gif, "gif") : Text();
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
  const bool gif = roadOf(ctx, box) != Road::Still;
  if (gif && !isGif(picture)) return nullptr;  // what its copy does too
  const QImage still = gif ? QImage() : stillImage(picture);
  const Bytes png = still.isNull() ? Bytes() : pngBytes(picture, still);
  const Bytes& carried = gif ? picture : png;
  const Text file = carried.empty() ? Text() : ctx.pictureFiles.file(carried, gif ? "gif" : "png");
  if (file.empty()) return nullptr;
  ctx.pictureFiles.setInUse(runtime::PictureFiles::Use::Drag, file);
  const QString path = platform::toQString(file);
  return gif ? platform::pictureFileData(path, picture) : platform::stillFileData(path, png);
}

void bindClipboard(forms::HandlerRegistry& registry) {
  const forms::MainForm& f = registry.context().main;
  for (int k = 1; k <= 8; ++k)
    registry.on(f.slot(k), toolkit::Event::LeftDown, [k](const Context& ctx) { copySlotPicture(ctx, k); });
  for (int k = 1; k <= 16; ++k) new DragStarter(registry, k);  // owned by its box
}

}  // namespace mw::actions
