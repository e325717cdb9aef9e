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
  return {nativePath(config), nativePath(pictures)};
}

}  // namespace mw::shell
