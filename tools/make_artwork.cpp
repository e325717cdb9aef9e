// Draws the program's artwork and writes it into a folder (normally resources/):
//   make_artwork OUTDIR
// or the desktop icon in every size of the hicolor theme (normally packaging/icons/):
//   make_artwork --icons ICONDIR
// Every picture is drawn here from scratch with QPainter; Chinese text uses WenQuanYi Micro Hei.
#include <gif_lib.h>

#include <QDir>
#include <QFile>
#include <QFont>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QSvgGenerator>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

namespace {

const QString kFontFamily = QStringLiteral("WenQuanYi Micro Hei");

// Palette of the skin.
const QColor kTitleTop(0x25, 0x34, 0x48);
const QColor kTitleBottom(0x1A, 0x26, 0x36);
const QColor kTitleText(0xC3, 0xCE, 0xDB);
const QColor kInk(0x1F, 0x2A, 0x37);
const QColor kAccent(0x22, 0xB5, 0xA8);
const QColor kAccentDeep(0x17, 0x8F, 0xD6);
const QColor kWarm(0xFF, 0xA6, 0x2B);
const QColor kHairline(0xE1, 0xE6, 0xEC);
const QColor kFrame(0xB4, 0xC0, 0xCD);

constexpr int kSkinW = 663, kSkinH = 643;
constexpr int kTitleH = 50;  // the strip the chrome, logo and page buttons sit on

QFont font(qreal pixelSize, bool bold = false) {
  QFont f(kFontFamily);
  f.setPixelSize(int(std::lround(pixelSize)));
  f.setBold(bold);
  f.setHintingPreference(QFont::PreferNoHinting);
  return f;
}

void setupPainter(QPainter& p) {
  p.setRenderHint(QPainter::Antialiasing);
  p.setRenderHint(QPainter::TextAntialiasing);
  p.setRenderHint(QPainter::SmoothPixmapTransform);
}

QLinearGradient titleGradient(qreal offsetY = 0) {
  QLinearGradient g(0, -offsetY, 0, kTitleH - offsetY);
  g.setColorAt(0, kTitleTop);
  g.setColorAt(1, kTitleBottom);
  return g;
}

// Text drawn with a dark outline, as captions on reaction pictures are.
void outlinedText(QPainter& p, const QRectF& box, const QString& text, const QFont& f, const QColor& fill,
                  const QColor& outline, qreal outlineWidth) {
  QPainterPath path;
  const QFontMetricsF m(f);
  const qreal w = m.horizontalAdvance(text);
  path.addText(box.center().x() - w / 2, box.center().y() + (m.ascent() - m.descent()) / 2, f, text);
  p.save();
  p.setPen(QPen(outline, outlineWidth, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  p.setBrush(Qt::NoBrush);
  p.drawPath(path);
  p.setPen(Qt::NoPen);
  p.setBrush(fill);
  p.drawPath(path);
  p.restore();
}

// --- the mascot: a round sticker face used by the logo, the decoration, the tip and the marker ---

enum class Eyes { Open, Half, Closed, Happy };

void drawMascotEyes(QPainter& p, QPointF c, qreal s, Eyes eyes, qreal bolder, const QColor& ink) {
  const qreal eyeY = c.y() - s * 0.06, eyeDx = s * 0.17, eyeR = s * 0.075;
  for (int side : {-1, 1}) {
    const QPointF e(c.x() + side * eyeDx, eyeY);
    switch (eyes) {
      case Eyes::Open:
        p.setPen(Qt::NoPen);
        p.setBrush(ink);
        p.drawEllipse(e, eyeR, eyeR * 1.25);
        p.setBrush(Qt::white);
        p.drawEllipse(QPointF(e.x() - eyeR * 0.3, e.y() - eyeR * 0.45), eyeR * 0.38, eyeR * 0.38);
        break;
      case Eyes::Half:
        p.setPen(Qt::NoPen);
        p.setBrush(ink);
        p.drawChord(QRectF(e.x() - eyeR, e.y() - eyeR * 1.25, eyeR * 2, eyeR * 2.5), 180 * 16, 180 * 16);
        break;
      case Eyes::Closed:
        p.setPen(QPen(ink, s * 0.03 * bolder, Qt::SolidLine, Qt::RoundCap));
        p.setBrush(Qt::NoBrush);
        p.drawLine(QPointF(e.x() - eyeR, e.y() + eyeR * 0.3), QPointF(e.x() + eyeR, e.y() + eyeR * 0.3));
        break;
      case Eyes::Happy:
        p.setPen(QPen(ink, s * 0.035 * bolder, Qt::SolidLine, Qt::RoundCap));
        p.setBrush(Qt::NoBrush);
        p.drawArc(QRectF(e.x() - eyeR * 1.1, e.y() - eyeR * 0.6, eyeR * 2.2, eyeR * 2.0), 20 * 16, 140 * 16);
        break;
    }
  }
}

// The open smile, with its tongue.
void drawMascotMouth(QPainter& p, QPointF c, qreal s, qreal bolder, const QColor& ink) {
  QPainterPath mouth;
  const qreal mw = s * 0.2, my = c.y() + s * 0.1;
  mouth.moveTo(c.x() - mw / 2, my);
  mouth.quadTo(c.x(), my + s * 0.005, c.x() + mw / 2, my);
  mouth.quadTo(c.x() + mw * 0.35, my + s * 0.17, c.x(), my + s * 0.17);
  mouth.quadTo(c.x() - mw * 0.35, my + s * 0.17, c.x() - mw / 2, my);
  p.setPen(QPen(ink, s * 0.02 * bolder, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  p.setBrush(QColor(0x8E, 0x2B, 0x1E));
  p.drawPath(mouth);
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(0xFF, 0x8A, 0x80));
  p.drawEllipse(QPointF(c.x(), my + s * 0.12), mw * 0.22, s * 0.035);
}

// `flat` avoids gradients, for pictures that end up in a 256-colour GIF; `bolder` widens the lines
// of a face drawn only a few pixels tall, which would otherwise fade away.
void drawMascot(QPainter& p, const QRectF& box, Eyes eyes = Eyes::Open, bool blush = true, bool flat = false,
                qreal bolder = 1) {
  const qreal s = std::min(box.width(), box.height());
  const QPointF c = box.center();
  const QRectF body(c.x() - s / 2, c.y() - s / 2, s, s);
  p.save();
  // soft shadow
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(0, 0, 0, 28));
  p.drawEllipse(QRectF(body.left() + s * 0.06, body.bottom() - s * 0.06, s * 0.88, s * 0.12));
  QRadialGradient skin(c.x() - s * 0.18, c.y() - s * 0.22, s * 0.75);
  skin.setColorAt(0, QColor(0xFF, 0xF1, 0xB8));
  skin.setColorAt(0.7, QColor(0xFF, 0xD5, 0x5E));
  skin.setColorAt(1, QColor(0xF4, 0xB3, 0x2E));
  if (flat)
    p.setBrush(QColor(0xFF, 0xD2, 0x55));
  else
    p.setBrush(skin);
  p.setPen(QPen(QColor(0x6B, 0x45, 0x14), s * 0.025 * bolder));
  p.drawEllipse(body.adjusted(s * 0.02, s * 0.02, -s * 0.02, -s * 0.02));

  const QColor ink(0x3A, 0x24, 0x0C);
  drawMascotEyes(p, c, s, eyes, bolder, ink);
  if (blush) {
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0xFF, 0x7A, 0x6B, 120));
    for (int side : {-1, 1})
      p.drawEllipse(QPointF(c.x() + side * s * 0.29, c.y() + s * 0.1), s * 0.075, s * 0.045);
  }
  drawMascotMouth(p, c, s, bolder, ink);
  p.restore();
}

// --- the skin ---

void drawHomeIcon(QPainter& p, const QPointF& c, qreal s) {
  QPainterPath roof;
  roof.moveTo(c.x() - s / 2, c.y());
  roof.lineTo(c.x(), c.y() - s / 2);
  roof.lineTo(c.x() + s / 2, c.y());
  p.drawPath(roof);
  p.drawRect(QRectF(c.x() - s * 0.32, c.y() - s * 0.05, s * 0.64, s * 0.5));
}

void drawEditIcon(QPainter& p, const QPointF& c, qreal s) {
  p.save();
  p.translate(c);
  p.rotate(-45);
  p.drawRect(QRectF(-s * 0.42, -s * 0.13, s * 0.66, s * 0.26));
  QPainterPath tip;
  tip.moveTo(s * 0.24, -s * 0.13);
  tip.lineTo(s * 0.5, 0);
  tip.lineTo(s * 0.24, s * 0.13);
  p.drawPath(tip);
  p.restore();
}

void drawStarIcon(QPainter& p, const QPointF& c, qreal s) {
  QPainterPath star;
  for (int i = 0; i < 10; ++i) {
    const qreal r = (i % 2 == 0) ? s / 2 : s * 0.21;
    const qreal a = -M_PI / 2 + i * M_PI / 5;
    const QPointF pt(c.x() + r * std::cos(a), c.y() + s * 0.05 + r * std::sin(a));
    if (i == 0)
      star.moveTo(pt);
    else
      star.lineTo(pt);
  }
  star.closeSubpath();
  p.drawPath(star);
}

// The program's badge, the mascot on a rounded square: 32 pixels in the title strip, and every
// size of the desktop icon.
void drawBadge(QPainter& p, const QRectF& badge, qreal bolder = 1) {
  const qreal s = badge.width();
  QLinearGradient g(badge.topLeft(), badge.bottomRight());
  g.setColorAt(0, kAccent);
  g.setColorAt(1, kAccentDeep);
  p.setPen(Qt::NoPen);
  p.setBrush(g);
  p.drawRoundedRect(badge, s / 4, s / 4);
  drawMascot(p, badge.adjusted(s / 8, s / 8, -s / 8, -s / 8), Eyes::Happy, false, false, bolder);
}

void drawLogo(QPainter& p) {
  drawBadge(p, QRectF(10, 9, 32, 32));
  // word mark, fitted between the badge and the first page button
  QFont f = font(16, true);
  f.setLetterSpacing(QFont::AbsoluteSpacing, -0.2);
  const qreal room = 116 - 47;
  while (QFontMetricsF(f).horizontalAdvance("Memwick") > room) f.setPixelSize(f.pixelSize() - 1);
  p.setFont(f);
  p.setPen(Qt::white);
  p.drawText(QRectF(47, 9, room, 20), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("Memwick"));
  p.setFont(font(9.5));
  p.setPen(QColor(0x8F, 0xA3, 0xB8));
  p.drawText(QRectF(48, 28, room, 13), Qt::AlignLeft | Qt::AlignVCenter, QString::fromUtf8("斗图助手"));
}

struct PageButton {
  int x;
  const char* caption;
  void (*icon)(QPainter&, const QPointF&, qreal);
};

const PageButton kPageButtons[] = {
    {120, "主页", &drawHomeIcon}, {180, "编辑", &drawEditIcon}, {240, "收藏", &drawStarIcon}};

QImage makeSkin(int current) {
  QImage img(kSkinW, kSkinH, QImage::Format_RGB32);
  img.fill(Qt::white);
  QPainter p(&img);
  setupPainter(p);

  // title strip with a faint sheen at its top edge
  p.fillRect(QRect(0, 0, kSkinW, kTitleH), titleGradient());
  p.fillRect(QRect(0, 0, kSkinW, 1), QColor(0x3A, 0x4C, 0x63));
  // shadow the strip casts on the body
  QLinearGradient shade(0, kTitleH, 0, kTitleH + 6);
  shade.setColorAt(0, QColor(0, 0, 0, 40));
  shade.setColorAt(1, QColor(0, 0, 0, 0));
  p.fillRect(QRect(0, kTitleH, kSkinW, 6), shade);

  drawLogo(p);

  for (int i = 0; i < 3; ++i) {
    const PageButton& b = kPageButtons[i];
    const bool on = i == current;
    const QRectF hit(b.x, 8, 50, 40);  // the transparent label above it
    if (on) {
      // the current page's tab joins the white body below the strip
      // it also covers the strip's shadow, so the tab reads as part of the body
      const QRectF r(hit.left() + 1, hit.top() + 3, hit.width() - 2, kTitleH + 6 - hit.top() - 3);
      QPainterPath tab;
      tab.setFillRule(Qt::WindingFill);
      tab.addRoundedRect(QRectF(r.left(), r.top(), r.width(), 20), 6, 6);
      tab.addRect(QRectF(r.left(), r.top() + 10, r.width(), r.height() - 10));
      p.setPen(Qt::NoPen);
      p.setBrush(Qt::white);
      p.drawPath(tab);
      p.fillRect(QRectF(r.left() + 12, r.top(), r.width() - 24, 2.5), kAccent);
    }
    const QColor c = on ? kInk : kTitleText;
    p.setPen(QPen(c, 1.6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(on ? QColor(kAccent.red(), kAccent.green(), kAccent.blue(), 70) : Qt::NoBrush);
    b.icon(p, QPointF(hit.center().x(), hit.top() + 15), 14);
    p.setFont(font(12.5, on));
    p.setPen(c);
    p.drawText(QRectF(hit.left(), hit.top() + 23, hit.width(), 16), Qt::AlignCenter,
               QString::fromUtf8(b.caption));
  }

  // body: hairlines frame the paging bar (y 528-576) and the footer labels (y 584-632)
  p.setRenderHint(QPainter::Antialiasing, false);
  p.setPen(kHairline);
  p.drawLine(8, 523, 654, 523);
  p.drawLine(8, 580, 654, 580);
  p.drawLine(208, 588, 208, 605);
  p.drawLine(452, 588, 452, 605);
  // a thin accent along the bottom edge, then the window's outline
  p.fillRect(QRect(1, kSkinH - 4, kSkinW - 2, 3), kAccent);
  p.setPen(kFrame);
  p.drawLine(0, kTitleH, 0, kSkinH - 1);
  p.drawLine(kSkinW - 1, kTitleH, kSkinW - 1, kSkinH - 1);
  p.drawLine(0, kSkinH - 1, kSkinW - 1, kSkinH - 1);
  return img;
}

// --- the chrome strip (84 x 41, laid at 576,8 over the title strip) ---

enum class ChromeHot { None, Close, Minimise };

QImage makeChrome(ChromeHot hot) {
  QImage img(84, 41, QImage::Format_RGB32);
  QPainter p(&img);
  p.fillRect(img.rect(), titleGradient(8));
  setupPainter(p);
  const QColor grey(0xA9, 0xB6, 0xC5);
  // hit zones: minimise x 7..19, close x 56..74, both y 11..34
  const QRectF minZone(7, 11, 13, 24), closeZone(56, 11, 19, 24);
  if (hot == ChromeHot::Minimise) {
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x2F, 0x80, 0xED));
    p.drawRoundedRect(minZone, 3, 3);
  } else if (hot == ChromeHot::Close) {
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0xE8, 0x3E, 0x3E));
    p.drawRoundedRect(closeZone, 3, 3);
  }
  const qreal cy = 22.5;
  p.setPen(QPen(hot == ChromeHot::Minimise ? Qt::white : grey, 1.6, Qt::SolidLine, Qt::RoundCap));
  p.drawLine(QPointF(9, cy + 0.5), QPointF(18, cy + 0.5));
  p.setPen(QPen(grey, 1.4, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
  p.setBrush(Qt::NoBrush);
  p.drawRect(QRectF(33, cy - 4.5, 9, 9));
  p.setPen(QPen(hot == ChromeHot::Close ? Qt::white : grey, 1.6, Qt::SolidLine, Qt::RoundCap));
  p.drawLine(QPointF(61, cy - 4.5), QPointF(70, cy + 4.5));
  p.drawLine(QPointF(61, cy + 4.5), QPointF(70, cy - 4.5));
  return img;
}

// --- controls' own pictures ---

QImage makeSearchFrame() {
  QImage img(286, 45, QImage::Format_ARGB32);
  img.fill(Qt::transparent);
  QPainter p(&img);
  setupPainter(p);
  const QRectF pill(1.5, 2.5, 283, 40);
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(0, 0, 0, 14));
  p.drawRoundedRect(pill.translated(0, 1.5), 20, 20);
  p.setBrush(QColor(0xF8, 0xF8, 0xF8));  // the search box's own background
  p.setPen(QPen(QColor(0xBF, 0xCA, 0xD6), 1.2));
  p.drawRoundedRect(pill, 20, 20);
  p.setPen(QPen(kHairline, 1));
  p.drawLine(QPointF(246.5, 12), QPointF(246.5, 33));
  // magnifier under the 24 x 32 search label at 248,8
  const QPointF lens(258.5, 21);
  p.setPen(QPen(kAccent, 2.2));
  p.setBrush(Qt::NoBrush);
  p.drawEllipse(lens, 6.5, 6.5);
  p.setPen(QPen(kAccent, 3, Qt::SolidLine, Qt::RoundCap));
  p.drawLine(lens + QPointF(4.9, 4.9), lens + QPointF(9.5, 9.5));
  return img;
}

