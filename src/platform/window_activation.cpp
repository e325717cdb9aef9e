#include "platform/window_activation.h"

#include <xcb/xcb.h>

#include <QApplication>
#include <QEvent>
#include <QGuiApplication>
#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <QWindow>
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>

namespace mw::platform {
namespace {

// How long a window just shown may take to be mapped before it is asked for the keyboard anyway.
constexpr int kExposeWaitMs = 2000;

using Connection = std::unique_ptr<xcb_connection_t, decltype(&xcb_disconnect)>;

template <typename T>
using Reply = std::unique_ptr<T, decltype(&std::free)>;

xcb_atom_t atom(xcb_connection_t* c, const char* name) {
  const Reply<xcb_intern_atom_reply_t> reply(
      xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, uint16_t(qstrlen(name)), name), nullptr), &std::free);
  return reply ? reply->atom : XCB_NONE;
}

// The first window of property `name` on `window`, or none.
xcb_window_t windowProperty(xcb_connection_t* c, xcb_window_t window, const char* name) {
  const Reply<xcb_get_property_reply_t> reply(
      xcb_get_property_reply(c, xcb_get_property(c, 0, window, atom(c, name), XCB_ATOM_WINDOW, 0, 1),
                             nullptr),
      &std::free);
  if (!reply || xcb_get_property_value_length(reply.get()) < 4) return XCB_NONE;
  return *static_cast<const xcb_window_t*>(xcb_get_property_value(reply.get()));
}

// The window manager's way (_NET_ACTIVE_WINDOW from an application, with the time of the
// request), or without one the focus itself. The user time goes where Qt keeps it, so that the
// window manager weighs the window's last use by the same time.
void activateOnX11(QWidget* window, std::uint32_t time) {
  auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
  xcb_connection_t* c = x11 ? x11->connection() : nullptr;
  if (!c) return;
  const auto id = xcb_window_t(window->winId());
  const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
  xcb_window_t userTimeWindow = windowProperty(c, id, "_NET_WM_USER_TIME_WINDOW");
  if (userTimeWindow == XCB_NONE) userTimeWindow = id;
  xcb_change_property(c, XCB_PROP_MODE_REPLACE, userTimeWindow, atom(c, "_NET_WM_USER_TIME"),
                      XCB_ATOM_CARDINAL, 32, 1, &time);
  if (windowProperty(c, root, "_NET_SUPPORTING_WM_CHECK") == XCB_NONE) {
    xcb_set_input_focus(c, XCB_INPUT_FOCUS_PARENT, id, time);
  } else {
    xcb_client_message_event_t event{};
    event.response_type = XCB_CLIENT_MESSAGE;
    event.format = 32;
    event.window = id;
    event.type = atom(c, "_NET_ACTIVE_WINDOW");
    event.data.data32[0] = 1;  // from an application
    event.data.data32[1] = time;
    xcb_send_event(c, 0, root, XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY | XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT,
                   reinterpret_cast<const char*>(&event));
  }
  xcb_flush(c);
}

void requestKeyboard(QWidget* window, const Activation& activation) {
  // Hidden and shown again before its focus-out has settled, a window stays Qt's focus window
  // but no longer its active widget window, and Qt takes the focus coming back as no change:
  // the box with the focus would never hear of it. The two are made to agree.
  if (QGuiApplication::focusWindow() == window->windowHandle() && QApplication::activeWindow() != window)
    QApplication::setActiveWindow(window);
  const QString platform = QGuiApplication::platformName();
  if (platform == QLatin1String("xcb") && activation.x11Time != 0) {
    activateOnX11(window, activation.x11Time);
  } else if (platform.startsWith(QLatin1String("wayland")) && !activation.token.isEmpty()) {
    // Qt's Wayland plugin takes a token only from its environment, and only when it asks.
    qputenv("XDG_ACTIVATION_TOKEN", activation.token);
    window->activateWindow();
    // Used or not, it must not reach the helpers the program starts later.
    qunsetenv("XDG_ACTIVATION_TOKEN");
  } else {
    window->activateWindow();
  }
}

// Runs `then` once `window` is on screen: a window manager takes no activation for a window it
// has not mapped yet, and a compositor none for a surface it has not configured.
class WhenExposed : public QObject {
 public:
  WhenExposed(QWindow* window, std::function<void()> then) : QObject(window), then_(std::move(then)) {
    window->installEventFilter(this);
    QTimer::singleShot(kExposeWaitMs, this, [this] { fire(); });
  }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Expose && static_cast<QWindow*>(watched)->isExposed())
      QTimer::singleShot(0, this, [this] { fire(); });
    return false;
  }

 private:
  void fire() {
    if (!then_) return;
    const auto then = std::move(then_);
    then_ = nullptr;
    deleteLater();
    then();
  }

  std::function<void()> then_;
};

}  // namespace

