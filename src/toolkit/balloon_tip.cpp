#include "toolkit/balloon_tip.h"

#include <QApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QVariantAnimation>
#include <QWindow>

#include "platform/qt_text.h"
#include "platform/window_system.h"
#include "toolkit/accessibility.h"

namespace mw::toolkit {
using platform::fromQString;
using platform::toQString;

BalloonPopup::BalloonPopup(BalloonTip& tip) : tip_(tip) {}

void BalloonPopup::mousePressEvent(QMouseEvent* e) { tip_.passOn(e); }

BalloonTip::BalloonTip(QWidget* owner)
    : QObject(owner), popup_(std::make_unique<BalloonPopup>(*this)), fade_(new QVariantAnimation(this)) {
  // A tool tip never takes the keyboard. It takes presses (Wayland gives no input transparency)
  // and hands them on.
  popup_->setWindowFlags(Qt::ToolTip | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
  popup_->setAttribute(Qt::WA_ShowWithoutActivating);
  popup_->setTextFormat(Qt::PlainText);
  QFont font = popup_->font();
  font.setPointSize(9);
  popup_->setFont(font);
  popup_->setStyleSheet(QStringLiteral(
      "QLabel { background: #FFFFE1; color: black; border: 1px solid #767676; padding: 6px 8px; }"));
  delay_.setSingleShot(true);
  stay_.setSingleShot(true);
  // Coarse timers may fire 5% early; the timing is part of the look.
  delay_.setTimerType(Qt::PreciseTimer);
  stay_.setTimerType(Qt::PreciseTimer);
  connect(&delay_, &QTimer::timeout, this, [this] { appear(); });
  connect(&stay_, &QTimer::timeout, this, [this] { startFade(); });
  fade_->setDuration(kFadeMs);
  fade_->setStartValue(1.0);
  fade_->setEndValue(0.0);
  connect(fade_, &QVariantAnimation::valueChanged, this,
          [this](const QVariant& v) { popup_->setWindowOpacity(v.toDouble()); });
  connect(fade_, &QVariantAnimation::finished, this, [this] { hideNow(); });
}

BalloonTip::~BalloonTip() = default;

QWidget* BalloonTip::popup() const { return popup_.get(); }

void BalloonTip::showAt(QPoint screenPoint, const Text& text) {
  hideNow();
  text_ = text;
  point_ = screenPoint;
  phase_ = Phase::Waiting;
  delay_.start(kDelayMs);
}

void BalloonTip::appear() {
  popup_->setText(toQString(text_));
  popup_->adjustSize();
  popup_->move(point_);
  // It stands on its owner: the compositor places it from there (on Wayland, where the point is
  // known only relative to the owner) and never makes it a window of its own.
  popup_->winId();
  auto* owner = qobject_cast<QWidget*>(parent());
  popup_->windowHandle()->setTransientParent(owner && owner->isVisible() ? owner->windowHandle() : nullptr);
  if (platform::windowOpacityWorks()) popup_->setWindowOpacity(1.0);
  popup_->setAccessibleDescription(objectName());
  popup_->show();
  announceTip(popup_.get());
  phase_ = Phase::Shown;
  stay_.start(kShownMs);
}

void BalloonTip::startFade() {
  if (!platform::windowOpacityWorks()) {
    hideNow();
    return;
  }
  phase_ = Phase::Fading;
  fade_->start();
}

void BalloonTip::hideNow() {
  delay_.stop();
  stay_.stop();
  fade_->stop();
  popup_->hide();
  phase_ = Phase::Idle;
}

void BalloonTip::passOn(QMouseEvent* press) {
  press->accept();
  const QPointF global = press->globalPosition();
  hideNow();
  auto* owner = qobject_cast<QWidget*>(parent());
  if (!owner || !owner->isVisible()) return;
  const QPoint inOwner = owner->mapFromGlobal(global.toPoint());
  if (!owner->rect().contains(inOwner)) return;
  QWidget* target = owner->childAt(inOwner);
  if (!target) target = owner;
  // Through the application, as a press from the window would go: the focus follows the press.
  QMouseEvent passed(QEvent::MouseButtonPress, target->mapFromGlobal(global), global, press->button(),
                     press->buttons(), press->modifiers());
  QApplication::sendEvent(target, &passed);
}

}  // namespace mw::toolkit
