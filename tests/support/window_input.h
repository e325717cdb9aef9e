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

// A left press and release at `at` in `target`.
inline void postClick(QWidget* target, QPoint at = QPoint(5, 5)) {
  QWidget* top = target->window();
  const QPointF inWindow = target->mapTo(top, at);
  const QPointF global = top->mapToGlobal(inWindow);
  for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
    const Qt::MouseButtons held = type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton;
    QCoreApplication::postEvent(top->windowHandle(),
                                new QMouseEvent(type, inWindow, inWindow, global, Qt::LeftButton, held,
                                                Qt::NoModifier, QPointingDevice::primaryPointingDevice()));
  }
}

}  // namespace mw::test
