#include "shell/user_settings.h"

#include <QKeySequence>
#include <QString>
#include <filesystem>
#include <system_error>

#include "runtime/files.h"
#include "runtime/ini_file.h"

namespace mw::shell {
namespace {

const Text kSettingsSection = "设置"_gbk;
const Text kShortcutKey = "呼出快捷键"_gbk;
const Text kHideAfterCopyKey = "复制后隐藏"_gbk;
const Text kLibrarySection = "图库"_gbk;
const Text kFolderKey = "目录"_gbk;
const Text kTeamSection = "团队"_gbk;
const Text kServerKey = "服务器"_gbk;
const Text kTokenKey = "令牌"_gbk;

// The file, or an empty one where there is none yet; nullopt when one is there but unreadable:
// it must not be replaced by one holding only what is stored now.
std::optional<runtime::IniFile> fileToChange(const Text& file) {
  if (!runtime::fileExists(file)) return runtime::IniFile();
  return runtime::IniFile::load(file);
}

// 目录1, 目录2, ... in order, up to the first one missing.
TextArray storedFolders(const runtime::IniFile& ini) {
  TextArray folders;
  for (int k = 1;; ++k) {
    const std::optional<Text> folder = ini.value(kLibrarySection, kFolderKey + runtime::fromInteger(k));
    if (!folder) return folders;
    folders.push_back(*folder);
  }
}

}  // namespace

UserSettings readUserSettings(const Text& file, const Text& settingsFolder) {
  UserSettings settings;
  const std::optional<runtime::IniFile> ini = runtime::IniFile::load(file);
  if (!ini) return settings;
  if (const std::optional<Text> keys = ini->value(kSettingsSection, kShortcutKey)) {
    // One Qt cannot read keeps the default rather than leaving the user without a shortcut.
    const QKeySequence sequence =
        QKeySequence::fromString(QString::fromLatin1(*keys), QKeySequence::PortableText);
    if (keys->empty() || !sequence.isEmpty())
      settings.shortcut = sequence.toString(QKeySequence::PortableText).toStdString();
  }
  settings.hideAfterCopy = ini->value(kSettingsSection, kHideAfterCopyKey) == Text("1");
  for (const Text& folder : storedFolders(*ini)) {
    if (folder.empty() || !runtime::storablePath(folder)) continue;
    settings.libraryFolders.push_back(folder.front() == '/' ? folder : settingsFolder + "/" + folder);
  }
  settings.teamServer = ini->value(kTeamSection, kServerKey).value_or(Text());
  settings.teamToken = ini->value(kTeamSection, kTokenKey).value_or(Text());
  return settings;
}

bool storeShortcut(const Text& file, const Text& keys) {
  return runtime::writeIni(file, kSettingsSection, kShortcutKey, keys);
}

bool storeHideAfterCopy(const Text& file, bool on) {
  return runtime::writeIni(file, kSettingsSection, kHideAfterCopyKey, on ? "1" : "0");
}

bool storeLibraryFolders(const Text& file, const TextArray& folders) {
  std::optional<runtime::IniFile> ini = fileToChange(file);
  if (!ini) return false;
  // Every 目录 key goes, so that no old one lingers past the new last.
  for (const Text& key : ini->keys(kLibrarySection))
    if (key.starts_with(kFolderKey)) ini->removeKey(kLibrarySection, key);
  for (std::size_t k = 0; k < folders.size(); ++k) {
    if (!runtime::storablePath(folders[k]) ||
        !ini->setValue(kLibrarySection, kFolderKey + runtime::fromInteger(static_cast<long long>(k + 1)),
                       folders[k]))
      return false;
  }
  return ini->save(file);
}

bool storeTeam(const Text& file, const Text& server, const Text& token) {
  std::optional<runtime::IniFile> ini = fileToChange(file);
  if (!ini || !ini->setValue(kTeamSection, kServerKey, server) ||
      !ini->setValue(kTeamSection, kTokenKey, token) || !ini->save(file))
    return false;
  std::error_code ignored;
  std::filesystem::permissions(runtime::nativePath(file),
                               std::filesystem::perms::owner_read | std::filesystem::perms::owner_write,
                               ignored);
  return true;
}

}  // namespace mw::shell
