#include "platform/clipboard.h"

#include <QtGui/qguiapplication_platform.h>
#include <fcntl.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <QAbstractNativeEventFilter>
#include <QClipboard>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusUnixFileDescriptor>
#include <QDrag>
#include <QEvent>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHash>
#include <QMimeData>
#include <QPixmap>
#include <QPointer>
#include <QSet>
#include <QUrl>
#include <QWidget>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "picture/picture_decoder.h"

namespace mw::platform {
namespace {

// What is no known still picture is offered as a GIF.
QString imageMime(const Bytes& bytes) {
  const std::string_view type = picture::mimeType(picture::sniffPictureFormat(bytes));
  return type.empty() ? QStringLiteral("image/gif")
                      : QString::fromLatin1(type.data(), qsizetype(type.size()));
}

// The document portal's file transfer, through which sandboxed programs (Flatpak chats) get a
// file that lies where they cannot read: the clipboard carries the transfer's key.
class FileTransfer {
 public:
  // Whether the portal runs (or is started on a call) on the session bus; asked once.
  static bool available() {
    static const bool there = [] {
      QDBusConnection bus = QDBusConnection::sessionBus();
      if (!bus.isConnected()) return false;
      if (bus.interface()->isServiceRegistered(kService)) return true;
      const QDBusMessage reply = bus.call(QDBusMessage::createMethodCall(
          QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
          QStringLiteral("org.freedesktop.DBus"), QStringLiteral("ListActivatableNames")));
      return reply.type() == QDBusMessage::ReplyMessage &&
             reply.arguments().value(0).toStringList().contains(kService);
    }();
    return there;
  }

  // A transfer of the file, kept open for every paste (not stopped after the first); its key,
  // empty when the portal refused.
  static QString start(const QString& path) {
    static const QMetaType registered = qDBusRegisterMetaType<QList<QDBusUnixFileDescriptor>>();
    Q_UNUSED(registered);
    QDBusConnection bus = QDBusConnection::sessionBus();
    QDBusMessage call = method(QStringLiteral("StartTransfer"));
    call << QVariantMap{{QStringLiteral("autostop"), false}};
    const QDBusMessage started = bus.call(call);
    const QString key = started.arguments().value(0).toString();
    if (started.type() != QDBusMessage::ReplyMessage || key.isEmpty()) return {};
    const int fd = ::open(QFile::encodeName(path).constData(), O_PATH | O_CLOEXEC);
    if (fd < 0) return {};
    QDBusMessage add = method(QStringLiteral("AddFiles"));
    add << key << QVariant::fromValue(QList<QDBusUnixFileDescriptor>{QDBusUnixFileDescriptor(fd)})
        << QVariantMap();
    ::close(fd);  // the descriptor above holds its own copy
    if (bus.call(add).type() != QDBusMessage::ReplyMessage) {
      stop(key);
      return {};
    }
    return key;
  }

  static void stop(const QString& key) {
    QDBusMessage call = method(QStringLiteral("StopTransfer"));
    call << key;
    QDBusConnection::sessionBus().call(call, QDBus::NoBlock);
  }

 private:
  static QDBusMessage method(const QString& name) {
    return QDBusMessage::createMethodCall(kService, QStringLiteral("/org/freedesktop/portal/documents"),
                                          QStringLiteral("org.freedesktop.portal.FileTransfer"), name);
  }
  static inline const QString kService = QStringLiteral("org.freedesktop.portal.Documents");
};

// A picture file in the forms it is pasted or dropped in. The picture is read from its file
// when a program asks for it (the file is never rewritten), so that placing the offer costs no
// copy of a large GIF and no HTML is made that no one asks for.
class FileOffer : public QMimeData {
 public:
  enum class Forms { Animated, Still };

  FileOffer(const QString& path, const Bytes& bytes, Forms forms)
      : path_(QFileInfo(path).absoluteFilePath()),
        uri_(QUrl::fromLocalFile(path_).toEncoded()),
        imageType_(imageMime(bytes)) {
    formats_ << kUriList << imageType_;
    if (forms == Forms::Animated) {
      formats_ << kCopiedFiles;
      if (bytes.size() <= kInlinePictureBytes) formats_ << kHtml;
      if (FileTransfer::available()) formats_ << kFileTransfer;
    }
  }
  ~FileOffer() override {
    if (!transferKey_.isEmpty()) FileTransfer::stop(transferKey_);
  }

  QStringList formats() const override { return formats_; }
  bool hasFormat(const QString& type) const override { return formats_.contains(type); }

 protected:
  QVariant retrieveData(const QString& type, QMetaType) const override {
    if (!formats_.contains(type)) return {};
    if (type == kUriList) return QByteArray(uri_ + "\r\n");
    if (type == kCopiedFiles) return QByteArray("copy\n" + uri_);
    if (type == kFileTransfer) {
      // Started when first asked for: most pastes never ask.
      if (transferKey_.isEmpty()) transferKey_ = FileTransfer::start(path_);
      return transferKey_.isEmpty() ? QVariant() : QVariant(transferKey_.toUtf8());
    }
    QFile file(path_);
    const QByteArray bytes = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    if (type == kHtml)
      return QByteArray("<img src=\"data:" + imageType_.toLatin1() + ";base64," + bytes.toBase64() + "\">");
    return bytes;
  }

