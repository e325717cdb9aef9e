#pragma once
// Copying pictures out of the program: a left click on 图片框1..图片框8 puts the picture on the
// clipboard, a press and move on any of 图片框1..图片框16 drags it out.
#include <memory>

#include "forms/handler_registry.h"

class QMimeData;

namespace mw::actions {

// The tips after a copy: placed, or not.
inline const Text kCopiedTip = "已复制本图片，粘贴到聊天框即可使用"_gbk;
inline const Text kCopyFailedTip = "图片数据无法识别，未能复制"_gbk;

// Places the picture (bytes of any format the boxes show) on the clipboard as a still image, decoded
// at full size. False, the clipboard left as it was, when the bytes cannot be decoded or the
// clipboard does not take the image: the caller then shows kCopyFailedTip instead of kCopiedTip.
bool copyPictureToClipboard(const forms::Context& ctx, const Bytes& picture);

// The left click on 图片框`slot` (1..8); an empty box says so and copies nothing. With hide after
// copy on, a copy that landed hides the main window once its tip has shown for kCopiedGlanceMs.
void copySlotPicture(const forms::Context& ctx, int slot);
inline constexpr int kCopiedGlanceMs = 500;

// Copies the GIF of 图片框`slot` so that it stays animated, placed as its own file (see
// runtime::PictureFiles) when the address shown there ends in "gif" (case-sensitive) or the box
// holds an animation (a GIF of more than one frame, or an animated WebP, converted to a GIF). For
// such an address the GIF is downloaded again, and the box's picture serves when the download is
// no GIF; an animation behind any other address is copied as the box holds it. `placed` tells
// whether the GIF was placed; never when there is no GIF. False, touching nothing, when the copy
// takes the still road.
bool copyGifViaBrowser(const forms::Context& ctx, int slot, bool& placed);

// What a drag of 图片框`box` (1..16) carries, as files of the run's picture files. A box whose
// copy would take the GIF road gives its GIF in the forms of that road (its bytes, never a
// download); any other gives its still as image/png and as a PNG file. Nullptr for an empty box,
// a GIF-road box that holds no GIF, or when the picture cannot be decoded or written.
std::unique_ptr<QMimeData> pictureDragData(const forms::Context& ctx, int box);

// Binds the copy to 图片框1..图片框8 and the drag to 图片框1..图片框16.
void bindClipboard(forms::HandlerRegistry& registry);

}  // namespace mw::actions
