#pragma once
// Input as the window system hands it to a window: queued, and sorted out by the window (and
// the wait pump) when the event loop gets to it, unlike Qt Test's events sent straight to a
// widget.
#include <QCoreApplication>
#include <QMouseEvent>
#include <QPointingDevice>
#include <QWidget>
#include <QWindow>

namespace mw::test {

// One left-button mouse event at `at` in `target`; `held` is the buttons down after it.
inline void postMouse(QWidget* target, QEvent::Type type, QPoint at, Qt::MouseButtons held) {
  QWidget* top = target->window();
  const QPointF inWindow = target->mapTo(top, at);
  const QPointF global = top->mapToGlobal(inWindow);
  const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
  QCoreApplication::postEvent(top->windowHandle(),
                              new QMouseEvent(type, inWindow, inWindow, global, button, held, Qt::NoModifier,
                                              QPointingDevice::primaryPointingDevice()));
}

// A left press and release at `at` in `target`.
inline void postClick(QWidget* target, QPoint at = QPoint(5, 5)) {
  postMouse(target, QEvent::MouseButtonPress, at, Qt::LeftButton);
  postMouse(target, QEvent::MouseButtonRelease, at, Qt::NoButton);
}

}  // namespace mw::test
