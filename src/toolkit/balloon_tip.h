#pragma once
// The balloon tip: a light-yellow popup at a screen point. It shows up 100 ms after it is
// asked to, stays 2000 ms, then fades out over 200 ms. A new request replaces the old one.
#include <QElapsedTimer>
#include <QLabel>
#include <QObject>
#include <QPoint>
#include <QTimer>
#include <memory>

#include "runtime/text.h"

class QVariantAnimation;

namespace mw::toolkit {

// The tip's popup window; accessibility tools see it as a tool tip.
class BalloonPopup : public QLabel {
  Q_OBJECT
 public:
  BalloonPopup();
};

class BalloonTip : public QObject {
  Q_OBJECT
 public:
  static constexpr int kDelayMs = 100;
  static constexpr int kShownMs = 2000;
  static constexpr int kFadeMs = 200;
  enum class Phase { Idle, Waiting, Shown, Fading };

  explicit BalloonTip(QObject* parent = nullptr);
  ~BalloonTip() override;

  void showAt(QPoint screenPoint, const Text& text);
  void hideNow();
  Phase phase() const { return phase_; }
  Text text() const { return text_; }
  QPoint point() const { return point_; }
  // The popup widget (for looks and tests); hidden until shown.
  QWidget* popup() const;

 private:
  void appear();
  void startFade();

  std::unique_ptr<BalloonPopup> popup_;
  QTimer delay_;
  QTimer stay_;
  QVariantAnimation* fade_;
  Phase phase_ = Phase::Idle;
  Text text_;
  QPoint point_;
};

}  // namespace mw::toolkit
