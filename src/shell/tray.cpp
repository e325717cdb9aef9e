#include "shell/tray.h"

#include <QApplication>

#include "shell/summon.h"

namespace mw::shell {

Tray::Tray(Program& program, std::function<void()> openSettings) : program_(program) {
  if (!QSystemTrayIcon::isSystemTrayAvailable()) return;
  menu_.addAction(QString::fromUtf8("显示/隐藏"), [this] { toggle(); });
  menu_.addAction(QString::fromUtf8("设置…"), std::move(openSettings));
  menu_.addSeparator();
  menu_.addAction(QString::fromUtf8("退出"), [this] { quitProgram(program_); });
  icon_ = std::make_unique<QSystemTrayIcon>(QApplication::windowIcon());
  icon_->setToolTip(QStringLiteral("Memwick"));
  icon_->setContextMenu(&menu_);
  QObject::connect(icon_.get(), &QSystemTrayIcon::activated,
                   [this](QSystemTrayIcon::ActivationReason reason) {
                     if (reason == QSystemTrayIcon::Trigger) toggle();
                   });
  icon_->show();
}

// By whether the window shows: a click on the tray has just taken the keyboard from it.
void Tray::toggle() {
  if (program_.main.主窗口->isVisible() && !program_.main.主窗口->isMinimized()) {
    hideWindow(program_);
  } else {
    // The click was the user's, now: the X server's time says so where a window manager asks.
    const bool x11 = QGuiApplication::platformName() == QLatin1String("xcb");
    showWindow(program_, {{}, x11 ? platform::x11ServerTime() : 0});
  }
}

}  // namespace mw::shell