QImage makeJoinGroup() {
  QImage img(90, 22, QImage::Format_ARGB32);
  img.fill(Qt::transparent);
  QPainter p(&img);
  setupPainter(p);
  QLinearGradient g(0, 0, 0, 22);
  g.setColorAt(0, QColor(0x3C, 0xB8, 0xF2));
  g.setColorAt(1, QColor(0x1E, 0x8C, 0xE0));
  p.setPen(QPen(QColor(0x17, 0x76, 0xC4), 1));
  p.setBrush(g);
  p.drawRoundedRect(QRectF(0.5, 0.5, 89, 21), 10.5, 10.5);
  // two heads and shoulders
  p.setPen(Qt::NoPen);
  p.setBrush(Qt::white);
  p.drawEllipse(QPointF(13, 8.2), 2.7, 2.7);
  p.drawChord(QRectF(8.5, 11.5, 9, 9), 0, 180 * 16);
  p.setBrush(QColor(255, 255, 255, 170));
  p.drawEllipse(QPointF(19.5, 9.2), 2.2, 2.2);
  p.drawChord(QRectF(16.5, 12.2, 7, 7), 0, 180 * 16);
  p.setFont(font(12, true));
  p.setPen(Qt::white);
  p.drawText(QRectF(27, 0, 60, 22), Qt::AlignCenter, QString::fromUtf8("一键加群"));
  return img;
}

