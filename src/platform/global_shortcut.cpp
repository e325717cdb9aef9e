#include "platform/global_shortcut.h"

#include <QtGui/qguiapplication_platform.h>
#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>
#include <xkbcommon/xkbcommon.h>

#include <QAbstractNativeEventFilter>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QGuiApplication>
#include <QTimer>
#include <algorithm>
#include <cstdlib>
#include <functional>
#include <optional>
#include <utility>
#include <vector>

namespace mw::platform {

// One way of binding the key. It reports what it found through the owner's callbacks, at once
// or, where the desktop answers later, then.
class ShortcutRoute {
 public:
  struct Chord {
    Qt::KeyboardModifiers modifiers;  // of Ctrl, Alt, Shift and Meta only
    xkb_keysym_t keysym;
  };
  using Fire = std::function<void(const QByteArray& token, quint32 x11Time)>;
  using Report = std::function<void(bool active, const QString& problem)>;

  virtual ~ShortcutRoute() = default;
  // Binds `chord` (null: nothing), replacing what was bound; `keys` names it to the user.
  virtual void bind(const Chord* chord, const QString& keys) = 0;
};

namespace {

using Chord = ShortcutRoute::Chord;

QString bindItYourself(const QString& keys) {
  return QStringLiteral(
             "请在桌面的键盘设置里把命令 memwick --toggle 绑定到 %1：GNOME 在“设置 → 键盘 → 自定义快捷键”，"
             "KDE 在“系统设置 → 快捷键 → 自定义快捷键”。")
      .arg(keys);
}

// Qt names a character key by its character (a letter in upper case); the rest by a code of its own.
xkb_keysym_t keysymOf(int key) {
  static const std::pair<int, xkb_keysym_t> named[] = {
      {Qt::Key_Escape, XKB_KEY_Escape},
      {Qt::Key_Tab, XKB_KEY_Tab},
      {Qt::Key_Backspace, XKB_KEY_BackSpace},
      {Qt::Key_Return, XKB_KEY_Return},
      {Qt::Key_Enter, XKB_KEY_KP_Enter},
      {Qt::Key_Insert, XKB_KEY_Insert},
      {Qt::Key_Delete, XKB_KEY_Delete},
      {Qt::Key_Pause, XKB_KEY_Pause},
      {Qt::Key_Print, XKB_KEY_Print},
      {Qt::Key_Home, XKB_KEY_Home},
      {Qt::Key_End, XKB_KEY_End},
      {Qt::Key_Left, XKB_KEY_Left},
      {Qt::Key_Up, XKB_KEY_Up},
      {Qt::Key_Right, XKB_KEY_Right},
      {Qt::Key_Down, XKB_KEY_Down},
      {Qt::Key_PageUp, XKB_KEY_Prior},
      {Qt::Key_PageDown, XKB_KEY_Next},
      {Qt::Key_Menu, XKB_KEY_Menu},
  };
  if (key >= Qt::Key_F1 && key <= Qt::Key_F35) return XKB_KEY_F1 + xkb_keysym_t(key - Qt::Key_F1);
  for (const auto& [qt, keysym] : named)
    if (qt == key) return keysym;
  if (key > 0 && key < Qt::Key_Escape && QChar::isPrint(char32_t(key)))
    return xkb_keysym_to_lower(xkb_utf32_to_keysym(QChar::toLower(char32_t(key))));
  return XKB_KEY_NoSymbol;
}

// The one key combination of `keys`, or why it cannot be a global shortcut.
std::optional<Chord> chordOf(const QKeySequence& keys, const QString& text, QString* problem) {
  if (keys.isEmpty()) return std::nullopt;
  if (keys.count() > 1) {
    *problem =
        QStringLiteral("全局快捷键只能是一组同时按下的键（例如 Ctrl+Alt+M），%1 是几组连按，请换一个。")
            .arg(text);
    return std::nullopt;
  }
  const Qt::KeyboardModifiers modifiers =
      keys[0].keyboardModifiers() &
      (Qt::ControlModifier | Qt::AltModifier | Qt::ShiftModifier | Qt::MetaModifier);
  const xkb_keysym_t keysym = keysymOf(keys[0].key());
  if (keysym == XKB_KEY_NoSymbol) {
    *problem = QStringLiteral("%1 不能用作全局快捷键，请换一个。").arg(text);
    return std::nullopt;
  }
  // A plain key would be taken from every program the user types into.
  const bool functionKey = keysym >= XKB_KEY_F1 && keysym <= XKB_KEY_F35;
  if (!functionKey && !(modifiers & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier))) {
    *problem = QStringLiteral("%1 里没有 Ctrl、Alt 或 Win 键，会挡住平常的打字，请加上其中一个。").arg(text);
    return std::nullopt;
  }
  return Chord{modifiers, keysym};
}

struct FreeMalloced {
  void operator()(void* p) const { std::free(p); }
};
template <typename T>
using Malloced = std::unique_ptr<T, FreeMalloced>;

// The key grabbed on the root window of the X server: a press then comes to this program
// whatever window has the focus. The grab names a key code and exact modifiers, so it is made
// once for each state of the lock keys, and made again when the keyboard's layout changes.
class X11Route final : public ShortcutRoute, public QAbstractNativeEventFilter {
 public:
  // Null unless Qt runs on an X server.
  static std::unique_ptr<X11Route> open(Fire fire, Report report) {
    // Offscreen answers as an X11 application too, with no connection.
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    if (QGuiApplication::platformName() != QLatin1String("xcb") || !x11 || !x11->connection()) return nullptr;
    return std::unique_ptr<X11Route>(new X11Route(x11->connection(), std::move(fire), std::move(report)));
  }

