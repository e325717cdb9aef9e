#include "actions/clipboard.h"

#include <QApplication>
#include <QBuffer>
#include <QDrag>
#include <QMimeData>
#include <QMouseEvent>
#include <QUrl>
#include <memory>

#include "forms/notices.h"
#include "net/fetch_page.h"
#include "runtime/files.h"
#include "runtime/places.h"
#include "toolkit/clipboard.h"
#include "toolkit/decode_pool.h"
#include "toolkit/picture_decoder.h"
#include "toolkit/qt_text.h"

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

bool isGif(const Bytes& bytes) { return toolkit::sniffPictureFormat(bytes) == toolkit::PictureFormat::Gif; }

// A file of that name in our private folder; empty when there is no such folder.
Text privateFile(const char* name) {
  const Text folder = runtime::privateFolder();
  return folder.empty() ? Text() : folder + "/" + name;
}

// The scratch file of the GIF copies, the same for the whole run once there is one.
const Text& gifScratchPath() {
  static Text path;
  if (path.empty()) path = privateFile("memwick-copy.gif");
  return path;
}

// The first frame at full size, null when the bytes cannot be decoded. Decoded for this call
// only, on a decoding thread while the window keeps going.
QImage stillImage(const Bytes& picture) {
  const toolkit::DecodedPicture decoded = toolkit::decodeWhileWaiting(picture);
  return decoded.ok() ? decoded.image : QImage();
}

QByteArray pngBytes(const Bytes& picture, const QImage& still) {
  if (toolkit::sniffPictureFormat(picture) == toolkit::PictureFormat::Png)
    return QByteArray(picture.data(), qsizetype(picture.size()));
  QByteArray png;
  QBuffer buffer(&png);
  buffer.open(QIODevice::WriteOnly);
  return still.save(&buffer, "PNG") ? png : QByteArray();
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
    drag->exec(Qt::CopyAction);
  }

  const forms::HandlerRegistry& registry_;
  int box_;
  bool pressed_ = false;
  QPoint pressAt_;
};

}  // namespace

Text copiedTip() { return "已复制本图片，粘贴到聊天框即可使用"_gbk; }
Text copyFailedTip() { return "图片数据无法识别，未能复制"_gbk; }

bool copyPictureToClipboard(const Context&, const Bytes& picture) {
  const QImage still = stillImage(picture);
  return !still.isNull() && toolkit::placeImageOnClipboard(still);
}

bool copyGifViaBrowser(const Context& ctx, int slot, bool& placed) {
  const Text address = shownAddress(ctx, slot);
  if (!endsInGif(address)) return false;
  // A failed download may still bring a body (a site's error page): only a GIF counts. The GIF
  // shown serves instead; bytes that are no GIF are never offered as one.
  Bytes gif = net::fetchPage(address);
  if (!isGif(gif)) gif = ctx.main.slot(slot)->picture();
  if (!isGif(gif)) {
    placed = false;
    return true;
  }
  const Text& scratch = gifScratchPath();
  toolkit::WebBrowser* browser = ctx.main.彗星网页框1;
  placed = !scratch.empty() && runtime::writeFile(scratch, gif) && browser->navigate(scratch);
  if (placed) {
    browser->selectAll();
    placed = browser->copy();
  }
  return true;
}

void copySlotPicture(const Context& ctx, int slot) {
  const toolkit::PictureBox* box = ctx.main.slot(slot);
  if (box->picture().empty()) {
    showCursorTip(ctx, "无图片数据"_gbk);
    return;
  }
  bool placed = false;
  if (!copyGifViaBrowser(ctx, slot, placed)) placed = copyPictureToClipboard(ctx, box->picture());
  showCursorTip(ctx, placed ? copiedTip() : copyFailedTip());
}

std::unique_ptr<QMimeData> pictureDragData(const Context& ctx, int box) {
  const Bytes& picture = ctx.main.slot(box)->picture();
  if (picture.empty()) return nullptr;
  if (box <= 8 && endsInGif(shownAddress(ctx, box))) {
    if (!isGif(picture)) return nullptr;  // what its copy does too
    const Text file = privateFile("memwick-drag.gif");
    if (file.empty() || !runtime::writeFile(file, picture)) return nullptr;
    return toolkit::pictureFileData(toolkit::toQString(file), picture);
  }
  const QImage still = stillImage(picture);
  const QByteArray png = still.isNull() ? QByteArray() : pngBytes(picture, still);
  const Text file = privateFile("memwick-drag.png");
  if (png.isEmpty() || file.empty() ||
      !runtime::writeFile(file, std::string_view(png.constData(), png.size())))
    return nullptr;
  auto data = std::make_unique<QMimeData>();
  data->setData(QStringLiteral("image/png"), png);
  data->setUrls({QUrl::fromLocalFile(toolkit::toQString(file))});
  return data;
}

void bindClipboard(forms::HandlerRegistry& registry) {
  const forms::MainForm& f = registry.context().main;
  for (int k = 1; k <= 8; ++k)
    registry.on(f.slot(k), toolkit::Event::LeftDown, [k](const Context& ctx) { copySlotPicture(ctx, k); });
  for (int k = 1; k <= 16; ++k) new DragStarter(registry, k);  // owned by its box
}

}  // namespace mw::actions
