#pragma once
// Finding where captions stand before the engine reads them: the colours thin strokes are drawn
// in, a mask of each, and the rows (and columns) of character-sized marks on a mask.
#include <QImage>
#include <QRect>
#include <vector>

namespace mw::library {

// Masks of the colours that most of the picture's thin strokes are drawn in, the commonest
// first, at most `most`: 8-bit grey, 0 where the colour is and 255 elsewhere (dark text on a
// light page, as the engine reads best). `rgb` is RGB888.
std::vector<QImage> inkMasks(const QImage& rgb, int most);

// What the ink of `mask` encloses, as ink of its own: the parts without ink that cannot be
// reached from the picture's edge without crossing ink (4-connected), such as the fill of text
// drawn with an outline.
QImage enclosed(const QImage& mask);

// A line of marks on a mask: a row of them, or a column written top to bottom.
struct InkLine {
  QRect box;
  int marks = 0;
  bool column = false;
  int mask = -1;  // which of the masks it is on, for those who keep several
  // How much it rises or falls along its length (a row: pixels down for each one to the right;
  // 0 when about level), and how thick it is once levelled.
  double slope = 0;
  int size = 0;
  // How likely it is to be text: many marks, and large ones (specks and scraps of lines are small).
  long weight() const { return long(marks) * (column ? box.width() : box.height()); }
};
// The lines of character-sized marks on `mask` (0: ink), the weightiest first, at most `most`.
std::vector<InkLine> inkLines(const QImage& mask, int most);

// `grey` turned by the angle of `slope` the other way (see InkLine::slope), on white, so that a
// tilted line reads level.
QImage levelled(const QImage& grey, double slope);

// The characters of a column on `mask` (within `column`) set side by side, top first, on white:
// the engine reads them as one line.
QImage columnAsRow(const QImage& mask, const QRect& column);

}  // namespace mw::library
