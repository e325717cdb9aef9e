#include "platform/desktop.h"

#include <QColorDialog>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QFileDialog>
#include <QLibraryInfo>
#include <QMessageBox>
#include <QTranslator>
#include <QUrl>

#include "platform/qt_text.h"
#include "runtime/event_pump.h"
#include "runtime/files.h"

namespace mw::platform {
Desktop& qtDesktop() {
  static QtDesktop qt;
  return qt;
}

bool useChineseQtTexts() {
  static QTranslator* translator = nullptr;
  if (translator) return true;
  auto* loaded = new QTranslator(QCoreApplication::instance());
  if (!loaded->load(QStringLiteral("qtbase_zh_CN"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)) ||
      !QCoreApplication::installTranslator(loaded)) {
    delete loaded;
    return false;
  }
  translator = loaded;
  return true;
}

QString qtFileFilter(const Text& filter) {
  const QString f = toQString(filter);
  const int bar = f.indexOf(u'|');
  if (bar < 0) return f;
  const QString description = f.left(bar);
  QStringList patterns = f.mid(bar + 1).split(u';', Qt::SkipEmptyParts);
  for (QString& p : patterns) p = p.trimmed();
  return description + QStringLiteral(" (") + patterns.join(u' ') + u')';
}

MessageAnswer QtDesktop::messageBox(QWidget* parent, const Text& message, const Text& title,
                                    MessageButtons buttons) {
  // The program is ending (closed during a load): no dialog holds it up any more.
  if (runtime::waitsAborted())
    return buttons == MessageButtons::Ok ? MessageAnswer::Ok : MessageAnswer::Cancel;
  QMessageBox box(parent);
  box.setWindowTitle(title.empty() ? QStringLiteral("信息：") : toQString(title));
  box.setText(toQString(message));
  box.setTextFormat(Qt::PlainText);
  box.setWindowModality(Qt::ApplicationModal);
  if (buttons == MessageButtons::OkCancel) {
    box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
  } else {
    box.setStandardButtons(QMessageBox::Ok);
  }
  return box.exec() == QMessageBox::Ok ? MessageAnswer::Ok : MessageAnswer::Cancel;
}

std::optional<Text> QtDesktop::openFile(QWidget* parent, const Text& filter) {
  if (runtime::waitsAborted()) return std::nullopt;
  // The description names its patterns already: the list shows it without Qt's second copy.
  const QString path = QFileDialog::getOpenFileName(parent, QString(), QString(), qtFileFilter(filter),
                                                    nullptr, QFileDialog::HideNameFilterDetails);
  if (path.isEmpty()) return std::nullopt;
  return runtime::pathText(path.toStdString());
}

std::optional<Text> QtDesktop::chooseFolder(QWidget* parent, const Text& startIn) {
  if (runtime::waitsAborted()) return std::nullopt;
  const QString path =
      QFileDialog::getExistingDirectory(parent, QStringLiteral("请选择文件夹"), toQString(startIn));
  if (path.isEmpty()) return std::nullopt;
  // As a path, not as text: a name GBK cannot spell must still name this folder.
  return runtime::pathText(path.toStdString());
}

std::optional<QColor> QtDesktop::chooseColour(QWidget* parent, QColor initial) {
  if (runtime::waitsAborted()) return std::nullopt;
  const QColor c = QColorDialog::getColor(initial, parent);
  if (!c.isValid()) return std::nullopt;
  return c;
}

bool QtDesktop::openAddress(const Text& address) {
  return QDesktopServices::openUrl(QUrl(toQString(address)));
}

bool QtDesktop::openFolder(const Text& path) {
  return QDesktopServices::openUrl(QUrl::fromLocalFile(toQString(path)));
}

}  // namespace mw::platform
