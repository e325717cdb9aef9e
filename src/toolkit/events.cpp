#include "toolkit/events.h"

#include <QAbstractButton>
#include <QEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QWidget>

namespace mw::toolkit {

namespace {

EventBinder* binderOf(const QWidget* control) {
  return control->findChild<EventBinder*>(QStringLiteral("mw_event_binder"), Qt::FindDirectChildrenOnly);
}

EventBinder* ensureBinder(QWidget* control) {
  EventBinder* binder = binderOf(control);
  return binder ? binder : new EventBinder(control);  // owned by the control
}

std::size_t index(Event event) { return static_cast<std::size_t>(event); }

}  // namespace

const char* eventName(Event event) {
  static const char* const names[kEventKinds] = {
      "left button down", "right button down", "mouse move", "key down",  "click",
      "created",          "first activation",  "got focus",  "lost focus"};
  return names[index(event)];
}

EventBinder::EventBinder(QWidget* control) : QObject(control), control_(control) {
  setObjectName(QStringLiteral("mw_event_binder"));
  control->installEventFilter(this);
  if (auto* button = qobject_cast<QAbstractButton*>(control)) {
    connect(button, &QAbstractButton::clicked, this, [this] { run(Event::Click); });
  }
}

bool EventBinder::run(Event event, const Input& input) {
  const Handler& handler = handlers[index(event)];
  if (!handler) return false;
  handler(input);
  return true;
}

void EventBinder::activateOnce() {
  if (activatedOnce) return;
  activatedOnce = true;
  run(Event::FirstActivation);
}

void deliverFirstActivation(QWidget* window) { ensureBinder(window)->activateOnce(); }

bool hadFirstActivation(const QWidget* window) {
  const EventBinder* binder = binderOf(window);
  return binder && binder->activatedOnce;
}

bool bindEvent(QWidget* control, Event event, Handler handler) {
  EventBinder* binder = ensureBinder(control);
  Handler& slot = binder->handlers[index(event)];
  if (slot) return false;
  slot = std::move(handler);
  if (event == Event::MouseMove) control->setMouseTracking(true);
  return true;
}

bool isBound(const QWidget* control, Event event) {
  const EventBinder* binder = binderOf(control);
  return binder && binder->handlers[index(event)];
}

bool deliver(QWidget* control, Event event, const Input& input) {
  EventBinder* binder = binderOf(control);
  return binder && binder->run(event, input);
}

void forwardEvents(QWidget* control, QWidget* source) {
  EventBinder* binder = ensureBinder(control);
  // Input the source ignores propagates to the control; watching both would deliver it twice.
  control->removeEventFilter(binder);
  source->installEventFilter(binder);
  source->setMouseTracking(true);
}

int keyCode(int qtKey) {
  if (qtKey >= Qt::Key_A && qtKey <= Qt::Key_Z) return qtKey;  // same codes as upper-case ASCII
  if (qtKey >= Qt::Key_0 && qtKey <= Qt::Key_9) return qtKey;
  if (qtKey >= Qt::Key_F1 && qtKey <= Qt::Key_F24) return 112 + (qtKey - Qt::Key_F1);
  switch (qtKey) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
      return kEnterKey;
    case Qt::Key_Escape:
      return kEscapeKey;
    case Qt::Key_Backspace:
      return 8;
    case Qt::Key_Tab:
      return 9;
    case Qt::Key_Space:
      return 32;
    case Qt::Key_PageUp:
      return 33;
    case Qt::Key_PageDown:
      return 34;
    case Qt::Key_End:
      return 35;
    case Qt::Key_Home:
      return 36;
    case Qt::Key_Left:
      return 37;
    case Qt::Key_Up:
      return 38;
    case Qt::Key_Right:
      return 39;
    case Qt::Key_Down:
      return 40;
    case Qt::Key_Insert:
      return 45;
    case Qt::Key_Delete:
      return 46;
    case Qt::Key_Shift:
      return 16;
    case Qt::Key_Control:
      return 17;
    case Qt::Key_Alt:
      return 18;
    default:
      return qtKey < 128 ? qtKey : 0;
  }
}

bool EventBinder::eventFilter(QObject* watched, QEvent* event) {
  auto* widget = qobject_cast<QWidget*>(watched);
  if (!widget) return false;
  const auto pointerOf = [&](const QMouseEvent* e) {
    const QPoint p =
        widget == control_ ? e->position().toPoint() : widget->mapTo(control_, e->position().toPoint());
    return Input{{p.x(), p.y(), e->modifiers()}, 0};
  };
  switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick: {
      auto* e = static_cast<QMouseEvent*>(event);
      // A popup receives the presses made elsewhere too: those dismiss it (see Window).
      if (widget->windowType() == Qt::Popup && !widget->rect().contains(e->position().toPoint())) break;
      if (e->button() == Qt::LeftButton) {
        run(Event::LeftDown, pointerOf(e));
      } else if (e->button() == Qt::RightButton) {
        run(Event::RightDown, pointerOf(e));
      }
      break;
    }
    case QEvent::MouseMove:
      run(Event::MouseMove, pointerOf(static_cast<QMouseEvent*>(event)));
      break;
    case QEvent::KeyPress:
      run(Event::KeyDown, Input{{}, keyCode(static_cast<QKeyEvent*>(event)->key())});
      break;
    // A window's focus is its activation (below); its own focus events would double it.
    case QEvent::FocusIn:
      if (!widget->isWindow()) run(Event::GotFocus);
      break;
    case QEvent::FocusOut:
      if (!widget->isWindow()) run(Event::LostFocus);
      break;
    case QEvent::WindowActivate:
      if (widget == control_) activateOnce();
      break;
    case QEvent::WindowDeactivate:
      if (widget == control_ && widget->isWindow()) run(Event::LostFocus);
      break;
    default:
      break;
  }
  return false;
}

}  // namespace mw::toolkit
