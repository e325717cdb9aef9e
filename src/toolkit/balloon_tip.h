#pragma once
// The balloon tip: a light-yellow popup at a screen point, standing on the window that owns it
// (its parent). It shows up 100 ms after it is asked to, stays 2000 ms, then fades out over
// 200 ms where the window system shows opacity, or hides. A new request replaces the old one.
// It never takes the keyboard, and a press on it goes to the owner's control under it.
#include <QElapsedTimer>
#include <QLabel>
#include <QObject>
#include <QPoint>
#include <QTimer>
#include <memory>

#include "runtime/text.h"

class QMouseEvent;
class QVariantAnimation;

namespace mw::toolkit {

class BalloonTip;

// The tip's popup window; accessibility tools see it as a tool tip.
class BalloonPopup : public QLabel {
  Q_OBJECT
 public:
  explicit BalloonPopup(BalloonTip& tip);

 protected:
  void mousePressEvent(QMouseEvent* e) override;

 private:
  BalloonTip& tip_;
};

class BalloonTip : public QObject {
  Q_OBJECT
 public:
  static constexpr int kDelayMs = 100;
  static constexpr int kShownMs = 2000;
  static constexpr int kFadeMs = 200;
  enum class Phase { Idle, Waiting, Shown, Fading };

  // The owner is the window the tip stands on.
  explicit BalloonTip(QWidget* owner = nullptr);
  ~BalloonTip() override;

  void showAt(QPoint screenPoint, const Text& text);
  void hideNow();
  Phase phase() const { return phase_; }
  Text text() const { return text_; }
  QPoint point() const { return point_; }
  // The popup widget (for looks and tests); hidden until shown.
  QWidget* popup() const;

 private:
  friend class BalloonPopup;
  void appear();
  void startFade();
  // Closes the tip and hands the press to the owner's control under it.
  void passOn(QMouseEvent* press);

  std::unique_ptr<BalloonPopup> popup_;
  QTimer delay_;
  QTimer stay_;
  QVariantAnimation* fade_;
  Phase phase_ = Phase::Idle;
  Text text_;
  QPoint point_;
};

}  // namespace mw::toolkit
