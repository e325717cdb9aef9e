#pragma once
// Reaction pictures as people trade them, for the word reader's bench: captions over photos and
// busy cartoons, on white bands, outlined 2-6 px, 16-48 px in every CJK font Debian ships, one or
// two lines of up to 14 characters with now and then Latin letters or digits, tilted up to 8°,
// shrunk with blur, JPEGs saved twice at quality 30-70, GIFs with the caption on every frame or
// only after the first, some in Traditional characters, some written top to bottom. The same seed
// makes the same set.
#include "bench/captioned_pictures.h"
#include "support/test_pictures.h"

namespace mw::bench {

// Simplified and Traditional forms of the words hard captions are made of.
struct CaptionWord {
  const char* simplified;
  const char* traditional;
};
inline const std::vector<CaptionWord>& hardWords() {
  static const std::vector<CaptionWord> words{
      {"下班", "下班"}, {"摸鱼", "摸魚"}, {"老板", "老闆"}, {"加班", "加班"}, {"开心", "開心"},
      {"难过", "難過"}, {"无语", "無語"}, {"哈哈", "哈哈"}, {"可爱", "可愛"}, {"生气", "生氣"},
      {"睡觉", "睡覺"}, {"吃饭", "吃飯"}, {"工作", "工作"}, {"周末", "週末"}, {"放假", "放假"},
      {"上班", "上班"}, {"打工", "打工"}, {"发财", "發財"}, {"躺平", "躺平"}, {"心累", "心累"},
      {"崩溃", "崩潰"}, {"冲鸭", "衝鴨"}, {"晚安", "晚安"}, {"早安", "早安"}, {"谢谢", "謝謝"},
      {"收到", "收到"}, {"好的", "好的"}, {"拜拜", "拜拜"}, {"委屈", "委屈"}, {"害怕", "害怕"},
      {"震惊", "震驚"}, {"尴尬", "尷尬"}, {"真香", "真香"}, {"奶茶", "奶茶"}, {"干饭", "乾飯"},
      {"快乐", "快樂"}, {"学习", "學習"}, {"考试", "考試"}, {"熬夜", "熬夜"}, {"头秃", "頭禿"},
      {"减肥", "減肥"}, {"好吃", "好吃"}, {"厉害", "厲害"}, {"佩服", "佩服"}, {"求求", "求求"},
      {"不要", "不要"}, {"等等", "等等"}, {"我们", "我們"}, {"朋友", "朋友"}, {"兄弟", "兄弟"},
      {"妈妈", "媽媽"}, {"回家", "回家"}, {"出门", "出門"}, {"天气", "天氣"}, {"下雨", "下雨"},
      {"太阳", "太陽"}, {"明天", "明天"}, {"今天", "今天"}, {"努力", "努力"}, {"加油", "加油"},
      {"救命", "救命"}, {"啊这", "啊這"}, {"震撼", "震撼"}, {"好友", "好友"}, {"下线", "下線"},
      {"看懂", "看懂"}, {"大受", "大受"}, {"笑死", "笑死"}, {"离谱", "離譜"}, {"绝了", "絕了"}};
  return words;
}
// Latin letters and digits as they turn up in captions; searched as words too.
inline const std::vector<std::string>& latinWords() {
  static const std::vector<std::string> words{"yyds", "666", "OK"};
  return words;
}

// How a hard picture was made, beyond its style.
struct HardTraits {
  int pixelSize = 0;
  bool traditional = false, vertical = false, twoLines = false, latin = false;
  bool tilted = false, blurred = false, jpegTwice = false;
  int gif = 0;  // 0: not a GIF, 1: caption on every frame, 2: caption only after the first frame
};

struct HardPicture : CaptionedPicture {
  HardTraits traits;
  std::vector<std::string> otherWords;  // for Traditional captions: the words in Simplified
  std::string otherCaption;
};

namespace detail {

// A photo-like scene: sky, hills and buildings under soft light, grain over all of it.
inline QImage photo(int w, int h, std::mt19937& rng) {
  QImage img = scene(w, h, rng, rng() % 3 == 0);
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing);
  for (int i = 0; i < 14; ++i) {
    const int bw = 20 + int(rng() % 90), bh = 40 + int(rng() % (h / 2 + 1));
    const int v = 40 + int(rng() % 160);
    p.fillRect(QRect(int(rng() % w), h - bh, bw, bh), QColor(v, v - int(rng() % 30), v - int(rng() % 40)));
    for (int k = 0; k < 8; ++k)  // windows
      p.fillRect(QRect(int(rng() % w), h - int(rng() % bh), 4 + int(rng() % 6), 5 + int(rng() % 6)),
                 QColor(230, 220, 150));
  }
  for (int i = 0; i < 40; ++i) {  // leaves and clutter
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(int(rng() % 120), 60 + int(rng() % 140), int(rng() % 90), 160));
    p.drawEllipse(QPointF(rng() % w, rng() % h), 3 + rng() % 25, 3 + rng() % 18);
  }
  p.end();
  img = img.scaled(w / 2, h / 2, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
            .scaled(w, h, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
            .convertToFormat(QImage::Format_RGB32);
  for (int y = 0; y < h; ++y) {
    auto* line = reinterpret_cast<QRgb*>(img.scanLine(y));
    for (int x = 0; x < w; ++x) {
      const int n = int(rng() % 25) - 12;
      const QRgb c = line[x];
      line[x] = qRgb(std::clamp(qRed(c) + n, 0, 255), std::clamp(qGreen(c) + n, 0, 255),
                     std::clamp(qBlue(c) + n, 0, 255));
    }
  }
  return img;
}

// A busy cartoon: flat bright shapes in thick black outlines, a face among them.
inline QImage cartoon(int w, int h, std::mt19937& rng) {
  QImage img =
      drawing(w, h, rng, QColor(150 + int(rng() % 106), 150 + int(rng() % 106), 150 + int(rng() % 106)));
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing);
  for (int i = 0; i < 18; ++i) {
    p.setPen(QPen(Qt::black, 2 + rng() % 4));
    p.setBrush(QColor::fromHsv(int(rng() % 360), 120 + int(rng() % 136), 150 + int(rng() % 106)));
    const QPointF c(rng() % w, rng() % h);
    const double r = 8 + rng() % 50;
    if (rng() % 2) {
      p.drawEllipse(c, r, r * 0.7);
    } else {
      QPolygonF poly;
      for (int k = 0; k < 3 + int(rng() % 4); ++k)
        poly << c + QPointF(double(int(rng() % 80)) - 40, double(int(rng() % 80)) - 40);
      p.drawPolygon(poly);
    }
  }
  for (int i = 0; i < 12; ++i) {  // speed lines and scribbles
    p.setPen(QPen(QColor(20, 20, 20), 1 + rng() % 3));
    p.drawLine(QPointF(rng() % w, rng() % h), QPointF(rng() % w, rng() % h));
  }
  return img;
}

inline QImage busyBackground(int w, int h, std::mt19937& rng) {
  return rng() % 2 ? photo(w, h, rng) : cartoon(w, h, rng);
}

inline QFont hardFont(bool traditional, std::mt19937& rng) {
  static const std::array<const char*, 7> simplified{
      "WenQuanYi Micro Hei", "WenQuanYi Zen Hei", "WenQuanYi Zen Hei Sharp", "AR PL UMing CN",
      "AR PL UKai CN",       "Noto Sans CJK SC",  "Noto Serif CJK SC"};
  static const std::array<const char*, 5> traditionalFonts{
      "AR PL UMing TW", "AR PL UKai TW", "Noto Sans CJK TC", "Noto Serif CJK TC", "WenQuanYi Zen Hei"};
  QFont font(traditional ? traditionalFonts[rng() % traditionalFonts.size()]
                         : simplified[rng() % simplified.size()]);
  font.setPixelSize(16 + int(rng() % 33));
  font.setBold(rng() % 3 == 0);
  return font;
}

// 1 to 6 words, now and then Latin letters or a particle: 2 to 14 characters.
inline void pickHardCaption(HardPicture& pic, std::mt19937& rng) {
  const auto& words = hardWords();
  const int n = 1 + int(rng() % 6);
  std::vector<std::pair<std::string, std::string>> picked;  // as drawn, in Simplified
  for (int k = 0; k < n; ++k) {
    const CaptionWord& w = words[rng() % words.size()];
    picked.emplace_back(pic.traits.traditional ? w.traditional : w.simplified, w.simplified);
  }
  if (n <= 5 && rng() % 6 == 0) {
    const std::string& latin = latinWords()[rng() % latinWords().size()];
    picked.insert(picked.begin() + int(rng() % (picked.size() + 1)), {latin, latin});
    pic.traits.latin = true;
  }
  for (const auto& [drawn, simplified] : picked) {
    pic.words.push_back(drawn);
    pic.otherWords.push_back(simplified);
    pic.caption += drawn;
    pic.otherCaption += simplified;
  }
  if (n < 6 && rng() % 3 == 0) {
    const std::size_t i = rng() % captionParticles().size();
    pic.caption += pic.traits.traditional && i == 4 ? "嗎" : captionParticles()[i];
    pic.otherCaption += captionParticles()[i];
  }
}

// The caption's lines: one, or two split between words when it is long or chosen so.
inline std::vector<QString> hardLines(const HardPicture& pic, bool two) {
  const QString whole = QString::fromStdString(pic.caption);
  if (!two || pic.words.size() < 2) return {whole};
  std::size_t firstBytes = 0;
  for (std::size_t k = 0; k < (pic.words.size() + 1) / 2; ++k) firstBytes += pic.words[k].size();
  const QString first = QString::fromStdString(pic.caption.substr(0, firstBytes));
  return {first, whole.mid(first.size())};
}

// Where the caption goes and how it is drawn onto `img`; `band`: a white band under black text.
inline void paintHardText(QImage& img, const HardPicture& pic, const std::vector<QString>& lines,
                          const QFont& font, int outline, QColor ink, bool band, bool top, int tilt) {
  const int w = img.width(), h = img.height();
  QFontMetricsF m(font);
  QPainterPath path;
  QRectF box;
  if (pic.traits.vertical) {
    // Columns right to left, each character under the one before.
    const double step = m.height() * 0.98, colWidth = m.height() * 1.15;
    double x = w - 12 - colWidth;
    for (const QString& line : lines) {
      double y = 12 + m.ascent();
      for (QChar ch : line) {
        path.addText(x + (colWidth - m.horizontalAdvance(ch)) / 2, y, font, QString(ch));
        y += step;
      }
      x -= colWidth;
    }
  } else {
    const double lineHeight = m.height() * 1.1;
    double y = top ? 12 + m.ascent() : h - 12 - lineHeight * double(lines.size() - 1) - m.descent();
    for (const QString& line : lines) {
      path.addText((w - m.horizontalAdvance(line)) / 2.0, y, font, line);
      y += lineHeight;
    }
  }
  box = path.boundingRect().adjusted(-10, -8, 10, 8);
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing);
  p.translate(w / 2.0, h / 2.0);
  p.rotate(tilt);
  p.translate(-w / 2.0, -h / 2.0);
  if (band) {
    const QRectF full = pic.traits.vertical ? QRectF(box.left(), -20, box.width(), h + 40)
                                            : QRectF(-20, box.top(), w + 40, box.height());
    p.fillRect(full, Qt::white);
  }
  if (outline > 0)
    p.strokePath(path, QPen(outline > 0 && ink.lightness() < 128 ? Qt::white : Qt::black, 2.0 * outline,
                            Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  p.fillPath(path, ink);
}

// The font made smaller until the caption's lines fit the picture.
inline QFont fittedFont(const HardPicture& pic, QFont font, int w, int h) {
  const std::vector<QString> lines = hardLines(pic, pic.traits.twoLines);
  for (;;) {
    QFontMetricsF m(font);
    double longest = 0;
    for (const QString& line : lines)
      longest = std::max(longest,
                         pic.traits.vertical ? m.height() * double(line.size()) : m.horizontalAdvance(line));
    if (longest <= (pic.traits.vertical ? h : w) - 24 || font.pixelSize() <= 16) return font;
    font.setPixelSize(font.pixelSize() - 1);
  }
}

// The caption in its style over its background.
inline void drawHardCaption(QImage& img, const HardPicture& pic, const QFont& font, std::mt19937& rng) {
  const std::vector<QString> lines = hardLines(pic, pic.traits.twoLines);
  const int tilt = pic.traits.tilted ? (1 + int(rng() % 8)) * (rng() % 2 ? 1 : -1) : 0;
  static const std::array<QColor, 7> inks{QColor(220, 30, 30),  QColor(30, 70, 210), QColor(20, 140, 40),
                                          QColor(150, 40, 170), QColor(230, 110, 0), QColor(0, 130, 150),
                                          QColor(250, 210, 0)};
  static const std::array<QColor, 4> lights{QColor(255, 255, 255), QColor(255, 230, 80),
                                            QColor(200, 240, 255), QColor(255, 200, 220)};
  const bool top = rng() % 3 == 0;
  switch (pic.style) {
    case CaptionStyle::BlackOnWhite:
      paintHardText(img, pic, lines, font, 0, Qt::black, rng() % 4 != 0, top, tilt);
      break;
    case CaptionStyle::Outlined:
      paintHardText(img, pic, lines, font, 2 + int(rng() % 5), Qt::white, false, top, tilt);
      break;
    case CaptionStyle::Coloured:
      paintHardText(img, pic, lines, font, rng() % 3 == 0 ? 2 + int(rng() % 3) : 0, inks[rng() % inks.size()],
                    false, top, tilt);
      break;
    case CaptionStyle::LightOnDark:
      paintHardText(img, pic, lines, font, 0, lights[rng() % lights.size()], false, top, tilt);
      break;
    case CaptionStyle::None:
      break;
  }
}

inline QImage hardBackground(const HardPicture& pic, int w, int h, std::mt19937& rng) {
  switch (pic.style) {
    case CaptionStyle::BlackOnWhite:
      // A white band over a busy picture, or a plain white page with a drawing.
      return rng() % 4 ? busyBackground(w, h, rng) : drawing(w, h, rng, Qt::white);
    case CaptionStyle::Coloured:
      return rng() % 2 ? cartoon(w, h, rng)
                       : drawing(w, h, rng, QColor(250 - rng() % 20, 250 - rng() % 20, 240));
    case CaptionStyle::Outlined:
      return busyBackground(w, h, rng);
    case CaptionStyle::LightOnDark: {
      QImage img = photo(w, h, rng);
      // Darkened, as a still from a night scene or a screenshot's black bar.
      QPainter p(&img);
      p.fillRect(img.rect(), QColor(0, 0, 0, 150 + int(rng() % 80)));
      return img;
    }
    case CaptionStyle::None:
      break;
  }
  const int kind = int(rng() % 3);
  return kind == 0 ? photo(w, h, rng) : kind == 1 ? cartoon(w, h, rng) : drawing(w, h, rng, Qt::white);
}

inline std::string encodeImage(const QImage& img, const char* format, int quality) {
  QByteArray data;
  QBuffer buffer(&data);
  buffer.open(QIODevice::WriteOnly);
  img.save(&buffer, format, quality);
  return data.toStdString();
}

// Shrunk by `f` with blur, as after a few rounds of sharing.
inline QImage shrunk(const QImage& img, double f, bool blurMore) {
  QImage small = img.scaled(int(img.width() * f), int(img.height() * f), Qt::IgnoreAspectRatio,
                            Qt::SmoothTransformation);
  if (blurMore)  // softened further, then back to the smaller size
    small = small
                .scaled(small.width() * 2 / 3, small.height() * 2 / 3, Qt::IgnoreAspectRatio,
                        Qt::SmoothTransformation)
                .scaled(small.width(), small.height(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
  return small;
}

}  // namespace detail

// `count` pictures, one in six without text; the captioned ones take the four styles in turn.
inline std::vector<HardPicture> makeHardPictures(int count, unsigned seed) {
  std::mt19937 rng(seed);
  std::vector<HardPicture> out;
  int captioned = 0;
  for (int i = 0; i < count; ++i) {
    HardPicture pic;
    const bool textFree = i % 6 == 5;
    pic.style = textFree ? CaptionStyle::None : static_cast<CaptionStyle>(captioned++ % 4);
    HardTraits& t = pic.traits;
    t.traditional = !textFree && rng() % 6 == 0;
    t.vertical = !textFree && rng() % 10 == 0;
    t.tilted = rng() % 3 == 0;
    t.blurred = rng() % 3 == 0;
    t.gif = rng() % 9 == 0 ? 1 + int(rng() % 2) : 0;
    const int w = 260 + int(rng() % 380), h = 240 + int(rng() % 320);
    QFont font;
    if (!textFree) {
      detail::pickHardCaption(pic, rng);
      t.twoLines = pic.words.size() >= 2 && (rng() % 3 == 0 || pic.caption.size() > 3 * 9);
      font = detail::fittedFont(pic, detail::hardFont(t.traditional, rng), w, h);
    }
    const double shrink = t.blurred ? 0.5 + double(rng() % 31) / 100 : 1;
    const bool blurMore = rng() % 2;
    const unsigned backgroundSeed = unsigned(rng());
    const unsigned captionSeed = unsigned(rng());
    std::vector<QImage> frames;
    const int frameCount = t.gif ? 3 + int(rng() % 3) : 1;
    for (int f = 0; f < frameCount; ++f) {
      // The scene moves a little from frame to frame; the caption stays.
      std::mt19937 bg(backgroundSeed + unsigned(f % 2) * 7919u);
      QImage img = detail::hardBackground(pic, w, h, bg);
      if (!textFree && !(t.gif == 2 && f == 0)) {
        std::mt19937 cap(captionSeed);
        detail::drawHardCaption(img, pic, font, cap);
      }
      if (t.blurred) img = detail::shrunk(img, shrink, blurMore);
      frames.push_back(std::move(img));
    }
    t.pixelSize = textFree ? 0 : int(font.pixelSize() * shrink + 0.5);
    std::string suffix;
    if (t.gif) {
      pic.bytes = test::gifOf(frames);
      suffix = ".gif";
    } else if (rng() % 4 == 0) {
      pic.bytes = detail::encodeImage(frames[0], "PNG", -1);
      suffix = ".png";
    } else {
      // Saved twice, as a picture passed on by someone who saved it from a chat.
      t.jpegTwice = true;
      const std::string once = detail::encodeImage(frames[0], "JPEG", 30 + int(rng() % 41));
      pic.bytes = detail::encodeImage(QImage::fromData(QByteArray::fromStdString(once)), "JPEG",
                                      30 + int(rng() % 41));
      suffix = ".jpg";
    }
    pic.fileName = std::to_string(1710000000000LL + i) + suffix;
    out.push_back(std::move(pic));
  }
  return out;
}

}  // namespace mw::bench
