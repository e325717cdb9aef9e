#pragma once
// Reaction pictures made for the library benchmark: a drawing or a photo-like scene with a
// Chinese caption in one of four styles, several fonts and sizes, some tilted or blurred, and
// pictures without any text among them. The same seed makes the same set.
#include <QBuffer>
#include <QFont>
#include <QFontMetricsF>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QTransform>
#include <algorithm>
#include <array>
#include <random>
#include <string>
#include <vector>

namespace mw::bench {

enum class CaptionStyle { BlackOnWhite, Outlined, Coloured, LightOnDark, None };
inline constexpr std::array<const char*, 5> kStyleNames{"black on white", "white, black outline", "coloured",
                                                        "light on dark", "no text"};

// Two-character words of reaction-picture captions.
inline const std::vector<std::string>& captionWords() {
  static const std::vector<std::string> words{
      "下班", "摸鱼", "老板", "加班", "开心", "难过", "无语", "哈哈", "可爱", "生气", "睡觉", "吃饭",
      "工作", "周末", "放假", "上班", "打工", "发财", "躺平", "心累", "崩溃", "冲鸭", "晚安", "早安",
      "谢谢", "收到", "好的", "拜拜", "委屈", "害怕", "震惊", "尴尬", "真香", "奶茶", "干饭", "快乐",
      "学习", "考试", "熬夜", "头秃", "减肥", "好吃", "厉害", "佩服", "求求", "不要", "等等", "我们",
      "朋友", "兄弟", "妈妈", "回家", "出门", "天气", "下雨", "太阳", "明天", "今天", "努力", "加油"};
  return words;
}
inline const std::vector<std::string>& captionParticles() {
  static const std::vector<std::string> particles{"了", "吧", "啊", "呢", "吗", "的"};
  return particles;
}

struct CaptionedPicture {
  std::string fileName;
  std::string caption;             // UTF-8, empty for a picture without text
  std::vector<std::string> words;  // the two-character words it was made of
  CaptionStyle style = CaptionStyle::None;
  std::string bytes;  // JPEG or PNG
};

namespace detail {

inline QImage drawing(int w, int h, std::mt19937& rng, QColor paper) {
  QImage img(w, h, QImage::Format_RGB32);
  img.fill(paper);
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing);
  const int r = std::min(w, h) / 4 + int(rng() % 20);
  const QPointF c(w / 2.0 + int(rng() % 40) - 20, h * 0.38);
  p.setPen(QPen(QColor(60, 60, 60), 3));
  p.setBrush(QColor(250, 220, 180));
  p.drawEllipse(c, r, r * 0.9);
  p.setBrush(Qt::black);
  p.drawEllipse(c + QPointF(-r / 2.5, -r / 5.0), r / 9.0, r / 7.0);
  p.drawEllipse(c + QPointF(r / 2.5, -r / 5.0), r / 9.0, r / 7.0);
  p.setBrush(Qt::NoBrush);
  p.drawArc(QRectF(c.x() - r / 2.0, c.y(), r, r / 2.0), rng() % 2 ? 200 * 16 : 20 * 16, 140 * 16);
  return img;
}

inline QImage scene(int w, int h, std::mt19937& rng, bool dark) {
  QImage img(w, h, QImage::Format_RGB32);
  QPainter p(&img);
  QLinearGradient sky(0, 0, 0, h);
  const int base = dark ? 20 : 90;
  sky.setColorAt(0, QColor(base + rng() % 60, base + rng() % 60, base + rng() % 100));
  sky.setColorAt(1, QColor(base + rng() % 120, base + rng() % 80, base + rng() % 60));
  p.fillRect(img.rect(), sky);
  p.setRenderHint(QPainter::Antialiasing);
  for (int i = 0; i < 25; ++i) {
    QRadialGradient g(rng() % w, rng() % h, 20 + rng() % 90);
    const int top = dark ? 90 : 255;
    g.setColorAt(0, QColor(rng() % top, rng() % top, rng() % top, 190));
    g.setColorAt(1, QColor(0, 0, 0, 0));
    p.fillRect(img.rect(), g);
  }
  return img;
}

// Lines of a caption that fit `width` at `font`.
inline std::vector<QString> wrap(const QString& caption, const QFont& font, int width) {
  QFontMetricsF m(font);
  std::vector<QString> lines(1);
  for (QChar ch : caption) {
    if (!lines.back().isEmpty() && m.horizontalAdvance(lines.back() + ch) > width) lines.emplace_back();
    lines.back() += ch;
  }
  return lines;
}

inline QImage background(CaptionStyle style, int w, int h, std::mt19937& rng) {
  switch (style) {
    case CaptionStyle::BlackOnWhite:
      return drawing(w, h, rng, Qt::white);
    case CaptionStyle::Coloured:
      return drawing(w, h, rng, QColor(250 - rng() % 20, 250 - rng() % 20, 240 - rng() % 30));
    case CaptionStyle::Outlined:
      return scene(w, h, rng, false);
    case CaptionStyle::LightOnDark:
      return scene(w, h, rng, true);
    case CaptionStyle::None:
      break;
  }
  return rng() % 2 ? scene(w, h, rng, rng() % 2) : drawing(w, h, rng, Qt::white);
}

// 1 to 6 words, now and then a particle after them: 2 to 12 characters.
inline void pickCaption(CaptionedPicture& pic, std::mt19937& rng) {
  const auto& words = captionWords();
  const int n = 1 + int(rng() % 6);
  for (int k = 0; k < n; ++k) pic.words.push_back(words[rng() % words.size()]);
  for (const auto& word : pic.words) pic.caption += word;
  if (n < 6 && rng() % 3 == 0) pic.caption += captionParticles()[rng() % captionParticles().size()];
}

inline QFont captionFont(int index, std::mt19937& rng) {
  static const std::array<const char*, 5> fonts{"WenQuanYi Micro Hei", "WenQuanYi Zen Hei", "AR PL UMing CN",
                                                "AR PL UKai CN", "WenQuanYi Zen Hei Sharp"};
  QFont font(fonts[std::size_t(index) % fonts.size()]);
  font.setPixelSize(18 + int(rng() % 31));
  font.setBold(rng() % 2);
  return font;
}

// The caption's lines, centred, the last one just above the bottom edge.
inline QPainterPath captionPath(const QString& caption, const QFont& font, int w, int h) {
  const auto lines = wrap(caption, font, w - 16);
  QFontMetricsF m(font);
  const double lineHeight = m.height() * 1.1;
  double y = h - 10 - lineHeight * double(lines.size() - 1) - m.descent();
  QPainterPath path;
  for (const QString& line : lines) {
    path.addText((w - m.horizontalAdvance(line)) / 2.0, y, font, line);
    y += lineHeight;
  }
  return path;
}

inline void paintCaption(QPainter& p, const QPainterPath& path, CaptionStyle style, int pixelSize,
                         std::mt19937& rng) {
  static const std::array<QColor, 6> inks{QColor(220, 30, 30),  QColor(30, 70, 210), QColor(20, 140, 40),
                                          QColor(150, 40, 170), QColor(230, 110, 0), QColor(0, 130, 150)};
  static const std::array<QColor, 4> lights{QColor(255, 255, 255), QColor(255, 230, 80),
                                            QColor(200, 240, 255), QColor(255, 200, 220)};
  switch (style) {
    case CaptionStyle::BlackOnWhite:
      p.fillPath(path, Qt::black);
      break;
    case CaptionStyle::Coloured:
      p.fillPath(path, inks[rng() % inks.size()]);
      break;
    case CaptionStyle::Outlined:
      p.strokePath(path, QPen(Qt::black, 2 + pixelSize / 12, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
      p.fillPath(path, Qt::white);
      break;
    case CaptionStyle::LightOnDark:
      p.fillPath(path, lights[rng() % lights.size()]);
      break;
    case CaptionStyle::None:
      break;
  }
}

// The caption in its style, now and then tilted; now and then the picture softened after.
inline void drawCaption(QImage& img, const CaptionedPicture& pic, const QFont& font, std::mt19937& rng) {
  const int w = img.width(), h = img.height();
  const QPainterPath path = captionPath(QString::fromStdString(pic.caption), font, w, h);
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing);
  const int tilt = rng() % 4 == 0 ? int(rng() % 13) - 6 : 0;
  p.translate(w / 2.0, h / 2.0);
  p.rotate(tilt);
  p.translate(-w / 2.0, -h / 2.0);
  paintCaption(p, path, pic.style, font.pixelSize(), rng);
  p.end();
  if (rng() % 5 == 0) {  // a soft picture, as after a few rounds of sharing
    img = img.scaled(w * 2 / 3, h * 2 / 3, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
              .scaled(w, h, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
  }
}

}  // namespace detail

// `count` pictures, one in six without text; the captioned ones take the four styles in turn.
inline std::vector<CaptionedPicture> makeCaptionedPictures(int count, unsigned seed) {
  std::mt19937 rng(seed);
  std::vector<CaptionedPicture> out;
  int captioned = 0;
  for (int i = 0; i < count; ++i) {
    CaptionedPicture pic;
    const bool textFree = i % 6 == 5;
    pic.style = textFree ? CaptionStyle::None : static_cast<CaptionStyle>(captioned++ % 4);
    const int w = 240 + int(rng() % 260), h = 220 + int(rng() % 240);
    QImage img = detail::background(pic.style, w, h, rng);
    if (!textFree) {
      detail::pickCaption(pic, rng);
      const QFont font = detail::captionFont(i, rng);
      detail::drawCaption(img, pic, font, rng);
    }
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    const bool png = rng() % 3 == 0;
    img.save(&buffer, png ? "PNG" : "JPEG", png ? -1 : 80);
    pic.bytes = buffer.data().toStdString();
    pic.fileName = std::to_string(1700000000000LL + i) + (png ? ".png" : ".jpg");
    out.push_back(std::move(pic));
  }
  return out;
}

}  // namespace mw::bench
