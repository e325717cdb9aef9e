#include "shell/settings_window.h"

#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeySequenceEdit>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <QWindow>
#include <algorithm>
#include <map>

#include "actions/favourites.h"
#include "library/library.h"
#include "platform/qt_text.h"
#include "runtime/files.h"
#include "shell/autostart.h"

namespace mw::shell {
namespace {

using platform::toQString;

// How often the folders' counts are looked at again while the window shows.
constexpr int kRefreshMs = 2000;

QString q(const char* utf8) { return QString::fromUtf8(utf8); }

template <typename W>
W* named(W* widget, const char* name, const char* description = nullptr) {
  widget->setAccessibleName(q(name));
  if (description) widget->setAccessibleDescription(q(description));
  return widget;
}

QLabel* heading(const char* text) {
  auto* label = new QLabel(q(text));
  QFont font = label->font();
  font.setBold(true);
  label->setFont(font);
  return label;
}

}  // namespace

SettingsWindow::SettingsWindow(Program& program, library::Library* library,
                               std::vector<std::string> runFolders, const UserSettings& settings,
                               std::string configFolder)
    : QWidget(nullptr, Qt::Dialog),
      program_(program),
      library_(library),
      runFolders_(std::move(runFolders)),
      storedFolders_(settings.libraryFolders),
      configFolder_(std::move(configFolder)),
      shortcut_(
          QKeySequence::fromString(QString::fromStdString(settings.shortcut), QKeySequence::PortableText)) {
  setObjectName(QStringLiteral("设置窗口"));
  setWindowTitle(q("设置"));
  setAccessibleName(q("设置"));
  // Closing it never ends the program, whatever else is hidden.
  setAttribute(Qt::WA_QuitOnClose, false);
  // The pages' own white.
  QPalette white = palette();
  white.setColor(QPalette::Window, Qt::white);
  setPalette(white);
  setAutoFillBackground(true);

  shortcutEdit_ = named(new QKeySequenceEdit(shortcut_), "呼出快捷键", "按下新的组合键");
  if (auto* line = shortcutEdit_->findChild<QLineEdit*>()) named(line, "呼出快捷键", "按下新的组合键");
  clearShortcut_ = named(new QPushButton(q("清除")), "清除快捷键");
  shortcutState_ = named(new QLabel, "快捷键状态");
  shortcutState_->setWordWrap(true);
  shortcutState_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  hideAfterCopy_ = named(new QCheckBox(q("复制图片后隐藏主窗口")), "复制后隐藏");
  hideAfterCopy_->setChecked(settings.hideAfterCopy);
  autostart_ = named(new QCheckBox(q("登录桌面时启动 Memwick")), "随桌面启动");
  autostart_->setChecked(autostartOn(configFolder_));
  folders_ = named(new QTreeWidget, "图库文件夹", "搜索也会找到这些文件夹里的图片");
  folders_->setColumnCount(4);
  folders_->setHeaderLabels({q("文件夹"), q("图片"), q("已读"), q("状态")});
  folders_->setRootIsDecorated(false);
  folders_->setUniformRowHeights(true);
  folders_->header()->setStretchLastSection(false);
  folders_->header()->setSectionResizeMode(0, QHeaderView::Stretch);
  for (int column = 1; column < 4; ++column)
    folders_->header()->setSectionResizeMode(column, QHeaderView::ResizeToContents);
  foldersNote_ = named(new QLabel, "图库说明");
  foldersNote_->setWordWrap(true);
  addFolder_ = named(new QPushButton(q("添加文件夹…")), "添加图库文件夹");
  removeFolder_ = named(new QPushButton(q("移除")), "移除图库文件夹");
  close_ = named(new QPushButton(q("关闭")), "关闭设置");

  auto* shortcutRow = new QHBoxLayout;
  auto* shortcutLabel = new QLabel(q("呼出快捷键："));
  shortcutLabel->setBuddy(shortcutEdit_);
  shortcutRow->addWidget(shortcutLabel);
  shortcutRow->addWidget(shortcutEdit_, 1);
  shortcutRow->addWidget(clearShortcut_);
  auto* folderButtons = new QHBoxLayout;
  folderButtons->addWidget(addFolder_);
  folderButtons->addWidget(removeFolder_);
  folderButtons->addStretch(1);
  auto* bottom = new QHBoxLayout;
  bottom->addStretch(1);
  bottom->addWidget(close_);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(16, 16, 16, 16);
  layout->addWidget(heading("呼出"));
  layout->addLayout(shortcutRow);
  layout->addWidget(shortcutState_);
  layout->addWidget(hideAfterCopy_);
  layout->addWidget(autostart_);
  layout->addSpacing(8);
  layout->addWidget(heading("图库"));
  layout->addWidget(folders_, 1);
  layout->addWidget(foldersNote_);
  layout->addLayout(folderButtons);
  layout->addLayout(bottom);
  resize(560, 460);

  setShortcutProblem({});
  connect(shortcutEdit_, &QKeySequenceEdit::editingFinished, this, [this] {
    // One combination: the editor takes up to four in a row.
    const QKeySequence typed = shortcutEdit_->keySequence();
    storeShortcut(typed.isEmpty() ? QKeySequence() : QKeySequence(typed[0]));
  });
  connect(clearShortcut_, &QPushButton::clicked, this, [this] { storeShortcut({}); });
  connect(hideAfterCopy_, &QCheckBox::toggled, this, &SettingsWindow::storeHideAfterCopy);
  connect(autostart_, &QCheckBox::toggled, this, &SettingsWindow::storeAutostart);
  connect(addFolder_, &QPushButton::clicked, this, &SettingsWindow::addFolder);
  connect(removeFolder_, &QPushButton::clicked, this, &SettingsWindow::removeFolder);
  connect(folders_, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* item) {
    removeFolder_->setEnabled(item && item->data(0, Qt::UserRole).toBool());
  });
  connect(close_, &QPushButton::clicked, this, &QWidget::close);
  refresh_.setInterval(kRefreshMs);
  connect(&refresh_, &QTimer::timeout, this, &SettingsWindow::showFolders);
  showFolders();
}

