#pragma once
// Placing pictures on the system clipboard.
#include <QImage>
#include <QString>
#include <cstddef>
#include <memory>

#include "runtime/text.h"

class QDrag;
class QMimeData;
class QWidget;

namespace mw::platform {

// The widget and its children as painted by themselves (what covers them on screen is not
// captured), in 24-bit colour at its size in device pixels. Null when nothing could be rendered.
QImage snapshotWindow(QWidget* widget);

// A still image (Qt offers it as image/png and the other image targets). False when the
// image is null or the clipboard did not take it.
bool placeImageOnClipboard(const QImage& image);

// The most of a picture that is offered inline in HTML (base64 in a data: address).
inline constexpr std::size_t kInlinePictureBytes = 8 << 20;

// A picture file (`bytes` are its content, which it must keep) in the forms that keep an animated
// GIF animated when pasted or dropped: the file as a URI list and as copied files, the raw bytes
// under the file's image type, and HTML with the picture inline (up to kInlinePictureBytes),
// which a web page can show; where the document portal runs, the file as a transfer of its
// (application/vnd.portal.filetransfer), which sandboxed programs can read. Neither text, which
// programs would paste as the file's path, nor a decoded still, which programs would take
// instead. The bytes are read from the file when asked for.
std::unique_ptr<QMimeData> pictureFileData(const QString& path, const Bytes& bytes);
// A still as dropped: its PNG bytes as image/png and its file as a URI list.
std::unique_ptr<QMimeData> stillFileData(const QString& path, const Bytes& png);

// Runs `drag`, which carries pictureFileData or stillFileData, as a copy (QDrag::exec). On X11
// the drag lists no text either.
Qt::DropAction runFileDrag(QDrag& drag);

// pictureFileData on the clipboard. False when not placed.
bool placeFileOnClipboard(const QString& path, const Bytes& bytes);

}  // namespace mw::platform