  ~X11Route() override {
    if (!qGuiApp) return;  // the connection has gone with the application
    release();
    qGuiApp->removeNativeEventFilter(this);
  }

  void bind(const Chord* chord, const QString& keys) override {
    release();
    chord_ = chord ? std::optional(*chord) : std::nullopt;
    keys_ = keys;
    if (chord_) grab();
  }

  bool nativeEventFilter(const QByteArray& type, void* message, qintptr*) override {
    if (type != "xcb_generic_event_t") return false;
    const auto* event = static_cast<const xcb_generic_event_t*>(message);
    const uint8_t kind = event->response_type & 0x7f;
    if (kind == XCB_KEY_PRESS || kind == XCB_KEY_RELEASE) {
      const auto* key = reinterpret_cast<const xcb_key_press_event_t*>(event);
      if (key->event != root_) return false;
      if (kind == XCB_KEY_RELEASE) {
        // The modifiers may have been let go first.
        if (!grabs(key->detail, std::nullopt)) return false;
        held_ = false;
        return true;
      }
      if (!grabs(key->detail, key->state & 0xff)) return false;
      if (!held_) fire_(QByteArray(), key->time);
      held_ = true;  // the keyboard's repeat sends presses alone while the key is held
      return true;
    }
    // A new layout or modifier map: the key may lie on another code now. XKB's events share
    // one type and tell theirs in the second byte (0 a new keyboard, 1 a new map).
    const uint8_t xkbKind = reinterpret_cast<const uint8_t*>(event)[1];
    if (kind == XCB_MAPPING_NOTIFY || (xkbEvent_ && kind == xkbEvent_ && xkbKind <= 1)) regrab_.start();
    return false;
  }

 private:
  struct Grab {
    xcb_keycode_t code;
    uint16_t modifiers;
  };
  struct Masks {
    uint16_t alt = 0, super = 0, numLock = 0, scrollLock = 0;
  };

  X11Route(xcb_connection_t* connection, Fire fire, Report report)
      : connection_(connection),
        root_(xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root),
        fire_(std::move(fire)),
        report_(std::move(report)) {
    static constexpr char kXkb[] = "XKEYBOARD";
    const Malloced<xcb_query_extension_reply_t> xkb(xcb_query_extension_reply(
        connection_, xcb_query_extension(connection_, sizeof kXkb - 1, kXkb), nullptr));
    if (xkb && xkb->present) xkbEvent_ = xkb->first_event;
    regrab_.setSingleShot(true);  // one regrab for the burst of events a layout change sends
    regrab_.setInterval(0);
    QObject::connect(&regrab_, &QTimer::timeout, &regrab_, [this] {
      if (!chord_) return;
      release();
      grab();
    });
    qGuiApp->installNativeEventFilter(this);
  }