 private:
  static inline const QString kUriList = QStringLiteral("text/uri-list");
  static inline const QString kCopiedFiles = QStringLiteral("x-special/gnome-copied-files");
  static inline const QString kHtml = QStringLiteral("text/html");
  static inline const QString kFileTransfer = QStringLiteral("application/vnd.portal.filetransfer");

  QString path_;
  QByteArray uri_;
  QString imageType_;
  QStringList formats_;
  mutable QString transferKey_;
};

// Qt's X11 clipboard and drags offer any URI list as text too (text/plain, its X names and
// Mozilla's text/x-moz-url), which text boxes then take as the file's path. While one of our file
// offers holds the clipboard or is dragged, this answers the requests for its targets with its own
// formats only and refuses the text targets; Qt answers the rest. The types a drag lists are
// mended apart (mendDragTypes).
class X11TextTargets : public QAbstractNativeEventFilter {
 public:
  // Installed for the life of the program; nullptr on any platform but X11.
  static X11TextTargets* install() {
    // Offscreen answers as an X11 application too, with no connection.
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    if (QGuiApplication::platformName() != QLatin1String("xcb") || !x11 || !x11->connection()) return nullptr;
    static X11TextTargets filter(x11->connection());
    qGuiApp->installNativeEventFilter(&filter);
    return &filter;
  }

  // The offer on the clipboard, and the one dragged; null once the clipboard has dropped it,
  // or the drag is over.
  QPointer<const QMimeData> offer;
  QPointer<const QMimeData> dragOffer;

  bool nativeEventFilter(const QByteArray& type, void* message, qintptr*) override {
    if (type != "xcb_generic_event_t") return false;
    const auto* event = static_cast<const xcb_generic_event_t*>(message);
    if ((event->response_type & 0x7f) != XCB_SELECTION_REQUEST) return false;
    const auto* request = reinterpret_cast<const xcb_selection_request_event_t*>(event);
    const QMimeData* held = request->selection == clipboard_       ? offer.data()
                            : request->selection == xdndSelection_ ? dragOffer.data()
                                                                   : nullptr;
    if (!held) return false;
    if (request->target == targets_) {
      answerTargets(*request, *held);
      return true;
    }
    if (!textTargets_.contains(request->target)) return false;
    notify(*request, XCB_NONE);
    return true;
  }

  // The types the drag under way lists (XdndTypeList on the window that holds the drag's
  // selection), written again without the text targets Qt put there. Targets read the list when
  // the drag enters them.
  void mendDragTypes() {
    xcb_get_selection_owner_reply_t* owner = xcb_get_selection_owner_reply(
        connection_, xcb_get_selection_owner(connection_, xdndSelection_), nullptr);
    const xcb_window_t source = owner ? owner->owner : XCB_NONE;
    std::free(owner);
    if (source == XCB_NONE) return;
    xcb_get_property_reply_t* reply = xcb_get_property_reply(
        connection_, xcb_get_property(connection_, 0, source, typeList_, XCB_ATOM_ATOM, 0, 1024), nullptr);
    if (reply && reply->format == 32) {
      const auto* types = static_cast<const xcb_atom_t*>(xcb_get_property_value(reply));
      const int count = xcb_get_property_value_length(reply) / int(sizeof(xcb_atom_t));
      QList<xcb_atom_t> kept;
      for (int i = 0; i < count; ++i)
        if (!textTargets_.contains(types[i])) kept << types[i];
      if (kept.size() != count) {
        xcb_change_property(connection_, XCB_PROP_MODE_REPLACE, source, typeList_, XCB_ATOM_ATOM, 32,
                            uint32_t(kept.size()), kept.constData());
        xcb_flush(connection_);
      }
    }
    std::free(reply);
  }

 private:
  explicit X11TextTargets(xcb_connection_t* connection) : connection_(connection) {
    clipboard_ = atom("CLIPBOARD");
    xdndSelection_ = atom("XdndSelection");
    typeList_ = atom("XdndTypeList");
    targets_ = atom("TARGETS");
    for (const char* name : {"MULTIPLE", "TIMESTAMP", "SAVE_TARGETS"}) selectionTargets_ << atom(name);
    textTargets_ << XCB_ATOM_STRING;
    for (const char* name :
         {"UTF8_STRING", "TEXT", "COMPOUND_TEXT", "text/plain", "text/plain;charset=utf-8", "text/x-moz-url"})
      textTargets_ << atom(name);
  }

