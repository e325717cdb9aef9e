#include "toolkit/balloon_tip.h"

#include <QLabel>
#include <QVariantAnimation>

#include "toolkit/accessibility.h"
#include "platform/qt_text.h"

namespace mw::toolkit {
using platform::fromQString;
using platform::toQString;

BalloonPopup::BalloonPopup() = default;

BalloonTip::BalloonTip(QObject* parent)
    : QObject(parent), popup_(std::make_unique<BalloonPopup>()), fade_(new QVariantAnimation(this)) {
  // The tip opens at the pointer and may cover the next picture: clicks go through it.
  popup_->setWindowFlags(Qt::ToolTip | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                         Qt::WindowTransparentForInput);
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
  popup_->setWindowOpacity(1.0);
  popup_->setAccessibleDescription(objectName());
  popup_->show();
  announceTip(popup_.get());
  phase_ = Phase::Shown;
  stay_.start(kShownMs);
}

void BalloonTip::startFade() {
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

}  // namespace mw::toolkit