void drawFolder(QPainter& p, const QRectF& r) {
  const qreal w = r.width(), h = r.height();
  const qreal radius = w * 0.05;
  // back panel with its tab
  QPainterPath back;
  back.moveTo(r.left(), r.top() + radius);
  back.quadTo(r.left(), r.top(), r.left() + radius, r.top());
  back.lineTo(r.left() + w * 0.36, r.top());
  back.lineTo(r.left() + w * 0.44, r.top() + h * 0.11);
  back.lineTo(r.right() - radius, r.top() + h * 0.11);
  back.quadTo(r.right(), r.top() + h * 0.11, r.right(), r.top() + h * 0.11 + radius);
  back.lineTo(r.right(), r.bottom() - radius);
  back.lineTo(r.left(), r.bottom() - radius);
  back.closeSubpath();
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(0xE9, 0x9E, 0x1C));
  p.drawPath(back);
  // a sheet of paper peeking out
  p.setBrush(QColor(0xFD, 0xFD, 0xFB));
  p.drawRoundedRect(QRectF(r.left() + w * 0.08, r.top() + h * 0.17, w * 0.84, h * 0.4), w * 0.02, w * 0.02);
  // front panel
  QLinearGradient g(0, r.top() + h * 0.25, 0, r.bottom());
  g.setColorAt(0, QColor(0xFF, 0xD6, 0x66));
  g.setColorAt(1, QColor(0xF8, 0xB1, 0x2C));
  p.setBrush(g);
  p.drawRoundedRect(QRectF(r.left(), r.top() + h * 0.27, w, h * 0.73), radius, radius);
  p.setBrush(QColor(255, 255, 255, 70));
  p.drawRoundedRect(QRectF(r.left() + w * 0.03, r.top() + h * 0.3, w * 0.94, h * 0.05), h * 0.025, h * 0.025);
}

