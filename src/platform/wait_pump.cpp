#include "platform/wait_pump.h"

#include <QApplication>
#include <QEvent>
#include <QMouseEvent>
#include <QPointer>
#include <QTimer>
#include <QWheelEvent>
#include <QWidget>
#include <QWindow>
#include <algorithm>
#include <deque>
#include <functional>
#include <memory>
#include <optional>

#include "runtime/event_pump.h"

namespace mw::platform {
namespace {

const char* const kLiveProperty = "mw_live_during_waits";

bool isUserInput(QEvent::Type type) {
  switch (type) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove:
    case QEvent::Wheel:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
    case QEvent::TouchCancel:
    case QEvent::TabletPress:
    case QEvent::TabletMove:
    case QEvent::TabletRelease:
      return true;
    default:
      return false;
  }
}

// The widget a window-level mouse event lands on, as the window would pick it.
QWidget* widgetUnder(QWindow* window, QPointF at) {
  for (QWidget* top : QApplication::topLevelWidgets()) {
    if (top->windowHandle() != window) continue;
    QWidget* child = top->childAt(at.toPoint());
    return child ? child : top;
  }
  return nullptr;
}

// Sits on the application object, where the events the window system delivers to a window
// pass before the window hands them to its widgets.
class InputHold : public QObject {
 public:
  InputHold() { qApp->installEventFilter(this); }
  ~InputHold() override { qApp->removeEventFilter(this); }

  void pump() {
    if (runtime::waitsAborted()) return;
    ++depth_;
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    --depth_;
    if (depth_ == 0 && !held_.empty()) scheduleReplay(0);
  }

