#include "shell/user_folders.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>

namespace mw::shell {
namespace {

std::string nativePath(const QString& path) { return QFile::encodeName(path).toStdString(); }

}  // namespace

runtime::UserFolders userFolders() {
  const QString home = QDir::homePath();
  QString config = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
  // A relative $XDG_CONFIG_HOME is to be ignored, which Qt 6.4 does not do.
  if (QDir::isRelativePath(config)) config = home + QStringLiteral("/.config");
  QString pictures = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
  // A pictures folder set to the home folder itself means the user turned it off.
  if (pictures.isEmpty() || QDir::cleanPath(pictures) == QDir::cleanPath(home))
    pictures = home + QStringLiteral("/Pictures");
  QString cache = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation);
  if (QDir::isRelativePath(cache)) cache = home + QStringLiteral("/.cache");
  // The variable itself, not Qt's runtime location: without it Qt falls back to a folder in
  // /tmp, and it refuses a runtime folder of a wider mode, where our own 0700 folder still serves.
  std::string runtime = qgetenv("XDG_RUNTIME_DIR").toStdString();
  if (!runtime.starts_with('/')) runtime.clear();
  return {nativePath(config), nativePath(pictures), runtime, nativePath(cache)};
}

}  // namespace mw::shell