QImage makeFolderIcon() {
  QImage img(1024, 849, QImage::Format_RGB32);
  img.fill(Qt::white);
  QPainter p(&img);
  setupPainter(p);
  drawFolder(p, QRectF(64, 72, 896, 705));
  return img;
}

QImage makeChangeFolderIcon() {
  QImage img(1024, 1024, QImage::Format_RGB32);
  img.fill(Qt::white);
  QPainter p(&img);
  setupPainter(p);
  drawFolder(p, QRectF(48, 150, 800, 640));
  // badge with two circling arrows: "move to another folder"
  const QPointF c(720, 720);
  const qreal r = 250;
  p.setPen(QPen(Qt::white, 36));
  p.setBrush(kAccent);
  p.drawEllipse(c, r, r);
  p.setPen(QPen(Qt::white, 44, Qt::SolidLine, Qt::RoundCap));
  p.setBrush(Qt::NoBrush);
  const QRectF ring(c.x() - 130, c.y() - 130, 260, 260);
  p.drawArc(ring, 30 * 16, 130 * 16);
  p.drawArc(ring, 210 * 16, 130 * 16);
  p.setPen(Qt::NoPen);
  p.setBrush(Qt::white);
  auto arrowHead = [&](qreal angleDeg) {
    const qreal a = angleDeg * M_PI / 180;
    const QPointF tip(c.x() + 130 * std::cos(a), c.y() - 130 * std::sin(a));
    // pointing along the circle, counter-clockwise
    const QPointF dir(-std::sin(a), -std::cos(a));
    const QPointF side(std::cos(a), -std::sin(a));
    QPainterPath head;
    head.moveTo(tip + dir * 70);
    head.lineTo(tip + side * 62 - dir * 10);
    head.lineTo(tip - side * 62 - dir * 10);
    head.closeSubpath();
    p.drawPath(head);
  };
  arrowHead(160);
  arrowHead(340);
  return img;
}

