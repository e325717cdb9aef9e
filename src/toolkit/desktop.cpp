#include "toolkit/desktop.h"

#include <QColorDialog>
#include <QDesktopServices>
#include <QFileDialog>
#include <QMessageBox>
#include <QUrl>

#include "runtime/event_pump.h"
#include "toolkit/qt_text.h"

namespace mw::toolkit {
namespace {

Desktop* installed = nullptr;

template <typename T>
T takeFront(std::deque<T>& queue, T fallback) {
  if (queue.empty()) return fallback;
  T value = std::move(queue.front());
  queue.pop_front();
  return value;
}

}  // namespace

Desktop& desktop() {
  static QtDesktop qt;
  return installed ? *installed : qt;
}

void setDesktop(Desktop* replacement) { installed = replacement; }

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
  const QString path = QFileDialog::getOpenFileName(parent, QString(), QString(), qtFileFilter(filter));
  if (path.isEmpty()) return std::nullopt;
  return fromQString(path);
}

std::optional<Text> QtDesktop::chooseFolder(QWidget* parent) {
  if (runtime::waitsAborted()) return std::nullopt;
  const QString path = QFileDialog::getExistingDirectory(parent, QStringLiteral("请选择文件夹"));
  if (path.isEmpty()) return std::nullopt;
  return fromQString(path);
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

MessageAnswer ScriptedDesktop::messageBox(QWidget*, const Text& message, const Text& title,
                                          MessageButtons buttons) {
  calls.push_back({"messageBox", message, title, buttons});
  const MessageAnswer answer = takeFront(answers, MessageAnswer::Ok);
  // An OK-only box cannot be cancelled.
  return buttons == MessageButtons::Ok ? MessageAnswer::Ok : answer;
}

std::optional<Text> ScriptedDesktop::openFile(QWidget*, const Text& filter) {
  calls.push_back({"openFile", filter, {}, {}});
  return takeFront<std::optional<Text>>(files, std::nullopt);
}

std::optional<Text> ScriptedDesktop::chooseFolder(QWidget*) {
  calls.push_back({"chooseFolder", {}, {}, {}});
  return takeFront<std::optional<Text>>(folders, std::nullopt);
}

std::optional<QColor> ScriptedDesktop::chooseColour(QWidget*, QColor) {
  calls.push_back({"chooseColour", {}, {}, {}});
  return takeFront<std::optional<QColor>>(colours, std::nullopt);
}

bool ScriptedDesktop::openAddress(const Text& address) {
  calls.push_back({"openAddress", address, {}, {}});
  return opens;
}

bool ScriptedDesktop::openFolder(const Text& path) {
  calls.push_back({"openFolder", path, {}, {}});
  return opens;
}

}  // namespace mw::toolkit
