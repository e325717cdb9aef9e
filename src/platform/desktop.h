#pragma once
// platform: what talks to the desktop (dialogs, opener, clipboard, the wait pump's input, the
// global shortcut).
// Dialogs and the desktop behind one seam: message boxes, file, folder and colour dialogs, opening
// an address or a folder. The program uses the Qt one; tests put in one that answers a script.
#include <QColor>
#include <optional>

#include "runtime/text.h"

class QWidget;

namespace mw::platform {

enum class MessageButtons { Ok, OkCancel };
enum class MessageAnswer { Ok, Cancel };

class Desktop {
 public:
  virtual ~Desktop() = default;
  // Modal message box; an empty title shows the caption "信息：".
  virtual MessageAnswer messageBox(QWidget* parent, const Text& message, const Text& title,
                                   MessageButtons buttons) = 0;
  // `filter` is "description|patterns" with patterns separated by ";". Nullopt when cancelled.
  virtual std::optional<Text> openFile(QWidget* parent, const Text& filter) = 0;
  // The folder dialog titled "请选择文件夹", opened on `startIn`. Nullopt when cancelled.
  virtual std::optional<Text> chooseFolder(QWidget* parent, const Text& startIn) = 0;
  virtual std::optional<QColor> chooseColour(QWidget* parent, QColor initial) = 0;
  // An address in the default web browser; false when nothing could open it.
  virtual bool openAddress(const Text& address) = 0;
  // A folder in the file manager.
  virtual bool openFolder(const Text& path) = 0;
};

// The Qt one.
Desktop& qtDesktop();

// Qt's own texts (确定 and 取消 in message boxes, the file and folder dialogs) in Chinese, like
// the windows around them. False when Qt's translations are not installed.
bool useChineseQtTexts();

// Qt file-dialog filter from the "description|patterns" form.
QString qtFileFilter(const Text& filter);

class QtDesktop : public Desktop {
 public:
  MessageAnswer messageBox(QWidget* parent, const Text& message, const Text& title,
                           MessageButtons buttons) override;
  std::optional<Text> openFile(QWidget* parent, const Text& filter) override;
  std::optional<Text> chooseFolder(QWidget* parent, const Text& startIn) override;
  std::optional<QColor> chooseColour(QWidget* parent, QColor initial) override;
  bool openAddress(const Text& address) override;
  bool openFolder(const Text& path) override;
};

}  // namespace mw::platform