void drawSparkle(QPainter& p, const QPointF& c, qreal s, const QColor& colour) {
  QPainterPath star;
  star.moveTo(c.x(), c.y() - s);
  star.quadTo(c.x(), c.y(), c.x() + s, c.y());
  star.quadTo(c.x(), c.y(), c.x(), c.y() + s);
  star.quadTo(c.x(), c.y(), c.x() - s, c.y());
  star.quadTo(c.x(), c.y(), c.x(), c.y() - s);
  p.setPen(Qt::NoPen);
  p.setBrush(colour);
  p.drawPath(star);
}

void sunburst(QPainter& p, const QRectF& area, const QPointF& c, const QColor& a, const QColor& b, int rays) {
  p.fillRect(area, a);
  p.setPen(Qt::NoPen);
  p.setBrush(b);
  const qreal far = std::hypot(area.width(), area.height());
  for (int i = 0; i < rays; i += 2) {
    const qreal a0 = 2 * M_PI * i / rays, a1 = 2 * M_PI * (i + 1) / rays;
    QPolygonF ray;
    ray << c << c + QPointF(far * std::cos(a0), far * std::sin(a0))
        << c + QPointF(far * std::cos(a1), far * std::sin(a1));
    p.drawPolygon(ray);
  }
}

QImage makeDecoration() {
  QImage img(440, 440, QImage::Format_RGB32);
  QPainter p(&img);
  setupPainter(p);
  sunburst(p, img.rect(), QPointF(220, 190), QColor(0xFF, 0xF4, 0xD6), QColor(0xFF, 0xEA, 0xB3), 28);
  QRadialGradient glow(220, 190, 230);
  glow.setColorAt(0, QColor(255, 255, 255, 180));
  glow.setColorAt(1, QColor(255, 255, 255, 0));
  p.fillRect(img.rect(), glow);
  drawMascot(p, QRectF(95, 55, 250, 250), Eyes::Happy);
  // a little heart it is holding up
  QPainterPath heart;
  const QPointF h(318, 112);
  heart.moveTo(h + QPointF(0, 18));
  heart.cubicTo(h + QPointF(-34, -6), h + QPointF(-16, -34), h + QPointF(0, -14));
  heart.cubicTo(h + QPointF(16, -34), h + QPointF(34, -6), h + QPointF(0, 18));
  p.setPen(QPen(QColor(0x9B, 0x1C, 0x2E), 3));
  p.setBrush(QColor(0xFF, 0x4D, 0x6D));
  p.drawPath(heart);
  drawSparkle(p, QPointF(84, 92), 16, kWarm);
  drawSparkle(p, QPointF(362, 240), 11, kAccent);
  drawSparkle(p, QPointF(70, 250), 9, QColor(0xFF, 0x7A, 0x6B));
  outlinedText(p, QRectF(0, 312, 440, 80), QString::fromUtf8("存图快乐"), font(66, true), Qt::white,
               QColor(0x2A, 0x1A, 0x08), 10);
  // still legible when the picture is shown at 200 x 200
  p.setFont(font(25));
  p.setPen(QColor(0x8A, 0x5A, 0x1E));
  p.drawText(QRectF(0, 392, 440, 36), Qt::AlignCenter, QString::fromUtf8("左键复制 · 右键收藏"));
  return img;
}