  bool grabs(xcb_keycode_t code, std::optional<uint16_t> modifiers) const {
    for (const Grab& grab : grabbed_)
      if (grab.code == code && (!modifiers || grab.modifiers == *modifiers)) return true;
    return false;
  }

  // Which of Mod1 to Mod5 Alt, Win and the lock keys are on in this keyboard's map.
  Masks masks(xcb_key_symbols_t* symbols) const {
    Masks masks;
    const Malloced<xcb_get_modifier_mapping_reply_t> map(
        xcb_get_modifier_mapping_reply(connection_, xcb_get_modifier_mapping(connection_), nullptr));
    if (map) {
      const xcb_keycode_t* codes = xcb_get_modifier_mapping_keycodes(map.get());
      const int perModifier = map->keycodes_per_modifier;
      for (int modifier = 3; modifier < 8; ++modifier) {  // Mod1 .. Mod5
        const auto mask = uint16_t(1u << modifier);
        for (int i = 0; i < perModifier; ++i) {
          const xcb_keycode_t code = codes[modifier * perModifier + i];
          for (int column = 0; code && column < 2; ++column) {
            switch (xcb_key_symbols_get_keysym(symbols, code, column)) {
              case XKB_KEY_Alt_L:
              case XKB_KEY_Alt_R:
                masks.alt = mask;
                break;
              case XKB_KEY_Super_L:
              case XKB_KEY_Super_R:
                masks.super = mask;
                break;
              case XKB_KEY_Num_Lock:
                masks.numLock = mask;
                break;
              case XKB_KEY_Scroll_Lock:
                masks.scrollLock = mask;
                break;
              default:
                break;
            }
          }
        }
      }
    }
    if (!masks.alt) masks.alt = XCB_MOD_MASK_1;
    if (!masks.super) masks.super = XCB_MOD_MASK_4;
    return masks;
  }

  void grab() {
    const std::unique_ptr<xcb_key_symbols_t, decltype(&xcb_key_symbols_free)> symbols(
        xcb_key_symbols_alloc(connection_), &xcb_key_symbols_free);
    const Masks masks = this->masks(symbols.get());
    uint16_t wanted = 0;
    if (chord_->modifiers & Qt::ShiftModifier) wanted |= XCB_MOD_MASK_SHIFT;
    if (chord_->modifiers & Qt::ControlModifier) wanted |= XCB_MOD_MASK_CONTROL;
    if (chord_->modifiers & Qt::AltModifier) wanted |= masks.alt;
    if (chord_->modifiers & Qt::MetaModifier) wanted |= masks.super;
    // Every state of Caps Lock, Num Lock and Scroll Lock.
    std::vector<uint16_t> locks{0};
    uint16_t seen = wanted;
    for (const uint16_t lock : {uint16_t(XCB_MOD_MASK_LOCK), masks.numLock, masks.scrollLock}) {
      if (!lock || (lock & seen)) continue;
      seen |= lock;
      for (std::size_t i = 0, n = locks.size(); i < n; ++i) locks.push_back(locks[i] | lock);
    }

    std::vector<std::pair<Grab, xcb_void_cookie_t>> asked;
    const Malloced<xcb_keycode_t> codes(xcb_key_symbols_get_keycode(symbols.get(), chord_->keysym));
    for (const xcb_keycode_t* code = codes.get(); code && *code != XCB_NO_SYMBOL; ++code) {
      if (std::any_of(asked.begin(), asked.end(), [&](const auto& grab) { return grab.first.code == *code; }))
        continue;
      // A symbol that the key gives only with Shift (its second level) needs Shift held.
      uint16_t modifiers = wanted;
      if (xcb_key_symbols_get_keysym(symbols.get(), *code, 0) != chord_->keysym &&
          xcb_key_symbols_get_keysym(symbols.get(), *code, 1) == chord_->keysym)
        modifiers |= XCB_MOD_MASK_SHIFT;
      for (const uint16_t lock : locks)
        asked.push_back({{*code, uint16_t(modifiers | lock)},
                         xcb_grab_key_checked(connection_, 0, root_, modifiers | lock, *code,
                                              XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC)});
    }
    if (asked.empty()) {
      report_(false, QStringLiteral("当前的键盘布局里没有 %1 要按的键，请换一个快捷键。").arg(keys_));
      return;
    }
    bool taken = false, refused = false;
    for (const auto& [grab, cookie] : asked) {
      const Malloced<xcb_generic_error_t> error(xcb_request_check(connection_, cookie));
      if (!error)
        grabbed_.push_back(grab);
      else if (error->error_code == XCB_ACCESS)
        taken = true;
      else
        refused = true;
    }
    if (taken || refused) {
      // Half a grab would work in one lock state and not in another.
      release();
      report_(
          false,
          taken ? QStringLiteral("%1 已被其他程序占用。请在设置里换一个快捷键，或在占用它的程序里把它去掉。")
                      .arg(keys_)
                : QStringLiteral("X 服务器不让程序注册全局快捷键 %1。").arg(keys_) + bindItYourself(keys_));
      return;
    }
    report_(true, QString());
  }

