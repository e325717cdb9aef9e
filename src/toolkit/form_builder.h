#pragma once
// toolkit: the windows' controls, built from definitions, with their events and accessibility.
// Windows built from a declarative definition: every control with its name (Qt objectName),
// kind, parent, page, geometry, initial look, state and cursor.
#include <QHash>
#include <QRect>
#include <QRgb>
#include <functional>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

#include "toolkit/controls.h"
#include "toolkit/window.h"

namespace mw::toolkit {

enum class Kind {
  Label,
  TransparentLabel,
  Button,
  EditBox,
  PictureBox,
  GroupBox,
  ComboBox,
  TabControl,
  ColourPicker,
  OpenFileDialog,
  BalloonTip,
  WebBrowser,
};

// Texts here are UTF-8 source literals; they are converted when the window is built.
struct Look {
  const char* caption = "";
  Border border = Border::None;
  std::optional<QRgb> text{};        // unset: black
  std::optional<QRgb> background{};  // unset: the kind's default (button face for labels)
  HAlign h = HAlign::Left;
  VAlign v = VAlign::Centre;
  bool wordWrap = false;
  const char* picture = nullptr;  // name of an embedded picture
  int layout = 0;                 // label picture layout, or picture box display mode
  int fontPixels = 0;             // 0: the default GUI font
  bool bold = false;
  Overflow overflow = Overflow::Cut;  // label: a one-line caption wider than the label
  EditOptions edit{};
  std::vector<const char*> items{};  // combo box
  const char* selected = nullptr;    // combo box
  const char* filter = nullptr;      // open-file dialog
};

struct ControlDef {
  Kind kind = Kind::Label;
  const char* name = "";
  const char* parent = nullptr;  // nullptr: the window; else a tab control (with page) or container
  int page = -1;
  QRect geometry{};
  Look look{};
  bool disabled = false;
  bool hidden = false;
  bool hand = false;  // the system hand cursor instead of the arrow
};

struct WindowDef {
  const char* name = "";
  const char* title = "";
  QSize size{};  // outer size: with a frame, the client area is smaller
  Frame frame = Frame::Sizable;
  const char* picture = nullptr;
  Layout layout = Layout::Natural;
  std::optional<QRgb> background{};
  bool centred = false;
  int tabPages = 0;  // pages of the tab control, when the window has one
  std::vector<ControlDef> controls{};
};

// Bytes of an embedded picture by name (empty when unknown).
using PictureSource = std::function<Bytes(std::string_view name)>;

class BalloonTip;
class OpenFileDialog;

// A built window and its controls. The window owns every control.
class BuiltWindow {
 public:
  BuiltWindow(const WindowDef& def, const PictureSource& pictures);
  Window* window() const { return window_.get(); }
  // The control of definition entry `index`.
  QObject* control(std::size_t index) const { return made_[index]; }
  QObject* find(std::string_view utf8Name) const;
  const WindowDef& definition() const { return def_; }

 private:
  QWidget* parentOf(const ControlDef& control) const;

  WindowDef def_;
  std::unique_ptr<Window> window_;
  std::vector<QObject*> made_;
  QHash<QString, QObject*> byName_;
};

}  // namespace mw::toolkit