// The tip card: its shadow, the white card and the accent band at its top with the thanks.
void drawTipCard(QPainter& p, const QRectF& card) {
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(0x8A, 0x4B, 0x12, 30));
  p.drawRoundedRect(card.translated(0, 10), 40, 40);
  p.setBrush(Qt::white);
  p.drawRoundedRect(card, 40, 40);
  QLinearGradient band(card.topLeft(), card.topRight());
  band.setColorAt(0, kAccent);
  band.setColorAt(1, kAccentDeep);
  QPainterPath top;
  top.setFillRule(Qt::WindingFill);
  top.addRoundedRect(QRectF(card.left(), card.top(), card.width(), 200), 40, 40);
  top.addRect(QRectF(card.left(), card.top() + 150, card.width(), 50));
  p.setBrush(band);
  p.drawPath(top);
  p.setFont(font(76, true));
  p.setPen(Qt::white);
  p.drawText(QRectF(card.left(), card.top() + 24, card.width(), 110), Qt::AlignCenter,
             QString::fromUtf8("谢谢你的支持！"));
  p.setFont(font(32));
  p.setPen(QColor(255, 255, 255, 220));
  p.drawText(QRectF(card.left(), card.top() + 124, card.width(), 50), Qt::AlignCenter,
             QString::fromUtf8("Memwick 斗图助手"));
}

// A steaming cup of coffee in `cup`.
void drawCup(QPainter& p, const QRectF& cup) {
  p.setPen(QPen(QColor(0x6B, 0x45, 0x14), 6));
  p.setBrush(QColor(0xFF, 0xFF, 0xFF));
  p.drawRoundedRect(cup, 18, 18);
  p.setBrush(Qt::NoBrush);
  p.drawArc(QRectF(cup.right() - 20, cup.top() + 22, 56, 56), -90 * 16, 180 * 16);
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(0x9C, 0x5B, 0x2A));
  p.drawRoundedRect(QRectF(cup.left() + 10, cup.top() + 10, cup.width() - 20, 24), 10, 10);
  p.setPen(QPen(QColor(0xD8, 0xB9, 0x94), 6, Qt::SolidLine, Qt::RoundCap));
  for (int i = 0; i < 3; ++i) {
    const qreal x = cup.left() + 35 + i * 30;
    QPainterPath steam;
    steam.moveTo(x, cup.top() - 12);
    steam.cubicTo(x - 14, cup.top() - 34, x + 14, cup.top() - 50, x, cup.top() - 72);
    p.drawPath(steam);
  }
}

QImage makeTip() {
  QImage img(960, 851, QImage::Format_RGB32);
  QPainter p(&img);
  setupPainter(p);
  QLinearGradient bg(0, 0, 0, 851);
  bg.setColorAt(0, QColor(0xFF, 0xF6, 0xE3));
  bg.setColorAt(1, QColor(0xFF, 0xE3, 0xC2));
  p.fillRect(img.rect(), bg);
  // a card in the middle
  const QRectF card(60, 56, 840, 739);
  drawTipCard(p, card);
  drawMascot(p, QRectF(130, 300, 250, 250), Eyes::Happy);
  drawCup(p, QRectF(400, 420, 130, 120));

  p.setPen(kInk);
  p.setFont(font(40, true));
  p.drawText(QRectF(612, 320, 300, 60), Qt::AlignLeft | Qt::AlignVCenter, QString::fromUtf8("请作者"));
  p.drawText(QRectF(612, 384, 300, 60), Qt::AlignLeft | Qt::AlignVCenter, QString::fromUtf8("喝杯咖啡"));
  p.setFont(font(28));
  p.setPen(QColor(0x5C, 0x6B, 0x7A));
  p.drawText(QRectF(612, 460, 300, 44), Qt::AlignLeft | Qt::AlignVCenter, QString::fromUtf8("永久免费"));
  p.drawText(QRectF(612, 504, 300, 44), Qt::AlignLeft | Qt::AlignVCenter, QString::fromUtf8("没有广告"));

  p.setPen(QPen(kHairline, 3));
  p.drawLine(QPointF(card.left() + 60, 612), QPointF(card.right() - 60, 612));
  p.setFont(font(34));
  p.setPen(kInk);
  p.drawText(QRectF(card.left(), 630, card.width(), 60), Qt::AlignCenter,
             QString::fromUtf8("你的每一份鼓励，都是我们更新的动力"));
  p.setFont(font(26));
  p.setPen(QColor(0x9A, 0xA6, 0xB2));
  p.drawText(QRectF(card.left(), 705, card.width(), 50), Qt::AlignCenter,
             QString::fromUtf8("点击任意处关闭"));
  drawSparkle(p, QPointF(120, 280), 22, kWarm);
  drawSparkle(p, QPointF(850, 300), 16, kAccent);
  drawSparkle(p, QPointF(540, 590), 12, QColor(0xFF, 0x7A, 0x6B));
  return img;
}