  void release() {
    for (const Grab& grab : grabbed_) xcb_ungrab_key(connection_, grab.code, root_, grab.modifiers);
    if (!grabbed_.empty()) xcb_flush(connection_);
    grabbed_.clear();
    held_ = false;
  }

  xcb_connection_t* connection_;
  xcb_window_t root_;
  Fire fire_;
  Report report_;
  uint8_t xkbEvent_ = 0;  // the XKEYBOARD extension's event type; 0 without it
  QTimer regrab_;
  std::optional<Chord> chord_;
  QString keys_;
  std::vector<Grab> grabbed_;
  bool held_ = false;
};

// How Qt marshals the portal's shortcut list, a(sa{sv}).
struct PortalShortcut {
  QString id;
  QVariantMap properties;
};
using PortalShortcuts = QList<PortalShortcut>;

}  // namespace
}  // namespace mw::platform

Q_DECLARE_METATYPE(mw::platform::PortalShortcut)

namespace mw::platform {
namespace {

QDBusArgument& operator<<(QDBusArgument& argument, const PortalShortcut& shortcut) {
  argument.beginStructure();
  argument << shortcut.id << shortcut.properties;
  argument.endStructure();
  return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, PortalShortcut& shortcut) {
  argument.beginStructure();
  argument >> shortcut.id >> shortcut.properties;
  argument.endStructure();
  return argument;
}

const QString kService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString kPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString kInterface = QStringLiteral("org.freedesktop.portal.GlobalShortcuts");
const QString kRequestInterface = QStringLiteral("org.freedesktop.portal.Request");
const QString kSessionInterface = QStringLiteral("org.freedesktop.portal.Session");
const QString kShortcutId = QStringLiteral("toggle");

// The trigger as the portal takes it: CTRL, ALT, SHIFT, LOGO and the key's XKB name, joined by +.
QString portalTrigger(const Chord& chord) {
  QStringList parts;
  if (chord.modifiers & Qt::ControlModifier) parts << QStringLiteral("CTRL");
  if (chord.modifiers & Qt::AltModifier) parts << QStringLiteral("ALT");
  if (chord.modifiers & Qt::ShiftModifier) parts << QStringLiteral("SHIFT");
  if (chord.modifiers & Qt::MetaModifier) parts << QStringLiteral("LOGO");
  char name[64] = {};
  xkb_keysym_get_name(chord.keysym, name, sizeof name);
  parts << QString::fromLatin1(name);
  return parts.join(QLatin1Char('+'));
}

}  // namespace

// The shortcut bound through the desktop portal, for a Wayland session (no program sees the
// keys of another there). Each step is a request that the portal answers later with a Response
// signal on a path made from the token the call names: a session, then the shortcut bound in
// it, which the desktop may first show to the user. A press then comes as Activated.
class PortalRoute final : public QObject, protected QDBusContext, public ShortcutRoute {
  Q_OBJECT