// The editor ends its sequence when it loses the focus, as it does while its window goes.
SettingsWindow::~SettingsWindow() { QObject::disconnect(shortcutEdit_, nullptr, this, nullptr); }

void SettingsWindow::open() {
  QWidget* main = program_.main.主窗口;
  // On the main window while it shows (the window system keeps it above and places it there).
  winId();
  windowHandle()->setTransientParent(main->isVisible() ? main->windowHandle() : nullptr);
  showFolders();
  refresh_.start();
  show();
  raise();
  activateWindow();
  // Not in the shortcut's editor: the next key pressed there becomes the shortcut.
  hideAfterCopy_->setFocus(Qt::ActiveWindowFocusReason);
}

void SettingsWindow::hideEvent(QHideEvent* event) {
  refresh_.stop();
  QWidget::hideEvent(event);
}

void SettingsWindow::setShortcutProblem(const QString& problem) {
  shortcutState_->setText(problem);
  shortcutState_->setVisible(!problem.isEmpty());
}

void SettingsWindow::say(const Text& message) {
  program_.registry.context().desktop.messageBox(this, message, {}, platform::MessageButtons::Ok);
}

void SettingsWindow::storeShortcut(const QKeySequence& keys) {
  shortcutEdit_->setKeySequence(keys);
  if (keys == shortcut_) return;
  shortcut_ = keys;
  if (!shell::storeShortcut(program_.places.settingsFile(),
                            keys.toString(QKeySequence::PortableText).toStdString()))
    say(kSettingNotWrittenMessage);
  emit shortcutChanged(keys);
}

void SettingsWindow::storeHideAfterCopy(bool on) {
  program_.state.settings.hideAfterCopy = on;
  if (!shell::storeHideAfterCopy(program_.places.settingsFile(), on)) say(kSettingNotWrittenMessage);
}