std::uint32_t x11ServerTime() {
  if (qEnvironmentVariableIsEmpty("DISPLAY")) return 0;
  int screenNumber = 0;
  const Connection c(xcb_connect(nullptr, &screenNumber), &xcb_disconnect);
  if (xcb_connection_has_error(c.get())) return 0;
  xcb_screen_iterator_t screen = xcb_setup_roots_iterator(xcb_get_setup(c.get()));
  for (int i = 0; i < screenNumber && screen.rem > 1; ++i) xcb_screen_next(&screen);
  // The server stamps the change of a property with its time: a change on a window of our own,
  // which no one else sees, tells the time.
  const xcb_window_t window = xcb_generate_id(c.get());
  const std::uint32_t mask = XCB_EVENT_MASK_PROPERTY_CHANGE;
  xcb_create_window(c.get(), XCB_COPY_FROM_PARENT, window, screen.data->root, 0, 0, 1, 1, 0,
                    XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, XCB_CW_EVENT_MASK, &mask);
  xcb_change_property(c.get(), XCB_PROP_MODE_APPEND, window, XCB_ATOM_WM_NAME, XCB_ATOM_STRING, 8, 0,
                      nullptr);
  xcb_flush(c.get());
  while (xcb_generic_event_t* e = xcb_wait_for_event(c.get())) {
    const Reply<xcb_generic_event_t> event(e, &std::free);
    if ((event->response_type & 0x7f) == XCB_PROPERTY_NOTIFY)
      return reinterpret_cast<const xcb_property_notify_event_t*>(event.get())->time;
  }
  return 0;
}

std::uint32_t startupIdTime(const QByteArray& startupId) {
  const qsizetype at = startupId.lastIndexOf("_TIME");
  if (at < 0) return 0;
  bool ok = false;
  const qulonglong time = startupId.mid(at + 5).toULongLong(&ok);
  return ok && time <= 0xFFFFFFFFu ? std::uint32_t(time) : 0;
}

void endStartupNotification(const QByteArray& startupId) {
  if (startupId.isEmpty() || qEnvironmentVariableIsEmpty("DISPLAY")) return;
  int screenNumber = 0;
  const Connection c(xcb_connect(nullptr, &screenNumber), &xcb_disconnect);
  if (xcb_connection_has_error(c.get())) return;
  xcb_screen_iterator_t screen = xcb_setup_roots_iterator(xcb_get_setup(c.get()));
  for (int i = 0; i < screenNumber && screen.rem > 1; ++i) xcb_screen_next(&screen);
  const xcb_window_t root = screen.data->root;
  const xcb_window_t window = xcb_generate_id(c.get());
  xcb_create_window(c.get(), XCB_COPY_FROM_PARENT, window, root, 0, 0, 1, 1, 0, XCB_WINDOW_CLASS_INPUT_ONLY,
                    XCB_COPY_FROM_PARENT, 0, nullptr);
  // The message goes in pieces of 20 bytes, its closing zero included; quotes and backslashes
  // in the id are escaped.
  QByteArray message = "remove: ID=\"";
  for (const char ch : startupId) {
    if (ch == '"' || ch == '\\') message += '\\';
    message += ch;
  }
  message += '"';
  message += '\0';
  const xcb_atom_t begin = atom(c.get(), "_NET_STARTUP_INFO_BEGIN");
  const xcb_atom_t more = atom(c.get(), "_NET_STARTUP_INFO");
  for (qsizetype at = 0; at < message.size(); at += 20) {
    xcb_client_message_event_t event{};
    event.response_type = XCB_CLIENT_MESSAGE;
    event.format = 8;
    event.window = window;
    event.type = at == 0 ? begin : more;
    std::memcpy(event.data.data8, message.constData() + at,
                std::size_t(std::min<qsizetype>(20, message.size() - at)));
    xcb_send_event(c.get(), 0, root, XCB_EVENT_MASK_PROPERTY_CHANGE, reinterpret_cast<const char*>(&event));
  }
  xcb_destroy_window(c.get(), window);
  xcb_flush(c.get());
  // The server has taken the messages once it answers a request made after them.
  std::free(xcb_get_input_focus_reply(c.get(), xcb_get_input_focus(c.get()), nullptr));
}

void activateWindow(QWidget* window, const Activation& activation) {
  if (window->isMinimized()) window->setWindowState(window->windowState() & ~Qt::WindowMinimized);
  window->show();
  window->raise();
  QWindow* handle = window->windowHandle();
  if (!handle || handle->isExposed()) {
    requestKeyboard(window, activation);
    return;
  }
  new WhenExposed(handle, [window = QPointer<QWidget>(window), activation] {
    if (window && window->isVisible()) requestKeyboard(window, activation);
  });
}

}  // namespace mw::platform
