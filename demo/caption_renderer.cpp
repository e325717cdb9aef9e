#include "demo/caption_renderer.h"

#include <QBuffer>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <mutex>

namespace mw::demo {

void drawCaption(QPainter& painter, const QRectF& area, const QString& text) {
  QFont font(QStringLiteral("WenQuanYi Micro Hei"));
  QPainterPath path;
  int px = std::max(8, static_cast<int>(area.height() * 0.72));
  for (; px >= 8; px -= 2) {
    font.setPixelSize(px);
    path = QPainterPath();
    path.addText(0, 0, font, text);
    if (path.boundingRect().width() <= area.width() * 0.94) break;
  }
  path.translate(area.center() - path.boundingRect().center());
  painter.save();
  painter.setRenderHint(QPainter::Antialiasing);
  painter.strokePath(path,
                     QPen(Qt::black, std::max(2.0, px / 7.0), Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  painter.fillPath(path, Qt::white);
  painter.restore();
}

std::string renderCaptions(const std::string& templatePicture, const std::vector<Area>& areas,
                           const std::vector<std::string>& lines) {
  if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance())) return {};
  QImage image = QImage::fromData(reinterpret_cast<const uchar*>(templatePicture.data()),
                                  static_cast<int>(templatePicture.size()))
                     .convertToFormat(QImage::Format_RGB32);
  if (image.isNull()) return {};

  // The font engine is shared; the server's worker threads render one at a time.
  static std::mutex renderMutex;
  const std::lock_guard lock(renderMutex);
  QPainter painter(&image);
  for (std::size_t i = 0; i < areas.size() && i < lines.size(); ++i) {
    const QString text =
        QString::fromUtf8(lines[i].data(), static_cast<qsizetype>(lines[i].size())).simplified();
    if (!text.isEmpty())
      drawCaption(painter, QRectF(areas[i].x, areas[i].y, areas[i].width, areas[i].height), text);
  }
  painter.end();

  QByteArray jpeg;
  QBuffer buffer(&jpeg);
  buffer.open(QIODevice::WriteOnly);
  if (!image.save(&buffer, "JPG", 90)) return {};
  return std::string(jpeg.constData(), static_cast<std::size_t>(jpeg.size()));
}

}  // namespace mw::demo