// The marker left in the favourites folder: the mascot holding a sign, blinking now and then.
QImage makeMarkerFrame(Eyes eyes, qreal wobble) {
  QImage img(160, 160, QImage::Format_RGB32);
  img.fill(QColor(0xFF, 0xF8, 0xE6));
  QPainter p(&img);
  setupPainter(p);
  drawMascot(p, QRectF(36, 2, 88, 88), eyes, true, true);
  p.translate(80, 118);
  p.rotate(wobble);
  const QRectF sign(-70, -30, 140, 62);
  p.setBrush(QColor(0xE8, 0x3E, 0x3E));
  p.setPen(QPen(QColor(0x8E, 0x1F, 0x1F), 2.5));
  p.drawRoundedRect(sign, 10, 10);
  p.setPen(Qt::white);
  p.setFont(font(19, true));
  p.drawText(QRectF(sign.left(), sign.top() + 3, sign.width(), 28), Qt::AlignCenter,
             QString::fromUtf8("请不要删除"));
  p.drawText(QRectF(sign.left(), sign.top() + 30, sign.width(), 28), Qt::AlignCenter,
             QString::fromUtf8("本文件"));
  // the mascot's hands gripping the sign's top edge
  p.setPen(QPen(QColor(0x6B, 0x45, 0x14), 2));
  p.setBrush(QColor(0xFF, 0xD2, 0x55));
  p.drawEllipse(QPointF(-46, -30), 8, 7);
  p.drawEllipse(QPointF(46, -30), 8, 7);
  return img;
}

struct GifWriter {
  std::string bytes;
  static int write(GifFileType* gif, const GifByteType* data, int n) {
    static_cast<GifWriter*>(gif->UserData)->bytes.append(reinterpret_cast<const char*>(data), std::size_t(n));
    return n;
  }
};

bool writeAnimatedGif(const QString& path, const std::vector<QImage>& frames,
                      const std::vector<int>& delaysCs) {
  // One palette for all frames: quantise them stacked as one picture.
  const int w = frames[0].width(), h = frames[0].height();
  QImage sheet(w, h * int(frames.size()), QImage::Format_RGB32);
  {
    QPainter p(&sheet);
    for (std::size_t i = 0; i < frames.size(); ++i) p.drawImage(0, h * int(i), frames[i]);
  }
  const QImage indexed =
      sheet.convertToFormat(QImage::Format_Indexed8, Qt::ThresholdDither | Qt::AvoidDither);
  const QList<QRgb> table = indexed.colorTable();
  int mapSize = 2;
  while (mapSize < table.size()) mapSize *= 2;
  std::vector<GifColorType> colours(std::size_t(mapSize), GifColorType{0, 0, 0});
  for (int i = 0; i < table.size(); ++i)
    colours[std::size_t(i)] = GifColorType{GifByteType(qRed(table[i])), GifByteType(qGreen(table[i])),
                                           GifByteType(qBlue(table[i]))};

  GifWriter out;
  int error = 0;
  auto close = [](GifFileType* g) {
    int e = 0;
    EGifCloseFile(g, &e);
  };
  std::unique_ptr<GifFileType, decltype(close)> gif(EGifOpen(&out, &GifWriter::write, &error), close);
  if (!gif) return false;
  EGifSetGifVersion(gif.get(), true);
  ColorMapObject* map = GifMakeMapObject(mapSize, colours.data());
  const bool screenOk = EGifPutScreenDesc(gif.get(), w, h, 8, 0, map) != GIF_ERROR;
  GifFreeMapObject(map);
  if (!screenOk) return false;
  // loop forever (NETSCAPE2.0 application extension)
  static const GifByteType loopId[] = {'N', 'E', 'T', 'S', 'C', 'A', 'P', 'E', '2', '.', '0'};
  static const GifByteType loopData[] = {1, 0, 0};
  if (EGifPutExtensionLeader(gif.get(), APPLICATION_EXT_FUNC_CODE) == GIF_ERROR ||
      EGifPutExtensionBlock(gif.get(), sizeof loopId, loopId) == GIF_ERROR ||
      EGifPutExtensionBlock(gif.get(), sizeof loopData, loopData) == GIF_ERROR ||
      EGifPutExtensionTrailer(gif.get()) == GIF_ERROR)
    return false;
  for (std::size_t i = 0; i < frames.size(); ++i) {
    GraphicsControlBlock gcb{};
    gcb.DisposalMode = DISPOSE_DO_NOT;
    gcb.DelayTime = delaysCs[i];
    gcb.TransparentColor = NO_TRANSPARENT_COLOR;
    GifByteType ext[4];
    const std::size_t len = EGifGCBToExtension(&gcb, ext);
    if (EGifPutExtension(gif.get(), GRAPHICS_EXT_FUNC_CODE, int(len), ext) == GIF_ERROR ||
        EGifPutImageDesc(gif.get(), 0, 0, w, h, false, nullptr) == GIF_ERROR)
      return false;
    for (int y = 0; y < h; ++y) {
      const uchar* row = indexed.constScanLine(h * int(i) + y);
      if (EGifPutLine(gif.get(), const_cast<GifPixelType*>(row), w) == GIF_ERROR) return false;
    }
  }
  gif.reset();
  QFile f(path);
  return f.open(QIODevice::WriteOnly) &&
         f.write(out.bytes.data(), qint64(out.bytes.size())) == qint64(out.bytes.size());
}