void SettingsWindow::storeAutostart(bool on) {
  const std::string program = QFile::encodeName(QCoreApplication::applicationFilePath()).toStdString();
  if (setAutostart(configFolder_, program, on)) return;
  say(kSettingNotWrittenMessage);
  const QSignalBlocker quiet(autostart_);
  autostart_->setChecked(autostartOn(configFolder_));
}

void SettingsWindow::addFolder() {
  const std::optional<Text> chosen = program_.registry.context().desktop.chooseFolder(
      this, storedFolders_.empty() ? Text() : storedFolders_.back());
  if (!chosen || chosen->empty()) return;
  // MW_scdz.ini is GBK: a path it cannot hold would come back naming another folder.
  if (!runtime::storablePath(*chosen)) {
    say(actions::kUnstorableFolderMessage);
    return;
  }
  if (std::find(storedFolders_.begin(), storedFolders_.end(), *chosen) != storedFolders_.end()) return;
  storedFolders_.push_back(*chosen);
  if (!storeLibraryFolders(program_.places.settingsFile(), storedFolders_))
    say(actions::kSettingsNotWrittenMessage);
  applyFolders();
}

void SettingsWindow::removeFolder() {
  const QTreeWidgetItem* item = folders_->currentItem();
  if (!item || !item->data(0, Qt::UserRole).toBool()) return;
  const Text folder = platform::fromQString(item->data(0, Qt::UserRole + 1).toString());
  const auto at = std::find(storedFolders_.begin(), storedFolders_.end(), folder);
  if (at == storedFolders_.end()) return;
  storedFolders_.erase(at);
  if (!storeLibraryFolders(program_.places.settingsFile(), storedFolders_)) say(kSettingNotWrittenMessage);
  applyFolders();
}

void SettingsWindow::applyFolders() {
  if (library_) {
    std::vector<std::string> folders = runFolders_;
    for (const Text& stored : storedFolders_) {
      const std::string folder = runtime::nativePath(stored);
      if (std::find(folders.begin(), folders.end(), folder) == folders.end()) folders.push_back(folder);
    }
    library_->setFolders(folders);
  }
  showFolders();
}

void SettingsWindow::showFolders() {
  const QString current = folders_->currentItem() ? folders_->currentItem()->text(0) : QString();
  // What the library has of each folder, by the folder as it was given.
  std::map<std::string, library::FolderState> states;
  if (library_)
    for (library::FolderState& state : library_->folderStates()) states[state.folder] = std::move(state);
  folders_->clear();
  const auto row = [&](const std::string& folder, bool stored) {
    QStringList shown{QFile::decodeName(QByteArray::fromStdString(folder)), {}, {}, {}};
    if (const auto found = states.find(folder); found != states.end()) {
      const library::FolderState& state = found->second;
      if (state.problem.empty()) {
        shown[1] = q("%1 张").arg(state.pictures);
        shown[2] = q("%1 张").arg(state.read);
      }
      shown[3] = QString::fromStdString(state.problem);
    }
    if (!stored && shown[3].isEmpty()) shown[3] = q("仅本次运行（--library）");
    auto* item = new QTreeWidgetItem(folders_, shown);
    item->setData(0, Qt::UserRole, stored);
    return item;
  };
  for (const std::string& folder : runFolders_) row(folder, false);
  for (const Text& folder : storedFolders_)
    row(runtime::nativePath(folder), true)->setData(0, Qt::UserRole + 1, toQString(folder));
  for (int i = 0; i < folders_->topLevelItemCount(); ++i)
    if (folders_->topLevelItem(i)->text(0) == current) folders_->setCurrentItem(folders_->topLevelItem(i));
  removeFolder_->setEnabled(folders_->currentItem() &&
                            folders_->currentItem()->data(0, Qt::UserRole).toBool());
  foldersNote_->setText(library_ ? QString()
                                 : q("图库只随内置站点运行：使用其他站点时这些文件夹不会被搜索。"));
  foldersNote_->setVisible(!library_);
}

void bindSettingsButton(Program& program, SettingsWindow& window) {
  program.registry.on(program.main.设置_按钮, toolkit::Event::LeftDown,
                      [&window](const forms::Context&) { window.open(); });
}

}  // namespace mw::shell
