#pragma once
// A reaction picture with its caption in large black characters on white, as the library's
// reader reads it every time, encoded as PNG or JPEG.
#include <QBuffer>
#include <QFont>
#include <QImage>
#include <QPainter>
#include <QString>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>

namespace mw::test {

inline std::string captionedPicture(const char* captionUtf8, const char* format = "PNG") {
  QImage img(320, 200, QImage::Format_RGB32);
  img.fill(Qt::white);
  if (*captionUtf8) {
    QPainter p(&img);
    QFont font(QStringLiteral("WenQuanYi Micro Hei"));
    font.setPixelSize(44);
    p.setFont(font);
    p.setPen(Qt::black);
    p.drawText(img.rect(), Qt::AlignCenter, QString::fromUtf8(captionUtf8));
  }
  QBuffer buffer;
  buffer.open(QIODevice::WriteOnly);
  img.save(&buffer, format);
  return buffer.data().toStdString();
}

inline void writeBytes(const std::filesystem::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

// Polls until `done`, for up to `seconds`: folders are watched and pictures read on threads
// of their own.
inline bool eventually(const std::function<bool()>& done, int seconds = 60) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return true;
}

}  // namespace mw::test
