#pragma once
// The tray icon, where the desktop has a tray (a StatusNotifierItem host or an X11 system tray):
// a click shows or hides the main window; its menu offers 显示/隐藏, 设置… and 退出. Without a
// tray nothing of it shows and nothing else changes.
#include <QMenu>
#include <QSystemTrayIcon>
#include <functional>
#include <memory>

#include "shell/program.h"

namespace mw::shell {

class Tray {
 public:
  Tray(Program& program, std::function<void()> openSettings);
  // Whether the icon shows.
  bool shown() const { return icon_ != nullptr; }

 private:
  void toggle();

  Program& program_;
  QMenu menu_;
  std::unique_ptr<QSystemTrayIcon> icon_;
};

}  // namespace mw::shell
