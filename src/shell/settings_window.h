#pragma once
// The settings window 设置, opened from the tray and from 设置_按钮 on the 收藏 page: the summon
// shortcut, hide after copy, start with the desktop, the library's folders and the shared
// collection's server. What it shows is what MW_scdz.ini holds; each change is stored at once.
#include <QKeySequence>
#include <QTimer>
#include <QWidget>
#include <map>
#include <string>
#include <vector>

#include "shell/program.h"
#include "shell/user_settings.h"

class QCheckBox;
class QKeySequenceEdit;
class QLabel;
class QLineEdit;
class QPushButton;
class QTreeWidget;

namespace mw::library {
class Library;
}
namespace mw::net {
class UploadQueue;
struct Rejection;
}  // namespace mw::net

namespace mw::shell {

// Said when a setting could not be stored.
inline const Text kSettingNotWrittenMessage = "设置文件写入失败，此项设置仅本次有效"_gbk;

class SettingsWindow : public QWidget {
  Q_OBJECT
 public:
  // `library` is the embedded site's, nullptr when there is none; `runFolders` are the folders
  // given with --library, searched for this run only. `configFolder` holds the autostart entry.
  SettingsWindow(Program& program, library::Library* library, std::vector<std::string> runFolders,
                 const UserSettings& settings, std::string configFolder);
  ~SettingsWindow() override;

  // Shows it, over the main window while that shows, active.
  void open();
  QKeySequence shortcut() const { return shortcut_; }
  // What the place under the shortcut says: empty while the shortcut works, else what is wrong
  // and what the user can do.
  void setShortcutProblem(const QString& problem);
  // From now on each saved picture goes to `queue` while the 团队 section names a server and a
  // token, and what the server refuses is said here: once for each reason until the section
  // changes. The queue must go before the window and the program.
  void linkUploads(net::UploadQueue& queue);

 signals:
  // A new shortcut was stored (empty: none).
  void shortcutChanged(const QKeySequence& keys);

 protected:
  void hideEvent(QHideEvent* event) override;

 private:
  void storeShortcut(const QKeySequence& keys);
  void storeHideAfterCopy(bool on);
  void storeAutostart(bool on);
  void addFolder();
  void removeFolder();
  // The folders as the library reads them, and the list that shows them with what the library
  // has of each.
  void applyFolders();
  void showFolders();
  void say(const Text& message);
  void storeTeam();
  void showTeam();
  // On the window's thread: the window comes up, without taking the keyboard, the first time.
  void sayRejected(const net::Rejection& rejection);

  Program& program_;
  library::Library* library_;
  std::vector<std::string> runFolders_;
  TextArray storedFolders_;
  std::string configFolder_;
  QKeySequence shortcut_;
  Text teamServer_;
  Text teamToken_;
  net::UploadQueue* uploads_ = nullptr;
  // The pictures refused since the section last changed, by the server's answer.
  std::map<long, int> refused_;

  QKeySequenceEdit* shortcutEdit_;
  QPushButton* clearShortcut_;
  QLabel* shortcutState_;
  QCheckBox* hideAfterCopy_;
  QCheckBox* autostart_;
  QTreeWidget* folders_;
  QLabel* foldersNote_;
  QPushButton* addFolder_;
  QPushButton* removeFolder_;
  QLineEdit* teamServerEdit_;
  QLineEdit* teamTokenEdit_;
  QLabel* teamState_;
  QLabel* teamRefusals_;
  QPushButton* close_;
  QTimer refresh_;
};

// Binds 设置_按钮 to open the window.
void bindSettingsButton(Program& program, SettingsWindow& window);

}  // namespace mw::shell
