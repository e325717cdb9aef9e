#include "shell/settings_window.h"

#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeySequenceEdit>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <QWindow>
#include <algorithm>
#include <map>

#include "actions/favourites.h"
#include "library/library.h"
#include "net/picture_upload.h"
#include "net/upload_queue.h"
#include "platform/qt_text.h"
#include "runtime/files.h"
#include "shell/autostart.h"

namespace mw::shell {
namespace {

using platform::toQString;

// How often the folders' counts are looked at again while the window shows.
constexpr int kRefreshMs = 2000;
const char* const kNoReaderNote =
    "无法识别图片上的文字：缺少识字程序 memwick-ocr。图片只能按文件名和文件夹名找到。";

QString q(const char* utf8) { return QString::fromUtf8(utf8); }

template <typename W>
W* named(W* widget, const char* name, const char* description = nullptr) {
  widget->setAccessibleName(q(name));
  if (description) widget->setAccessibleDescription(q(description));
  return widget;
}

// What a refusal of the server means for the user.
QString refusalText(long status, int pictures) {
  QString reason;
  switch (status) {
    case 401:
      reason = q("令牌无效：服务器不接受这个令牌，请检查后重新填写。");
      break;
    case 413:
      reason = q("图片太大：服务器只收 16 MiB 以内的图片。");
      break;
    case 415:
      reason = q("不是图片：服务器认不出这份文件是图片。");
      break;
    default:
      reason = q("服务器拒绝了上传（HTTP %1），请检查服务器地址。").arg(status);
  }
  return reason + q("有 %1 张图片未上传，仍在收藏目录里。").arg(pictures);
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
          QKeySequence::fromString(QString::fromStdString(settings.shortcut), QKeySequence::PortableText)),
      teamServer_(settings.teamServer),
      teamToken_(settings.teamToken) {
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
  teamServerEdit_ = named(new QLineEdit(toQString(teamServer_)), "团队服务器",
                          "共享图库服务器的地址，例如 memes.example.org 或 https://memes.example.org");
  teamServerEdit_->setPlaceholderText(q("例如 https://memes.example.org"));
  teamTokenEdit_ = named(new QLineEdit(toQString(teamToken_)), "团队令牌", "服务器发给你的上传令牌");
  teamTokenEdit_->setEchoMode(QLineEdit::Password);
  // It goes into a header line: no blanks, no characters beyond ASCII.
  teamTokenEdit_->setValidator(
      new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[\\x21-\\x7E]*")), teamTokenEdit_));
  teamState_ = named(new QLabel, "团队上传状态");
  teamState_->setWordWrap(true);
  teamRefusals_ = named(new QLabel, "上传被拒绝");
  teamRefusals_->setWordWrap(true);
  teamRefusals_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  teamRefusals_->setStyleSheet(QStringLiteral("color: #B00020;"));
  teamRefusals_->hide();
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
  auto* team = new QGridLayout;
  const auto teamRow = [team](int row, const char* text, QLineEdit* edit) {
    auto* label = new QLabel(q(text));
    label->setBuddy(edit);
    team->addWidget(label, row, 0);
    team->addWidget(edit, row, 1);
  };
  teamRow(0, "服务器：", teamServerEdit_);
  teamRow(1, "令牌：", teamTokenEdit_);
  team->setColumnStretch(1, 1);
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
  layout->addSpacing(8);
  layout->addWidget(heading("团队"));
  layout->addLayout(team);
  layout->addWidget(teamState_);
  layout->addWidget(teamRefusals_);
  layout->addLayout(bottom);
  resize(560, 600);

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
  connect(teamServerEdit_, &QLineEdit::editingFinished, this, &SettingsWindow::storeTeam);
  connect(teamTokenEdit_, &QLineEdit::editingFinished, this, &SettingsWindow::storeTeam);
  connect(close_, &QPushButton::clicked, this, &QWidget::close);
  refresh_.setInterval(kRefreshMs);
  connect(&refresh_, &QTimer::timeout, this, [this] {
    showFolders();
    showTeam();
  });
  showFolders();
  showTeam();
}

// The editor ends its sequence when it loses the focus, as it does while its window goes.
SettingsWindow::~SettingsWindow() { QObject::disconnect(shortcutEdit_, nullptr, this, nullptr); }

void SettingsWindow::open() {
  QWidget* main = program_.main.主窗口;
  // On the main window while it shows (the window system keeps it above and places it there).
  winId();
  windowHandle()->setTransientParent(main->isVisible() ? main->windowHandle() : nullptr);
  showFolders();
  showTeam();
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
  QString note;
  if (!library_)
    note = q("图库只随内置站点运行：使用其他站点时这些文件夹不会被搜索。");
  else if (!library_->progress().noReader.empty())
    note = q(kNoReaderNote);
  foldersNote_->setText(note);
  foldersNote_->setVisible(!note.isEmpty());
}

void SettingsWindow::linkUploads(net::UploadQueue& queue) {
  uploads_ = &queue;
  queue.setServer(teamServer_, teamToken_);
  queue.onRejected([this](const net::Rejection& rejection) {
    QMetaObject::invokeMethod(
        this, [this, rejection] { sayRejected(rejection); }, Qt::QueuedConnection);
  });
  program_.state.favourites.saved = [&queue](const Text& file) { queue.add(file); };
  showTeam();
}

void SettingsWindow::storeTeam() {
  const Text server = platform::fromQString(teamServerEdit_->text().trimmed());
  const Text token = platform::fromQString(teamTokenEdit_->text().trimmed());
  if (server == teamServer_ && token == teamToken_) return;
  teamServer_ = server;
  teamToken_ = token;
  if (!shell::storeTeam(program_.places.settingsFile(), server, token)) say(kSettingNotWrittenMessage);
  if (uploads_) uploads_->setServer(server, token);
  // What was refused was refused to the old settings.
  refused_.clear();
  teamRefusals_->hide();
  showTeam();
}

void SettingsWindow::showTeam() {
  QString state;
  if (teamServer_.empty() || teamToken_.empty()) {
    state = q("填写服务器和令牌后，收藏的图片也会上传到团队的共享图库。");
  } else if (net::uploadAddress(teamServer_).empty()) {
    state = q("服务器地址无效：请填写 主机[:端口]，或以 http:// 或 https:// 开头的地址。");
  } else if (uploads_) {
    const net::UploadQueue::Status status = uploads_->status();
    if (status.retrying)
      state = status.lastStatus == 429 ? q("服务器暂时不收更多图片，稍后自动重试。")
              : status.lastStatus ? q("服务器出错（HTTP %1），稍后自动重试。").arg(status.lastStatus)
                                  : q("暂时连不上服务器，稍后自动重试。");
    else
      state = q("收藏的图片会在后台上传到团队的共享图库。");
    if (status.waiting) state += q("待上传 %1 张。").arg(status.waiting);
    if (status.delivered) state += q("本次已上传 %1 张。").arg(status.delivered);
  }
  teamState_->setText(state);
}

void SettingsWindow::sayRejected(const net::Rejection& rejection) {
  const bool first = refused_.find(rejection.status) == refused_.end();
  ++refused_[rejection.status];
  QStringList lines;
  for (const auto& [status, pictures] : refused_) lines << refusalText(status, pictures);
  teamRefusals_->setText(lines.join(QLatin1Char('\n')));
  teamRefusals_->show();
  showTeam();
  if (!first || isVisible()) return;
  // The user is busy elsewhere (a chat): the window shows, the keyboard stays where it is.
  setAttribute(Qt::WA_ShowWithoutActivating, true);
  showFolders();
  refresh_.start();
  show();
  setAttribute(Qt::WA_ShowWithoutActivating, false);
}

void bindSettingsButton(Program& program, SettingsWindow& window) {
  program.registry.on(program.main.设置_按钮, toolkit::Event::LeftDown,
                      [&window](const forms::Context&) { window.open(); });
}

}  // namespace mw::shell
