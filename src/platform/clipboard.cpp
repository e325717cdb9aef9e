#include "platform/clipboard.h"

#include <QBuffer>
#include <QClipboard>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMimeData>
#include <QUrl>
#include <QWidget>
#include <memory>

#include "picture/picture_decoder.h"

namespace mw::platform {
namespace {

QString imageMime(const Bytes& bytes) {
  switch (picture::sniffPictureFormat(bytes)) {
    case picture::PictureFormat::Png:
      return QStringLiteral("image/png");
    case picture::PictureFormat::Jpeg:
      return QStringLiteral("image/jpeg");
    case picture::PictureFormat::Bmp:
      return QStringLiteral("image/bmp");
    case picture::PictureFormat::Gif:
    case picture::PictureFormat::Unknown:
      break;
  }
  return QStringLiteral("image/gif");
}

}  // namespace

QImage snapshotWindow(QWidget* widget) {
  // 24-bit: the window's pixels without what a painter left in an alpha channel.
  QImage image = widget->grab().toImage().convertToFormat(QImage::Format_RGB888);
  image.setDevicePixelRatio(1);
  return image;
}

bool placeImageOnClipboard(const QImage& image) {
  auto* clipboard = QGuiApplication::clipboard();
  if (image.isNull() || !clipboard) return false;
  clipboard->setImage(image);
  return clipboard->mimeData() && clipboard->mimeData()->hasImage();
}

std::unique_ptr<QMimeData> pictureFileData(const QString& path, const Bytes& bytes) {
  const QUrl url = QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath());
  auto data = std::make_unique<QMimeData>();
  data->setUrls({url});
  data->setData(QStringLiteral("x-special/gnome-copied-files"), QByteArray("copy\n") + url.toEncoded());
  data->setData(imageMime(bytes), QByteArray(bytes.data(), qsizetype(bytes.size())));
  data->setHtml(QStringLiteral("<img src=\"%1\">").arg(QString::fromUtf8(url.toEncoded())));
  return data;
}

bool placeFileOnClipboard(const QString& path, const Bytes& bytes) {
  auto* clipboard = QGuiApplication::clipboard();
  if (!clipboard || bytes.empty()) return false;
  clipboard->setMimeData(pictureFileData(path, bytes).release());  // the clipboard takes ownership
  const QMimeData* now = clipboard->mimeData();
  return now && now->hasUrls();
}

}  // namespace mw::platform