  xcb_atom_t atom(const QByteArray& name) {
    if (const auto found = atoms_.constFind(name); found != atoms_.cend()) return *found;
    xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(
        connection_, xcb_intern_atom(connection_, 0, uint16_t(name.size()), name.constData()), nullptr);
    const xcb_atom_t atom = reply ? reply->atom : XCB_NONE;
    std::free(reply);
    if (atom != XCB_NONE) atoms_.insert(name, atom);
    return atom;
  }

  void answerTargets(const xcb_selection_request_event_t& request, const QMimeData& held) {
    QList<xcb_atom_t> list{targets_};
    list << selectionTargets_;
    for (const QString& format : held.formats()) list << atom(format.toLatin1());
    // Clients older than the ICCCM name no property; the target then serves.
    const xcb_atom_t property = request.property != XCB_NONE ? request.property : request.target;
    xcb_change_property(connection_, XCB_PROP_MODE_REPLACE, request.requestor, property, XCB_ATOM_ATOM, 32,
                        uint32_t(list.size()), list.constData());
    notify(request, property);
  }

  // Tells the requestor where the answer lies; XCB_NONE: refused.
  void notify(const xcb_selection_request_event_t& request, xcb_atom_t property) {
    xcb_selection_notify_event_t event{};
    event.response_type = XCB_SELECTION_NOTIFY;
    event.time = request.time;
    event.requestor = request.requestor;
    event.selection = request.selection;
    event.target = request.target;
    event.property = property;
    char sent[32] = {};  // X events go as 32 bytes
    static_assert(sizeof event <= sizeof sent);
    std::memcpy(sent, &event, sizeof event);
    xcb_send_event(connection_, 0, request.requestor, XCB_EVENT_MASK_NO_EVENT, sent);
    xcb_flush(connection_);
  }

  xcb_connection_t* connection_;
  QHash<QByteArray, xcb_atom_t> atoms_;
  xcb_atom_t clipboard_ = XCB_NONE;
  xcb_atom_t xdndSelection_ = XCB_NONE;
  xcb_atom_t typeList_ = XCB_NONE;
  xcb_atom_t targets_ = XCB_NONE;
  QList<xcb_atom_t> selectionTargets_;
  QSet<xcb_atom_t> textTargets_;
};

// Qt lists a drag's types when the drag starts, just before it shows the drag's picture and
// looks for the window under the pointer: that show is where the list is mended, before any
// window has been told of the drag.
class DragStartWatch : public QObject {
 public:
  explicit DragStartWatch(X11TextTargets& targets) : targets_(targets) {}
  bool eventFilter(QObject* object, QEvent* event) override {
    if (event->type() == QEvent::Show && object->isWindowType()) targets_.mendDragTypes();
    return false;
  }

 private:
  X11TextTargets& targets_;
};

}  // namespace

QImage snapshotWindow(QWidget* widget) {
  // 24-bit: the window's pixels without what a painter left in an alpha channel.
  QImage image = widget->grab().toImage().convertToFormat(QImage::Format_RGB888);
  image.setDevicePixelRatio(1);
  return image;
}

bool placeImageOnClipboard(const QImage& image) {
  auto* clipboard = QGuiApplication::clipboard();
  if (image.isNull() || !clipboard) return false;
  clipboard->setImage(image);
  return clipboard->mimeData() && clipboard->mimeData()->hasImage();
}

std::unique_ptr<QMimeData> pictureFileData(const QString& path, const Bytes& bytes) {
  return std::make_unique<FileOffer>(path, bytes, FileOffer::Forms::Animated);
}

std::unique_ptr<QMimeData> stillFileData(const QString& path, const Bytes& png) {
  return std::make_unique<FileOffer>(path, png, FileOffer::Forms::Still);
}

Qt::DropAction runFileDrag(QDrag& drag) {
  static X11TextTargets* const textTargets = X11TextTargets::install();
  if (!textTargets) return drag.exec(Qt::CopyAction);
  if (drag.pixmap().isNull()) {
    QPixmap dot(1, 1);  // a drag without a picture shows none, and its list would stay unmended
    dot.fill(Qt::transparent);
    drag.setPixmap(dot);
  }
  textTargets->dragOffer = drag.mimeData();
  DragStartWatch watch(*textTargets);
  qApp->installEventFilter(&watch);
  const Qt::DropAction done = drag.exec(Qt::CopyAction);
  qApp->removeEventFilter(&watch);
  return done;
}

bool placeFileOnClipboard(const QString& path, const Bytes& bytes) {
  auto* clipboard = QGuiApplication::clipboard();
  if (!clipboard || bytes.empty()) return false;
  static X11TextTargets* const textTargets = X11TextTargets::install();
  auto offer = std::make_unique<FileOffer>(path, bytes, FileOffer::Forms::Animated);
  if (textTargets) textTargets->offer = offer.get();
  clipboard->setMimeData(offer.release());  // the clipboard takes ownership
  const QMimeData* now = clipboard->mimeData();
  return now && now->hasUrls();
}

}  // namespace mw::platform