 public:
  PortalRoute(Fire fire, Report report)
      : bus_(QDBusConnection::sessionBus()), fire_(std::move(fire)), report_(std::move(report)) {
    qDBusRegisterMetaType<PortalShortcut>();
    qDBusRegisterMetaType<PortalShortcuts>();
    // Qt finds a slot's types by name, and names its own D-Bus types only once it has used them:
    // without this, the first connection of a slot taking an object path fails.
    qRegisterMetaType<QDBusObjectPath>();
    bus_.connect(kService, kPath, kInterface, QStringLiteral("Activated"), this,
                 SLOT(onActivated(QDBusObjectPath, QString, qulonglong, QVariantMap)));
  }

  ~PortalRoute() override { closeSession(); }

  void bind(const Chord* chord, const QString& keys) override {
    closeSession();
    ++generation_;
    chord_ = chord ? std::optional(*chord) : std::nullopt;
    keys_ = keys;
    if (!chord_) return;
    if (!bus_.isConnected()) return unsupported();
    QDBusMessage version = QDBusMessage::createMethodCall(
        kService, kPath, QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    version << kInterface << QStringLiteral("version");
    // No portal, or one without the interface (GNOME's), answers with an error.
    send(version, [this](const QDBusMessage& reply) {
      if (reply.type() == QDBusMessage::ErrorMessage) return unsupported();
      createSession();
    });
  }

 private slots:
  void onSessionCreated(uint response, const QVariantMap& results) {
    if (message().path() != waitingOn_) return;
    stopWaiting(false);
    if (response != 0) return refused();
    const QVariant handle = results.value(QStringLiteral("session_handle"));
    // A string by the documentation; an object path in some portals.
    session_ =
        handle.canConvert<QDBusObjectPath>() ? handle.value<QDBusObjectPath>().path() : handle.toString();
    if (session_.isEmpty()) return refused();
    bus_.connect(kService, session_, kSessionInterface, QStringLiteral("Closed"), this,
                 SLOT(onSessionClosed()));
    const QString token = nextToken();
    QDBusMessage bind =
        QDBusMessage::createMethodCall(kService, kPath, kInterface, QStringLiteral("BindShortcuts"));
    const PortalShortcuts shortcuts{
        {kShortcutId,
         {{QStringLiteral("description"), QStringLiteral("显示或隐藏 Memwick 的窗口")},
          {QStringLiteral("preferred_trigger"), portalTrigger(*chord_)}}}};
    bind << QVariant::fromValue(QDBusObjectPath(session_)) << QVariant::fromValue(shortcuts) << QString()
         << QVariantMap{{QStringLiteral("handle_token"), token}};
    request(bind, token, SLOT(onBound(uint, QVariantMap)));
  }

  void onBound(uint response, const QVariantMap&) {
    if (message().path() != waitingOn_) return;
    stopWaiting(false);
    if (response != 0) return refused();
    report_(true, QString());
  }

  void onActivated(const QDBusObjectPath& session, const QString& id, qulonglong,
                   const QVariantMap& options) {
    if (session_.isEmpty() || session.path() != session_ || id != kShortcutId) return;
    fire_(options.value(QStringLiteral("activation_token")).toString().toUtf8(), 0);
  }

  // The desktop ended the session, as when the user removed the shortcut there.
  void onSessionClosed() {
    if (message().path() != session_) return;
    bus_.disconnect(kService, session_, kSessionInterface, QStringLiteral("Closed"), this,
                    SLOT(onSessionClosed()));
    session_.clear();
    report_(false, QStringLiteral("桌面取消了全局快捷键 %1。").arg(keys_) + bindItYourself(keys_));
  }

 private:
  // Sends `call`; `then` gets the reply unless a later bind() has made it stale.
  template <typename Then>
  void send(const QDBusMessage& call, Then then) {
    auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, generation = generation_, then](QDBusPendingCallWatcher* finished) {
              finished->deleteLater();
              if (generation == generation_) then(finished->reply());
            });
  }

