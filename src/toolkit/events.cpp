#include "toolkit/events.h"

#include <QAbstractButton>
#include <QEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QWidget>

namespace mw::toolkit {

EventBinder::EventBinder(QWidget* control) : QObject(control), control_(control) {
  setObjectName(QStringLiteral("mw_event_binder"));
  control->installEventFilter(this);
  if (auto* button = qobject_cast<QAbstractButton*>(control)) {
    connect(button, &QAbstractButton::clicked, this, [this] {
      if (events.click) events.click();
    });
  }
}

namespace {
EventBinder* binderOf(const QWidget* control) {
  return control->findChild<EventBinder*>(QStringLiteral("mw_event_binder"), Qt::FindDirectChildrenOnly);
}
}  // namespace

Events& events(QWidget* control) {
  auto* binder = binderOf(control);
  if (!binder) binder = new EventBinder(control);  // owned by the control
  control->setMouseTracking(true);                 // cheap, and mouse-move handlers may be bound later
  return binder->events;
}

const Events* boundEvents(const QWidget* control) {
  const EventBinder* binder = binderOf(control);
  return binder ? &binder->events : nullptr;
}

void forwardEvents(QWidget* control, QWidget* source) {
  events(control);
  auto* binder = binderOf(control);
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
      return 13;
    case Qt::Key_Escape:
      return 27;
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
    return Pointer{p.x(), p.y(), e->modifiers()};
  };
  switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick: {
      auto* e = static_cast<QMouseEvent*>(event);
      if (e->button() == Qt::LeftButton && events.leftDown) {
        events.leftDown(pointerOf(e));
      } else if (e->button() == Qt::RightButton && events.rightDown) {
        events.rightDown(pointerOf(e));
      }
      break;
    }
    case QEvent::MouseMove:
      if (events.mouseMove) events.mouseMove(pointerOf(static_cast<QMouseEvent*>(event)));
      break;
    case QEvent::KeyPress:
      if (events.keyDown) events.keyDown(keyCode(static_cast<QKeyEvent*>(event)->key()));
      break;
    // A window's focus is its activation (below); its own focus events would double it.
    case QEvent::FocusIn:
      if (!widget->isWindow() && events.gotFocus) events.gotFocus();
      break;
    case QEvent::FocusOut:
      if (!widget->isWindow() && events.lostFocus) events.lostFocus();
      break;
    case QEvent::WindowActivate:
      if (widget == control_ && !activatedOnce) {
        activatedOnce = true;
        if (events.firstActivation) events.firstActivation();
      }
      break;
    case QEvent::WindowDeactivate:
      if (widget == control_ && widget->isWindow() && events.lostFocus) events.lostFocus();
      break;
    default:
      break;
  }
  return false;
}

}  // namespace mw::toolkit
