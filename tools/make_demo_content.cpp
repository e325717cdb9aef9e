// Draws the demo site's pictures and writes them with their catalogue into one folder:
//   make_demo_content OUTDIR
// Everything is drawn here (faces, captions in the CJK font); nothing is downloaded.
// The output is committed under demo/content/; rerun only to change the content.
#include <gif_lib.h>

#include <QBuffer>
#include <QColor>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QTextStream>
#include <cmath>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "demo/caption_renderer.h"
#include "picture/picture_writers.h"

namespace {

enum class Mood { Happy, Angry, Speechless, Crying, Shocked, Thumbs };

struct FaceLook {
  QColor skin;
  QColor background;
  Mood mood;
  int ears;  // 0 none, 1 round (bear/panda), 2 pointed (cat/dog)
};

// Where a face is drawn: its centre and radius, and how far its features wobble in this frame.
struct FaceFrame {
  QPointF c;
  double r;
  double phase;
  double wobble;
};

void drawEars(QPainter& p, const FaceFrame& f, const FaceLook& look) {
  const QPointF c = f.c;
  const double r = f.r;
  if (look.ears == 1) {
    p.drawEllipse(QPointF(c.x() - r * 0.8, c.y() - r * 0.8), r * 0.35, r * 0.35);
    p.drawEllipse(QPointF(c.x() + r * 0.8, c.y() - r * 0.8), r * 0.35, r * 0.35);
  } else if (look.ears == 2) {
    for (int side : {-1, 1}) {
      QPolygonF ear;
      ear << QPointF(c.x() + side * r * 0.3, c.y() - r * 0.85)
          << QPointF(c.x() + side * r * 0.95, c.y() - r * 1.25)
          << QPointF(c.x() + side * r * 0.9, c.y() - r * 0.35);
      p.drawPolygon(ear);
    }
  }
}

void drawEyes(QPainter& p, const FaceFrame& f, Mood mood) {
  const QPointF c = f.c;
  const double r = f.r, phase = f.phase, wobble = f.wobble;
  const double eyeY = c.y() - r * 0.2;
  const double eyeDx = r * 0.38;
  p.setBrush(QColor(30, 25, 25));
  switch (mood) {
    case Mood::Happy:
    case Mood::Thumbs:
      p.setBrush(Qt::NoBrush);
      for (int side : {-1, 1})
        p.drawArc(QRectF(c.x() + side * eyeDx - r * 0.14, eyeY - r * 0.1 + wobble, r * 0.28, r * 0.24), 0,
                  180 * 16);
      break;
    case Mood::Angry:
      for (int side : {-1, 1}) {
        p.drawEllipse(QPointF(c.x() + side * eyeDx, eyeY + wobble), r * 0.08, r * 0.08);
        p.drawLine(QPointF(c.x() + side * eyeDx * 1.5, eyeY - r * 0.28),
                   QPointF(c.x() + side * eyeDx * 0.4, eyeY - r * 0.14));
      }
      break;
    case Mood::Speechless:
      for (int side : {-1, 1})
        p.drawLine(QPointF(c.x() + side * eyeDx - r * 0.14, eyeY + wobble),
                   QPointF(c.x() + side * eyeDx + r * 0.14, eyeY + wobble));
      break;
    case Mood::Crying:
      for (int side : {-1, 1}) {
        p.drawEllipse(QPointF(c.x() + side * eyeDx, eyeY), r * 0.07, r * 0.07);
        p.save();
        p.setBrush(QColor(90, 170, 255));
        p.setPen(Qt::NoPen);
        p.drawEllipse(QPointF(c.x() + side * eyeDx, eyeY + r * 0.2 + phase * r * 0.35), r * 0.06, r * 0.11);
        p.restore();
      }
      break;
    case Mood::Shocked:
      p.setBrush(Qt::white);
      for (int side : {-1, 1}) {
        p.drawEllipse(QPointF(c.x() + side * eyeDx, eyeY), r * 0.16, r * 0.16);
        p.save();
        p.setBrush(QColor(30, 25, 25));
        p.drawEllipse(QPointF(c.x() + side * eyeDx + wobble, eyeY), r * 0.06, r * 0.06);
        p.restore();
      }
      break;
  }
}

void drawMouth(QPainter& p, const FaceFrame& f, Mood mood) {
  const QPointF c = f.c;
  const double r = f.r, phase = f.phase, wobble = f.wobble;
  const double mouthY = c.y() + r * 0.35;
  p.setBrush(Qt::NoBrush);
  switch (mood) {
    case Mood::Happy:
    case Mood::Thumbs:
      p.setBrush(QColor(200, 60, 60));
      p.drawChord(
          QRectF(c.x() - r * 0.35, mouthY - r * 0.25, r * 0.7, r * (0.4 + 0.1 * std::sin(phase * 2 * M_PI))),
          180 * 16, 180 * 16);
      break;
    case Mood::Angry:
    case Mood::Crying:
      p.drawArc(QRectF(c.x() - r * 0.3, mouthY, r * 0.6, r * 0.3), 0, 180 * 16);
      break;
    case Mood::Speechless:
      p.drawLine(QPointF(c.x() - r * 0.25, mouthY + wobble), QPointF(c.x() + r * 0.25, mouthY - wobble));
      break;
    case Mood::Shocked:
      p.setBrush(QColor(60, 20, 20));
      p.drawEllipse(QPointF(c.x(), mouthY), r * 0.12, r * (0.16 + 0.06 * std::sin(phase * 2 * M_PI)));
      break;
  }
}

void drawThumb(QPainter& p, const FaceFrame& f) {
  const double r = f.r;
  p.setBrush(QColor(255, 205, 120));
  const QRectF fist(f.c.x() + r * 0.7, f.c.y() + r * 0.3 - f.phase * r * 0.2, r * 0.45, r * 0.4);
  p.drawRoundedRect(fist, r * 0.08, r * 0.08);
  p.drawRoundedRect(QRectF(fist.left() + r * 0.05, fist.top() - r * 0.35, r * 0.16, r * 0.4), r * 0.06,
                    r * 0.06);
}

// One cartoon face filling `box`; `phase` (0..1) moves eyes and mouth for animation frames.
void drawFace(QPainter& p, const QRectF& box, const FaceLook& look, double phase = 0) {
  p.save();
  p.setRenderHint(QPainter::Antialiasing);
  const double s = std::min(box.width(), box.height());
  const double r = s * 0.38;
  const FaceFrame frame{box.center(), r, phase, std::sin(phase * 2 * M_PI) * r * 0.05};
  const QPen outline(QColor(40, 30, 30), std::max(2.0, s / 60));
  p.setPen(outline);
  p.setBrush(look.skin.darker(115));
  drawEars(p, frame, look);
  p.setBrush(look.skin);
  p.drawEllipse(frame.c, r, r * 0.95);
  drawEyes(p, frame, look.mood);
  drawMouth(p, frame, look.mood);
  if (look.mood == Mood::Thumbs) drawThumb(p, frame);
  p.restore();
}

bool saveBytes(const std::string& bytes, const QString& path) {
  QFile file(path);
  if (bytes.empty() || !file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
      file.write(bytes.data(), qint64(bytes.size())) != qint64(bytes.size())) {
    std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
    return false;
  }
  return true;
}

bool saveImage(const QImage& image, const QString& path, const char* format, int quality = -1) {
  if (!image.save(path, format, quality)) {
    std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
    return false;
  }
  return true;
}

struct GifCloser {
  void operator()(GifFileType* f) const {
    int error = 0;
    EGifCloseFile(f, &error);
  }
};

// A looping animated GIF from frames of equal size, through one shared 6x7x6 colour cube.
bool saveAnimatedGif(const std::vector<QImage>& frames, const QString& path, int delayCs) {
  QList<QRgb> table;
  for (int r = 0; r < 6; ++r)
    for (int g = 0; g < 7; ++g)
      for (int b = 0; b < 6; ++b) table.append(qRgb(r * 51, g * 255 / 6, b * 51));
  while (table.size() < 256) table.append(qRgb(0, 0, 0));

  int error = 0;
  std::unique_ptr<GifFileType, GifCloser> gif(
      EGifOpenFileName(QFile::encodeName(path).constData(), false, &error));
  if (!gif) return false;
  std::vector<GifColorType> colours(256);
  for (int i = 0; i < 256; ++i)
    colours[i] = {static_cast<GifByteType>(qRed(table[i])), static_cast<GifByteType>(qGreen(table[i])),
                  static_cast<GifByteType>(qBlue(table[i]))};
  ColorMapObject* map = GifMakeMapObject(256, colours.data());
  EGifSetGifVersion(gif.get(), true);
  const int w = frames.front().width(), h = frames.front().height();
  const bool ok = EGifPutScreenDesc(gif.get(), w, h, 8, 0, map) == GIF_OK;
  GifFreeMapObject(map);
  if (!ok) return false;
  unsigned char loop[] = {'N', 'E', 'T', 'S', 'C', 'A', 'P', 'E', '2', '.', '0'};
  unsigned char loopData[] = {1, 0, 0};
  EGifPutExtensionLeader(gif.get(), APPLICATION_EXT_FUNC_CODE);
  EGifPutExtensionBlock(gif.get(), sizeof loop, loop);
  EGifPutExtensionBlock(gif.get(), sizeof loopData, loopData);
  EGifPutExtensionTrailer(gif.get());
  for (const QImage& frame : frames) {
    const QImage indexed = frame.convertToFormat(QImage::Format_RGB32)
                               .convertToFormat(QImage::Format_Indexed8, table, Qt::ThresholdDither);
    unsigned char gce[] = {0, static_cast<unsigned char>(delayCs & 0xFF),
                           static_cast<unsigned char>(delayCs >> 8), 0};
    if (EGifPutExtension(gif.get(), GRAPHICS_EXT_FUNC_CODE, sizeof gce, gce) != GIF_OK) return false;
    if (EGifPutImageDesc(gif.get(), 0, 0, w, h, false, nullptr) != GIF_OK) return false;
    for (int y = 0; y < h; ++y) {
      auto* line = const_cast<GifPixelType*>(indexed.constScanLine(y));
      if (EGifPutLine(gif.get(), line, w) != GIF_OK) return false;
    }
  }
  return true;
}

const QColor kSkins[] = {QColor(255, 220, 90),  QColor(245, 245, 245), QColor(250, 200, 160),
                         QColor(200, 160, 110), QColor(170, 220, 140), QColor(255, 190, 200),
                         QColor(210, 210, 230), QColor(240, 170, 90)};
const QColor kBackgrounds[] = {QColor(120, 170, 230), QColor(250, 240, 200), QColor(180, 230, 200),
                               QColor(230, 200, 240), QColor(250, 210, 170), QColor(200, 220, 250),
                               QColor(255, 250, 235), QColor(220, 235, 180)};

struct Template {
  int number;
  QString title;
  int width, height;
  std::vector<QRect> captionAreas;
};

// Caption areas by line count; faces fill the rest of the picture.
Template layoutTemplate(int number, const QString& title, int lines) {
  Template t{number, title, 0, 0, {}};
  const int variant = number % 3;
  switch (lines) {
    case 1:
      t.width = 300 + variant * 40;
      t.height = 300 + variant * 30;
      t.captionAreas = {QRect(10, t.height - 64, t.width - 20, 54)};
      break;
    case 2:
      t.width = 320 + variant * 30;
      t.height = 340 + variant * 20;
      t.captionAreas = {QRect(10, 8, t.width - 20, 52), QRect(10, t.height - 60, t.width - 20, 52)};
      break;
    case 3: {
      t.width = 360;
      t.height = 420 + variant * 30;
      const int row = t.height / 3;
      for (int i = 0; i < 3; ++i)
        t.captionAreas.push_back(QRect(row + 4, i * row + row / 4, t.width - row - 12, row / 2));
      break;
    }
    default: {
      t.width = 400 + variant * 20;
      t.height = 400 + variant * 20;
      const int cw = t.width / 2, ch = t.height / 2;
      for (int i = 0; i < 4; ++i)
        t.captionAreas.push_back(QRect((i % 2) * cw + 6, (i / 2) * ch + ch - 44, cw - 12, 38));
      break;
    }
  }
  return t;
}

QImage drawTemplate(const Template& t, int seed) {
  QImage image(t.width, t.height, QImage::Format_RGB32);
  image.fill(kBackgrounds[seed % 8]);
  QPainter p(&image);
  const int lines = static_cast<int>(t.captionAreas.size());
  auto look = [&](int k) {
    return FaceLook{kSkins[(seed + k) % 8], kBackgrounds[seed % 8], static_cast<Mood>((seed + k) % 6),
                    (seed + k) % 3};
  };
  // Caption areas are dark bands so that white captions read well, as on real templates.
  auto band = [&](const QRect& r) { p.fillRect(r, QColor(60, 60, 70, 200)); };
  if (lines <= 2) {
    QRectF faceBox(0, lines == 2 ? 60 : 0, t.width, t.height - (lines == 2 ? 124 : 66));
    drawFace(p, faceBox, look(0));
  } else if (lines == 3) {
    const int row = t.height / 3;
    for (int i = 0; i < 3; ++i) {
      p.fillRect(QRect(0, i * row, t.width, row), kBackgrounds[(seed + i) % 8]);
      drawFace(p, QRectF(0, i * row, row, row), look(i));
      p.setPen(QPen(Qt::black, 2));
      p.drawRect(QRect(1, i * row + 1, t.width - 3, row - 3));
    }
  } else {
    const int cw = t.width / 2, ch = t.height / 2;
    for (int i = 0; i < 4; ++i) {
      const QRect cell((i % 2) * cw, (i / 2) * ch, cw, ch);
      p.fillRect(cell, kBackgrounds[(seed + i) % 8]);
      drawFace(p, QRectF(cell.x(), cell.y(), cw, ch - 40), look(i));
      p.setPen(QPen(Qt::black, 2));
      p.drawRect(cell.adjusted(1, 1, -2, -2));
    }
  }
  for (const QRect& r : t.captionAreas) band(r);
  return image;
}

QString rectsText(const std::vector<QRect>& rects) {
  QStringList parts;
  for (const QRect& r : rects)
    parts << QStringLiteral("%1,%2,%3,%4").arg(r.x()).arg(r.y()).arg(r.width()).arg(r.height());
  return parts.join(';');
}

const QStringList kAnimals = {"熊猫头", "猫咪", "狗子", "小黄脸", "兔子",
                              "企鹅",   "柴犬", "仓鼠", "青蛙",   "小熊"};

// The 24 caption templates, each with its thumbnail.
bool writeTemplates(const QDir& out, QTextStream& catalog) {
  const QStringList templateNames = {"就这",   "我不听", "真香",     "你礼貌吗", "我太难了", "好家伙",
                                     "打工人", "告辞",   "芜湖起飞", "我裂开了", "离谱",     "安排"};
  // Line counts of the 24 templates: every count occurs several times.
  const int lineCounts[24] = {1, 2, 3, 4, 1, 2, 2, 3, 4, 1, 2, 4, 3, 1, 2, 4, 2, 3, 1, 2, 4, 3, 2, 1};

  for (int n = 1; n <= 24; ++n) {
    const QString title = kAnimals[(n - 1) % 10] + templateNames[(n - 1) % 12];
    const Template t = layoutTemplate(n, title, lineCounts[n - 1]);
    const QImage image = drawTemplate(t, n * 7);
    const QString file = QStringLiteral("templates/t%1.jpg").arg(n, 2, 10, QChar('0'));
    const QString thumb = QStringLiteral("templates/t%1_thumb.jpg").arg(n, 2, 10, QChar('0'));
    if (!saveImage(image, out.filePath(file), "JPG", 88)) return false;
    // Thumbnails fit the 152 x 184 picture boxes.
    if (!saveImage(image.scaled(150, 180, Qt::KeepAspectRatio, Qt::SmoothTransformation), out.filePath(thumb),
                   "JPG", 90))
      return false;
    catalog << "T\t" << n << '\t' << title << '\t' << file << '\t' << thumb << '\t' << t.width << 'x'
            << t.height << '\t' << rectsText(t.captionAreas) << '\n';
  }
  return true;
}

// An animated GIF of six frames, readable by everyone.
bool writeGif(const QDir& out, const QString& file, const std::function<QImage(double)>& frame) {
  std::vector<QImage> frames;
  for (int k = 0; k < 6; ++k) frames.push_back(frame(k / 6.0));
  if (!saveAnimatedGif(frames, out.filePath(file), 12)) {
    std::fprintf(stderr, "cannot write %s\n", qPrintable(file));
    return false;
  }
  // giflib creates its file private to the owner; the content is public.
  QFile::setPermissions(out.filePath(file),
                        QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther);
  return true;
}

// 60 search pictures: every animal with every mood; four titles in five say 表情包. Six are
// WebP and AVIF; of the others, a third each are GIF, JPEG and PNG.
bool writePictures(const QDir& out, QTextStream& catalog) {
  const QStringList moods = {"开心", "生气", "无语", "哭了", "震惊", "点赞"};
  for (int n = 1; n <= 60; ++n) {
    const int a = (n - 1) / 6, m = (n - 1) % 6;
    const QString title =
        kAnimals[a] + moods[m] + (n % 5 == 0 ? QStringLiteral("头像") : QStringLiteral("表情包"));
    const FaceLook look{kSkins[(a + m) % 8], kBackgrounds[(n * 3) % 8], static_cast<Mood>(m), a % 3};
    const int side = 180 + (n % 4) * 20;
    auto frame = [&](double phase) {
      QImage image(side, side, QImage::Format_RGB32);
      image.fill(look.background);
      QPainter p(&image);
      drawFace(p, QRectF(0, 0, side, side - 40), look, phase);
      mw::demo::drawCaption(p, QRectF(6, side - 42, side - 12, 36), kAnimals[a] + moods[m]);
      return image;
    };
    QString file;
    const QString number = QStringLiteral("%1").arg(n, 2, 10, QChar('0'));
    // The last three moods of 熊猫头 and 企鹅 are a WebP, an AVIF and an animated WebP, so that a
    // search for either shows them beside the other formats.
    if (a % 5 == 0 && m >= 3) {
      std::string bytes;
      if (m == 3) {
        file = "pictures/p" + number + ".webp";
        bytes = mw::picture::writeWebp(frame(0), 85);
      } else if (m == 4) {
        file = "pictures/p" + number + ".avif";
        bytes = mw::picture::writeAvif(frame(0), 75);
      } else {
        file = "pictures/p" + number + ".webp";
        std::vector<mw::picture::WebpFrame> frames;
        for (int k = 0; k < 6; ++k) frames.push_back({frame(k / 6.0), 120});
        bytes = mw::picture::writeAnimatedWebp(frames, 0, 85);
      }
      if (!saveBytes(bytes, out.filePath(file))) return false;
      catalog << "P\t" << n << '\t' << title << '\t' << file << '\n';
      continue;
    }
    switch (n % 3) {
      case 0:
        file = QStringLiteral("pictures/p%1.gif").arg(n, 2, 10, QChar('0'));
        if (!writeGif(out, file, frame)) return false;
        break;
      case 1:
        file = QStringLiteral("pictures/p%1.jpg").arg(n, 2, 10, QChar('0'));
        if (!saveImage(frame(0), out.filePath(file), "JPG", 88)) return false;
        break;
      default:
        file = QStringLiteral("pictures/p%1.png").arg(n, 2, 10, QChar('0'));
        if (!saveImage(frame(0), out.filePath(file), "PNG")) return false;
        break;
    }
    catalog << "P\t" << n << '\t' << title << '\t' << file << '\n';
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_demo_content OUTDIR\n");
    return 2;
  }
  const QDir out(QString::fromLocal8Bit(argv[1]));
  if (!out.mkpath("templates") || !out.mkpath("pictures")) {
    std::fprintf(stderr, "cannot create folders under %s\n", argv[1]);
    return 1;
  }
  QFile catalogFile(out.filePath("catalog.tsv"));
  if (!catalogFile.open(QIODevice::WriteOnly | QIODevice::Truncate)) return 1;
  QTextStream catalog(&catalogFile);
  catalog << "# kind\tnumber\ttitle\tfile\textra\n";
  if (!writeTemplates(out, catalog) || !writePictures(out, catalog)) return 1;
  catalog.flush();
  return catalogFile.error() == QFile::NoError ? 0 : 1;
}