  // Sends a call that answers through a request object; its Response goes to `slot`. Listening
  // starts before the call, on the path the token makes, so that no answer is missed.
  void request(const QDBusMessage& call, const QString& token, const char* slot) {
    QString sender = bus_.baseService().mid(1);
    sender.replace(QLatin1Char('.'), QLatin1Char('_'));
    waitingOn_ = kPath + QStringLiteral("/request/") + sender + QLatin1Char('/') + token;
    waitingSlot_ = slot;
    bus_.connect(kService, waitingOn_, kRequestInterface, QStringLiteral("Response"), this, slot);
    send(call, [this](const QDBusMessage& reply) {
      if (reply.type() != QDBusMessage::ErrorMessage) return;
      stopWaiting(false);
      refused();
    });
  }

  void createSession() {
    const QString token = nextToken();
    QDBusMessage create =
        QDBusMessage::createMethodCall(kService, kPath, kInterface, QStringLiteral("CreateSession"));
    create << QVariantMap{{QStringLiteral("handle_token"), token},
                          {QStringLiteral("session_handle_token"), token}};
    request(create, token, SLOT(onSessionCreated(uint, QVariantMap)));
  }

  // `abandon`: the request is still open and is withdrawn.
  void stopWaiting(bool abandon) {
    if (waitingOn_.isEmpty()) return;
    bus_.disconnect(kService, waitingOn_, kRequestInterface, QStringLiteral("Response"), this, waitingSlot_);
    if (abandon)
      bus_.asyncCall(
          QDBusMessage::createMethodCall(kService, waitingOn_, kRequestInterface, QStringLiteral("Close")));
    waitingOn_.clear();
  }

  void closeSession() {
    stopWaiting(true);
    if (session_.isEmpty()) return;
    bus_.disconnect(kService, session_, kSessionInterface, QStringLiteral("Closed"), this,
                    SLOT(onSessionClosed()));
    bus_.asyncCall(
        QDBusMessage::createMethodCall(kService, session_, kSessionInterface, QStringLiteral("Close")));
    session_.clear();
  }

  QString nextToken() { return QStringLiteral("memwick%1").arg(++tokens_); }

  void unsupported() {
    report_(false,
            QStringLiteral("这个桌面不支持程序自己注册全局快捷键 %1。").arg(keys_) + bindItYourself(keys_));
  }
  void refused() {
    report_(false, QStringLiteral("桌面没有接受全局快捷键 %1。").arg(keys_) + bindItYourself(keys_));
  }

  QDBusConnection bus_;
  Fire fire_;
  Report report_;
  std::optional<Chord> chord_;
  QString keys_;
  quint64 generation_ = 0;  // a bind() makes the answers to earlier calls stale
  unsigned tokens_ = 0;
  QString waitingOn_;  // the request whose Response is awaited
  const char* waitingSlot_ = nullptr;
  QString session_;
};

GlobalShortcut::GlobalShortcut(QObject* parent) : QObject(parent) {
  ShortcutRoute::Fire fire = [this](const QByteArray& token, quint32 time) { emit activated(token, time); };
  ShortcutRoute::Report report = [this](bool active, const QString& problem) {
    this->report(active, problem);
  };
  // Under XWayland a grab sees only the keys pressed in X11 windows.
  const bool wayland = qEnvironmentVariableIsSet("WAYLAND_DISPLAY") ||
                       qgetenv("XDG_SESSION_TYPE") == QByteArrayLiteral("wayland");
  if (!wayland) route_ = X11Route::open(fire, report);
  if (!route_) route_ = std::make_unique<PortalRoute>(fire, report);
}

GlobalShortcut::~GlobalShortcut() = default;

void GlobalShortcut::bind(const QKeySequence& keys) {
  const QKeySequence oldKeys = keys_;
  const QString oldProblem = problem_;
  const bool oldActive = active_;
  keys_ = keys;
  active_ = false;
  problem_.clear();
  const QString text = keys.toString(QKeySequence::NativeText);
  const std::optional<ShortcutRoute::Chord> chord = chordOf(keys, text, &problem_);
  binding_ = true;
  route_->bind(chord ? &*chord : nullptr, text);
  binding_ = false;
  if (keys_ != oldKeys || problem_ != oldProblem || active_ != oldActive) emit changed();
}

void GlobalShortcut::report(bool active, const QString& problem) {
  if (active == active_ && problem == problem_) return;
  active_ = active;
  problem_ = problem;
  if (!binding_) emit changed();
}

}  // namespace mw::platform

#include "global_shortcut.moc"
