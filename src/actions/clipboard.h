#pragma once
// Copying pictures out of the program: a left click on 图片框1..图片框8 puts the picture on the
// clipboard, a press and move on any of 图片框1..图片框16 drags it out.
#include <memory>

#include "forms/handler_registry.h"

class QMimeData;

namespace mw::actions {

// Places the picture (JPEG, PNG, BMP or GIF bytes) on the clipboard as a still image, decoded
// at full size. False, the clipboard left as it was, when the bytes cannot be decoded or the
// clipboard does not take the image: the caller then shows copyFailedTip() instead of copiedTip().
bool copyPictureToClipboard(const forms::Context& ctx, const Bytes& picture);

// The tips after a copy: "已复制本图片，粘贴到聊天框即可使用" and "图片数据无法识别，未能复制".
Text copiedTip();
Text copyFailedTip();

// The left click on 图片框`slot` (1..8).
void copySlotPicture(const forms::Context& ctx, int slot);

// When the address shown in 图片框`slot` ends in "gif" (case-sensitive), copies the GIF so that
// it stays animated: downloaded again (the box's bytes when the download is no GIF), written to
// a scratch file of our private folder and placed as that file. `placed` tells whether it was;
// never when neither is a GIF. False, touching nothing, for any other address.
bool copyGifViaBrowser(const forms::Context& ctx, int slot, bool& placed);

// What a drag of 图片框`box` (1..16) carries: what a copy of the box would place, as files of our
// private folder. A box whose copy takes the GIF road gives that road's forms of its GIF; any
// other gives its still as image/png and as a PNG file. Nullptr for an empty box, a GIF-road box
// that holds no GIF, or when the picture cannot be decoded or written.
std::unique_ptr<QMimeData> pictureDragData(const forms::Context& ctx, int box);

// Binds the copy to 图片框1..图片框8 and the drag to 图片框1..图片框16.
void bindClipboard(forms::HandlerRegistry& registry);

}  // namespace mw::actions