bool save(const QImage& img, const QString& dir, const char* name, int quality = -1) {
  const QString path = dir + "/" + name;
  const bool ok = img.save(path, nullptr, quality);
  std::printf("%s %s %dx%d\n", ok ? "wrote" : "FAILED", qPrintable(path), img.width(), img.height());
  return ok;
}

// --- the desktop icon: the title strip's badge with a margin of a sixteenth on every side ---

const int kIconSizes[] = {16, 24, 32, 48, 64, 128, 256, 512};
constexpr int kSvgSize = 512;

QRectF iconBadge(qreal size) {
  const qreal margin = size / 16;
  return QRectF(margin, margin, size - 2 * margin, size - 2 * margin);
}

QImage makeIcon(int size) {
  QImage img(size, size, QImage::Format_ARGB32_Premultiplied);
  img.fill(Qt::transparent);
  QPainter p(&img);
  setupPainter(p);
  // below 64 pixels the lines grow, to a pixel or more at 16
  drawBadge(p, iconBadge(size), std::max(1.0, 64.0 / size));
  return img;
}

bool writeIcons(const QString& dir) {
  const QString name = QStringLiteral(MW_APP_ID);
  bool ok = true;
  for (int size : kIconSizes) {
    const QString folder = QStringLiteral("%1/hicolor/%2x%2/apps").arg(dir).arg(size);
    QDir().mkpath(folder);
    ok &= save(makeIcon(size), folder, qPrintable(name + ".png"));
  }
  const QString folder = dir + "/hicolor/scalable/apps";
  QDir().mkpath(folder);
  const QString path = folder + "/" + name + ".svg";
  QSvgGenerator svg;
  svg.setFileName(path);
  svg.setTitle(QStringLiteral("Memwick"));
  svg.setDescription(QStringLiteral("The Memwick badge"));
  svg.setSize(QSize(kSvgSize, kSvgSize));
  svg.setViewBox(QRect(0, 0, kSvgSize, kSvgSize));
  svg.setResolution(96);  // so that the size in millimetres reads back as 512 pixels
  QPainter p;
  const bool svgOk = p.begin(&svg);
  if (svgOk) {
    setupPainter(p);
    drawBadge(p, iconBadge(kSvgSize));
    p.end();
  }
  std::printf("%s %s\n", svgOk ? "wrote" : "FAILED", qPrintable(path));
  return ok && svgOk;
}

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  if (argc == 3 && std::strcmp(argv[1], "--icons") == 0)
    return writeIcons(QString::fromLocal8Bit(argv[2])) ? 0 : 1;
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_artwork OUTDIR | make_artwork --icons ICONDIR\n");
    return 2;
  }
  if (!QFontDatabase::families().contains(kFontFamily)) {
    std::fprintf(stderr, "font %s is not installed (fonts-wqy-microhei)\n", qPrintable(kFontFamily));
    return 1;
  }
  const QString dir = QString::fromLocal8Bit(argv[1]);
  QDir().mkpath(dir);
  bool ok = true;
  ok &= save(makeSkin(0), dir, "skin_home.png");
  ok &= save(makeSkin(1), dir, "skin_edit.png");
  ok &= save(makeSkin(2), dir, "skin_favourites.png");
  ok &= save(makeChrome(ChromeHot::None), dir, "chrome_normal.png");
  ok &= save(makeChrome(ChromeHot::Close), dir, "chrome_close_hot.png");
  ok &= save(makeChrome(ChromeHot::Minimise), dir, "chrome_minimise_hot.png");
  ok &= save(makeSearchFrame(), dir, "search_frame.png");
  ok &= save(makeJoinGroup(), dir, "join_group.png");
  ok &= save(makeFolderIcon(), dir, "folder_icon.jpg", 90);
  ok &= save(makeChangeFolderIcon(), dir, "change_folder_icon.jpg", 90);
  ok &= save(makeDecoration(), dir, "decoration.jpg", 90);
  ok &= save(makeTip(), dir, "tip.jpg", 88);
  const bool gifOk = writeAnimatedGif(dir + "/marker.gif",
                                      {makeMarkerFrame(Eyes::Open, -3), makeMarkerFrame(Eyes::Open, 3),
                                       makeMarkerFrame(Eyes::Closed, 3), makeMarkerFrame(Eyes::Open, -3)},
                                      {60, 60, 12, 60});
  std::printf("%s %s/marker.gif 160x160\n", gifOk ? "wrote" : "FAILED", qPrintable(dir));
  return ok && gifOk ? 0 : 1;
}