  std::size_t held() const { return held_.size(); }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Quit && watched == qApp) {
      runtime::setWaitsAborted(true);
      held_.clear();
      return false;
    }
    auto* window = qobject_cast<QWindow*>(watched);
    if (!window || !isUserInput(event->type()) || event == replaying_) return false;
    if (depth_ == 0 && held_.empty()) return false;
    if (runtime::waitsAborted()) return true;  // the program is ending
    // A message box takes its input at once, whenever it shows: what is held for the windows it
    // blocks waits until it is gone, and the box would wait for them.
    if (window == QGuiApplication::modalWindow() && !holdsFor(window)) return false;
    if (live(window, event)) return false;
    hold(window, event);
    return true;
  }

 private:
  struct Held {
    QPointer<QWindow> window;
    QEvent::Type type;
    Qt::MouseButtons buttons;  // of a mouse event
    std::function<std::unique_ptr<QEvent>()> make;
  };

  // A pointer event shares its point with the device, and the events after it overwrite that
  // point (a held release would land where a later press went): it is made afresh from its own
  // values when it is replayed. Others are kept as clones, and so is the press that made a
  // double click: the window only notes where it went (by its own position, which stays) and
  // leaves the delivery to the double click, which it knows by a mark only Qt can set.
  static std::function<std::unique_ptr<QEvent>()> maker(const QEvent* event) {
    const auto* m = dynamic_cast<const QMouseEvent*>(event);
    if (m && !m->flags().testFlag(Qt::MouseEventCreatedDoubleClick)) {
      return [type = m->type(), at = m->position(), scene = m->scenePosition(), global = m->globalPosition(),
              button = m->button(), buttons = m->buttons(), modifiers = m->modifiers(),
              device = m->pointingDevice(), time = m->timestamp()]() -> std::unique_ptr<QEvent> {
        auto made =
            std::make_unique<QMouseEvent>(type, at, scene, global, button, buttons, modifiers, device);
        made->setTimestamp(time);
        return made;
      };
    }
    if (const auto* w = dynamic_cast<const QWheelEvent*>(event)) {
      return [at = w->position(), global = w->globalPosition(), pixels = w->pixelDelta(),
              angle = w->angleDelta(), buttons = w->buttons(), modifiers = w->modifiers(), phase = w->phase(),
              inverted = w->inverted(), device = w->pointingDevice(),
              time = w->timestamp()]() -> std::unique_ptr<QEvent> {
        auto made = std::make_unique<QWheelEvent>(at, global, pixels, angle, buttons, modifiers, phase,
                                                  inverted, Qt::MouseEventNotSynthesized, device);
        made->setTimestamp(time);
        return made;
      };
    }
    return
        [kept = std::shared_ptr<QEvent>(event->clone())] { return std::unique_ptr<QEvent>(kept->clone()); };
  }

  // A press decides for itself and what the button does until it is let go (moves and the
  // release go where the press went, as the pointer grab sends them).
  bool live(QWindow* window, QEvent* event) {
    const QEvent::Type type = event->type();
    if (type != QEvent::MouseButtonPress && type != QEvent::MouseButtonDblClick &&
        type != QEvent::MouseButtonRelease && type != QEvent::MouseMove)
      return false;
    auto* mouse = static_cast<QMouseEvent*>(event);
    bool isLive;
    if (pressLive_ && type != QEvent::MouseButtonPress && type != QEvent::MouseButtonDblClick) {
      isLive = *pressLive_;
    } else {
      isLive = liveDuringWaits(widgetUnder(window, mouse->position()));
      if (type == QEvent::MouseButtonPress || type == QEvent::MouseButtonDblClick) pressLive_ = isLive;
    }
    if (type == QEvent::MouseButtonRelease && mouse->buttons() == Qt::NoButton) pressLive_.reset();
    return isLive;
  }

  bool holdsFor(const QWindow* window) const {
    return std::any_of(held_.begin(), held_.end(), [window](const Held& h) { return h.window == window; });
  }

  void hold(QWindow* window, QEvent* event) {
    const auto* mouse = dynamic_cast<const QMouseEvent*>(event);
    Held held{window, event->type(), mouse ? mouse->buttons() : Qt::NoButton, maker(event)};
    // Only the latest of a run of plain moves matters.
    if (held.type == QEvent::MouseMove && !held_.empty() && held_.back().window == window &&
        held_.back().type == QEvent::MouseMove && held_.back().buttons == held.buttons) {
      held_.back() = std::move(held);
      return;
    }
    held_.push_back(std::move(held));
  }

  void scheduleReplay(int ms) {
    if (replayScheduled_) return;
    replayScheduled_ = true;
    QTimer::singleShot(ms, this, [this] {
      replayScheduled_ = false;
      replay();
    });
  }

  // Runs from the event loop once no wait runs. A wait started by a replayed event holds what
  // comes meanwhile behind what is still here, so the order stays.
  void replay() {
    while (depth_ == 0 && !held_.empty()) {
      if (runtime::waitsAborted()) {
        held_.clear();
        return;
      }
      // A modal window (a message box of the handler) blocks the others as it would have
      // blocked the input itself; it waits until the box is gone.
      // What came for the box itself goes to it meanwhile, in order.
      QWindow* modal = QGuiApplication::modalWindow();
      auto it = held_.begin();
      if (modal) {
        it = std::find_if(held_.begin(), held_.end(),
                          [modal](const Held& h) { return !h.window || h.window == modal; });
        if (it == held_.end()) {
          scheduleReplay(50);
          return;
        }
      }
      Held next = std::move(*it);
      held_.erase(it);
      if (!next.window) continue;
      const std::unique_ptr<QEvent> event = next.make();
      replaying_ = event.get();
      QCoreApplication::sendEvent(next.window, event.get());
      replaying_ = nullptr;
    }
  }

  int depth_ = 0;
  std::deque<Held> held_;
  std::optional<bool> pressLive_;
  bool replayScheduled_ = false;
  QEvent* replaying_ = nullptr;
};

InputHold* theHold = nullptr;

}  // namespace

WaitPump::WaitPump() {
  theHold = new InputHold;
  runtime::setEventPump([] { theHold->pump(); });
}

WaitPump::~WaitPump() {
  runtime::setEventPump(nullptr);
  delete theHold;
  theHold = nullptr;
  runtime::setWaitsAborted(false);
}

std::size_t WaitPump::held() const { return theHold->held(); }

void setLiveDuringWaits(QWidget* control) { control->setProperty(kLiveProperty, true); }

bool liveDuringWaits(const QWidget* widget) {
  for (; widget; widget = widget->parentWidget())
    if (widget->property(kLiveProperty).toBool()) return true;
  return false;
}

}  // namespace mw::platform
