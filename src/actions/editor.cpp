#include "actions/editor.h"

#include <QFont>
#include <array>
#include <climits>
#include <memory>

#include "actions/clipboard.h"
#include "forms/notices.h"
#include "forms/paging_bar.h"
#include "picture/picture.h"
#include "picture/picture_decoder.h"
#include "platform/clipboard.h"
#include "platform/qt_text.h"
#include "runtime/files.h"

namespace mw::actions {
namespace {

using forms::Context;
using forms::EditorState;

constexpr int kFitEdge = 300;
constexpr int kZoomStep = 10;
constexpr int kLargest = 300;  // zooming in stops once a side is beyond this
constexpr int kSmallest = 20;  // zooming out stops once a side is below this

// The picture box and the two labels lying on it, which are sized together.
std::array<QWidget*, 3> pictureLayers(const forms::MainForm& f) {
  return {f.本地编辑_图片框, f.本地编辑_感应透明标签, f.本地编辑_文本透明标签};
}

// What opening a picture replaces.
struct EditorSnapshot {
  EditorState state;
  Bytes picture;
  std::array<QSize, 3> sizes;
  Text caption;
  QFont editFont, textFont;
};

EditorSnapshot snapshotEditor(const Context& ctx) {
  const auto& f = ctx.main;
  EditorSnapshot s;
  s.state = ctx.state.editor;
  s.picture = f.本地编辑_图片框->picture();
  for (size_t i = 0; i < s.sizes.size(); ++i) s.sizes[i] = pictureLayers(f)[i]->size();
  s.caption = f.本地编辑_文本透明标签->caption();
  s.editFont = f.本地编辑_编辑框->font();
  s.textFont = f.本地编辑_文本透明标签->font();
  return s;
}

void restoreEditor(const Context& ctx, const EditorSnapshot& s) {
  auto& f = ctx.main;
  ctx.state.editor = s.state;
  for (size_t i = 0; i < s.sizes.size(); ++i) pictureLayers(f)[i]->resize(s.sizes[i]);
  f.本地编辑_图片框->setPicture(s.picture);
  f.本地编辑_文本透明标签->setCaption(s.caption);
  f.本地编辑_编辑框->setFont(s.editFont);
  f.本地编辑_文本透明标签->setFont(s.textFont);
}

void cannotOpen(const Context& ctx) { showCursorTip(ctx, kCannotOpenTip); }

// Once the box has decoded the picture just opened, on a decoding thread: when it found nothing
// to show after all (a good header over broken data, a picture too large to show), the open is
// undone. Another picture set in the meantime ends the watch.
void undoIfNotShown(const Context& ctx, std::shared_ptr<const EditorSnapshot> before) {
  const picture::Picture* view = &ctx.main.本地编辑_图片框->pictureView();
  const Bytes* opened = &view->bytes();
  auto watch = std::make_shared<QMetaObject::Connection>();
  *watch = QObject::connect(view, &picture::Picture::changed, ctx.main.本地编辑_图片框,
                            [&ctx, view, opened, watch, before = std::move(before)] {
                              if (&view->bytes() == opened && view->decoding()) return;
                              QObject::disconnect(*watch);
                              if (&view->bytes() != opened || view->shown()) return;
                              restoreEditor(ctx, *before);
                              cannotOpen(ctx);
                            });
}

// One step of `step` pixels in height, the width following the aspect. The limits are tested on
// the size before the step. Nothing happens before a picture was opened.
void zoom(const Context& ctx, int step) {
  EditorState& e = ctx.state.editor;
  if (e.editorAspect <= 0) return;
  const QWidget* box = ctx.main.本地编辑_图片框;
  if (step > 0 && (box->height() > kLargest || box->width() > kLargest)) {
    showMessage(ctx, kLargestMessage);
    return;
  }
  if (step < 0 && (box->height() < kSmallest || box->width() < kSmallest)) {
    showMessage(ctx, kSmallestMessage);
    return;
  }
  e.editorHeight += step;
  e.editorWidth = int(e.editorHeight / e.editorAspect);
  applyEditorSize(ctx);
  // The file is read again: one that can no longer be read shows no picture. The same picture
  // as before is the box's already: the box makes it anew for its new size by itself.
  Bytes bytes = runtime::readFile(e.editorFile).value_or(Bytes());
  if (bytes != ctx.main.本地编辑_图片框->picture()) ctx.main.本地编辑_图片框->setPicture(std::move(bytes));
}

}  // namespace

void applyEditorSize(const Context& ctx) {
  const EditorState& e = ctx.state.editor;
  for (QWidget* w : pictureLayers(ctx.main)) w->resize(e.editorWidth, e.editorHeight);
}

// The size and name chosen in the combo boxes, on the edit box and on the text over the picture.
void applyEditorFont(const Context& ctx) {
  auto& f = ctx.main;
  for (QWidget* w :
       {static_cast<QWidget*>(f.本地编辑_编辑框), static_cast<QWidget*>(f.本地编辑_文本透明标签)}) {
    QFont font = w->font();
    // Points; a size that is no positive number leaves the size as it was.
    const long long size = runtime::toInteger(f.本地编辑_字号组合框->currentItemText());
    if (size > 0 && size <= INT_MAX) font.setPointSize(int(size));
    font.setFamily(platform::toQString(f.本地编辑_字体组合框->currentItemText()));
    w->setFont(font);
  }
}

void openEditorPage(const Context& ctx) {
  ctx.main.showPage(forms::Page::Local);
  forms::hidePagingBar(ctx.main, true);
}

void leaveEditorPage(const Context& ctx) {
  ctx.main.showPage(forms::Page::Edit);
  forms::hidePagingBar(ctx.main, false);
}

// A cancelled dialog, or a file that cannot be read or decoded, leaves everything as it was.
void openPicture(const Context& ctx) {
  auto& f = ctx.main;
  const std::optional<Text> chosen = f.本地编辑_通用对话框1->showOpen(ctx.desktop);
  if (!chosen || chosen->empty()) return;
  std::optional<Bytes> bytes = runtime::readFile(*chosen);
  const QSize natural = bytes ? picture::headerSize(*bytes) : QSize();
  if (natural.isEmpty()) {
    cannotOpen(ctx);
    return;
  }
  auto before = std::make_shared<const EditorSnapshot>(snapshotEditor(ctx));
  EditorState& e = ctx.state.editor;
  e.editorFile = *chosen;
  e.editorAspect = double(natural.height()) / natural.width();
  const QSize shown = editorFitSize(e.editorAspect);
  e.editorWidth = shown.width();
  e.editorHeight = shown.height();
  applyEditorSize(ctx);
  f.本地编辑_图片框->setPicture(std::move(*bytes));
  f.本地编辑_文本透明标签->setCaption({});
  applyEditorFont(ctx);
  undoIfNotShown(ctx, std::move(before));
}

// 确定: the font, and the colour of the picker, on the text already placed.
void applyLook(const Context& ctx) {
  applyEditorFont(ctx);
  ctx.main.本地编辑_文本透明标签->setTextColour(ctx.main.本地编辑_颜色选择器->colour());
}

void placeText(const Context& ctx, const toolkit::Input& in) {
  auto& f = ctx.main;
  f.本地编辑_文本透明标签->move(in.at.x, in.at.y);
  f.本地编辑_文本透明标签->setCaption(f.本地编辑_编辑框->text());
}

void zoomIn(const Context& ctx) { zoom(ctx, kZoomStep); }

void zoomOut(const Context& ctx) { zoom(ctx, -kZoomStep); }

// What the picture box shows, border and text included, onto the clipboard as it was grabbed.
void finish(const Context& ctx) {
  if (!platform::placeImageOnClipboard(platform::snapshotWindow(ctx.main.本地编辑_图片框)))
    showCursorTip(ctx, kCopyFailedTip);
}

QSize editorFitSize(double aspect) {
  if (aspect - 0.7 >= -forms::kTolerance) return QSize(int(kFitEdge / aspect), kFitEdge);
  return QSize(kFitEdge, int(kFitEdge * aspect));
}

void bindEditor(forms::HandlerRegistry& registry) {
  using toolkit::Event;
  const forms::MainForm& f = registry.context().main;
  f.本地编辑_颜色选择器->useDesktop(registry.context().desktop);
  registry.on(f.本地保存编辑, Event::LeftDown, openEditorPage);
  registry.on(f.本地编辑_返回, Event::LeftDown, leaveEditorPage);
  registry.on(f.本地编辑_打开文件, Event::LeftDown, openPicture);
  registry.on(f.本地编辑_设置按钮, Event::LeftDown, applyLook);
  registry.on(f.本地编辑_感应透明标签, Event::LeftDown, placeText);
  registry.on(f.本地编辑_图片放大, Event::LeftDown, zoomIn);
  registry.on(f.图片缩小, Event::LeftDown, zoomOut);
  registry.on(f.本地编辑_完成, Event::LeftDown, finish);
}

}  // namespace mw::actions
