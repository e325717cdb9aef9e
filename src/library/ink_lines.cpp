#include "library/ink_lines.h"

#include <QPainter>
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <numeric>

namespace mw::library {
namespace {

// Channels further apart than this are another colour: a stroke stands out of what is around it.
constexpr int kApart = 80;
// Pixels this close to an ink colour (in every channel) are of that ink: room for blur and for
// JPEG's shifts.
constexpr int kSameInk = 56;
// More marks than this on a mask are noise, not text.
constexpr std::size_t kMostMarks = 5000;

int distance(const uchar* a, const uchar* b) {
  return std::max({std::abs(a[0] - b[0]), std::abs(a[1] - b[1]), std::abs(a[2] - b[2])});
}

struct Mark {
  QRect box;
  int pixels = 0;
};

// The 8-connected marks of ink on `mask`.
std::vector<Mark> marksOf(const QImage& mask) {
  const int w = mask.width(), h = mask.height();
  std::vector<int> label(std::size_t(w) * std::size_t(h), -1);
  std::vector<Mark> marks;
  std::vector<int> stack;
  for (int y = 0; y < h; ++y) {
    const uchar* row = mask.constScanLine(y);
    for (int x = 0; x < w; ++x) {
      const std::size_t at = std::size_t(y) * std::size_t(w) + std::size_t(x);
      if (row[x] != 0 || label[at] >= 0) continue;
      const int id = int(marks.size());
      int left = x, right = x, top = y, bottom = y, pixels = 0;
      label[at] = id;
      stack.assign(1, int(at));
      while (!stack.empty()) {
        const int p = stack.back();
        stack.pop_back();
        const int px = p % w, py = p / w;
        ++pixels;
        left = std::min(left, px);
        right = std::max(right, px);
        top = std::min(top, py);
        bottom = std::max(bottom, py);
        for (int ny = std::max(0, py - 1); ny <= std::min(h - 1, py + 1); ++ny) {
          const uchar* near = mask.constScanLine(ny);
          for (int nx = std::max(0, px - 1); nx <= std::min(w - 1, px + 1); ++nx) {
            const std::size_t n = std::size_t(ny) * std::size_t(w) + std::size_t(nx);
            if (near[nx] == 0 && label[n] < 0) {
              label[n] = id;
              stack.push_back(int(n));
            }
          }
        }
      }
      marks.push_back({QRect(QPoint(left, top), QPoint(right, bottom)), pixels});
    }
  }
  return marks;
}

// Whether a mark may be (part of) a character: not a speck, not a solid shape, not a long line,
// not a part of the picture as large as a caption could never be.
bool characterLike(const Mark& m, const QSize& picture) {
  const int lo = std::min(m.box.width(), m.box.height()), hi = std::max(m.box.width(), m.box.height());
  const double fill = double(m.pixels) / (double(m.box.width()) * m.box.height());
  if (hi < 4 || m.box.width() > picture.width() / 2 || m.box.height() > picture.height() / 3) return false;
  if (lo >= 10 && fill > 0.7) return false;
  if (hi > 40 && (hi > 12 * lo || fill < 0.06)) return false;
  return true;
}

// Marks whose boxes touch or overlap taken as one: the parts of a character (its radicals, a
// stroke apart) are closer to each other than characters one under the other are.
std::vector<Mark> characters(std::vector<Mark> marks) {
  std::sort(marks.begin(), marks.end(),
            [](const Mark& a, const Mark& b) { return a.box.left() < b.box.left(); });
  for (std::size_t i = 0; i < marks.size(); ++i) {
    for (bool grew = true; grew;) {
      grew = false;
      const QRect near = marks[i].box.adjusted(-2, -2, 2, 2);
      for (std::size_t j = i + 1; j < marks.size() && marks[j].box.left() <= near.right(); ++j) {
        if (!near.intersects(marks[j].box)) continue;
        marks[i].box |= marks[j].box;
        marks[i].pixels += marks[j].pixels;
        marks.erase(marks.begin() + std::ptrdiff_t(j));
        grew = true;
        break;
      }
    }
  }
  return marks;
}

// Marks joined into lines: side by side and sharing most of their height (`column`: one under
// the other, sharing most of their width). Each group of mark indices is one line.
std::vector<std::vector<int>> joined(const std::vector<Mark>& marks, bool column) {
  const auto along = [column](const QRect& r) {
    return column ? std::pair(r.top(), r.bottom()) : std::pair(r.left(), r.right());
  };
  const auto across = [column](const QRect& r) {
    return column ? std::pair(r.left(), r.right()) : std::pair(r.top(), r.bottom());
  };
  std::vector<int> order(marks.size());
  std::iota(order.begin(), order.end(), 0);
  std::sort(order.begin(), order.end(), [&](int a, int b) {
    return along(marks[std::size_t(a)].box).first < along(marks[std::size_t(b)].box).first;
  });
  // Characters one under the other stand further apart than side by side (in tenths of a mark).
  const int apart = column ? 8 : 6;
  int largest = 0;
  for (const Mark& m : marks) largest = std::max({largest, m.box.width(), m.box.height()});
  std::vector<int> parent(marks.size());
  std::iota(parent.begin(), parent.end(), 0);
  const auto root = [&](int i) {
    while (parent[std::size_t(i)] != i)
      i = parent[std::size_t(i)] = parent[std::size_t(parent[std::size_t(i)])];
    return i;
  };
  for (std::size_t i = 0; i < order.size(); ++i) {
    const QRect& a = marks[std::size_t(order[i])].box;
    const auto [aStart, aEnd] = along(a);
    const auto [aLow, aHigh] = across(a);
    for (std::size_t j = i + 1; j < order.size(); ++j) {
      const QRect& b = marks[std::size_t(order[j])].box;
      const auto [bStart, bEnd] = along(b);
      if ((bStart - aEnd) * 10 > largest * apart) break;
      const auto [bLow, bHigh] = across(b);
      const int aSize = aHigh - aLow + 1, bSize = bHigh - bLow + 1;
      const int shared = std::min(aHigh, bHigh) - std::max(aLow, bLow) + 1;
      // The gap allowed goes by the larger mark either way: a radical is narrow, its character not.
      const int larger = std::max({a.width(), a.height(), b.width(), b.height()});
      if (shared * 2 < std::min(aSize, bSize) || (bStart - aEnd) * 10 > larger * apart) continue;
      // A caption's characters are of about one size; the shapes and lines about it need not be.
      if (larger > 4 * std::min(std::max(a.width(), a.height()), std::max(b.width(), b.height()))) continue;
      parent[std::size_t(root(order[i]))] = root(order[j]);
    }
  }
  std::vector<std::vector<int>> groups(marks.size());
  for (std::size_t i = 0; i < marks.size(); ++i) groups[std::size_t(root(int(i)))].push_back(int(i));
  std::erase_if(groups, [](const std::vector<int>& g) { return g.size() < 2; });
  return groups;
}

// The line a group of marks makes, when it looks like one: as long as two characters at least,
// as high as text, neither empty nor solid, and its marks mostly of its height.
bool asLine(const std::vector<Mark>& marks, const std::vector<int>& group, bool column, const QSize& picture,
            InkLine& line) {
  QRect box;
  long long ink = 0;
  std::vector<int> sizes, thickness;
  for (int i : group) {
    const Mark& m = marks[std::size_t(i)];
    box = box.isNull() ? m.box : box.united(m.box);
    ink += m.pixels;
    sizes.push_back(std::max(m.box.width(), m.box.height()));
    thickness.push_back(column ? m.box.width() : m.box.height());
  }
  const int length = column ? box.height() : box.width(), size = column ? box.width() : box.height();
  if (size < 8 || size > (column ? picture.width() : picture.height()) / 3 || length * 10 < size * 16)
    return false;
  const double density = double(ink) / (double(box.width()) * box.height());
  if (density < 0.08 || density > 0.65) return false;
  // A quarter of its marks at least half its height (width, for a column): characters, not specks
  // along a tall shape.
  const auto quarter = sizes.begin() + std::ptrdiff_t(sizes.size() * 3 / 4);
  std::nth_element(sizes.begin(), quarter, sizes.end());
  if (*quarter * 2 < size) return false;
  line = {box, int(group.size()), column};
  const auto thick = thickness.begin() + std::ptrdiff_t(thickness.size() * 3 / 4);
  std::nth_element(thickness.begin(), thick, thickness.end());
  // The slope of the line through the centres of its marks as thick as characters (least squares).
  double n = 0, sumAlong = 0, sumAcross = 0, sumAlong2 = 0, sumBoth = 0;
  for (int i : group) {
    const QRect& b = marks[std::size_t(i)].box;
    if ((column ? b.width() : b.height()) * 2 < *thick) continue;
    const double along = column ? b.center().y() : b.center().x();
    const double across = column ? b.center().x() : b.center().y();
    n += 1, sumAlong += along, sumAcross += across, sumAlong2 += along * along, sumBoth += along * across;
  }
  const double spread = n * sumAlong2 - sumAlong * sumAlong;
  if (n >= 3 && spread > 0)
    line.slope = std::clamp((n * sumBoth - sumAlong * sumAcross) / spread, -0.16, 0.16);
  if (std::abs(line.slope) < 0.02) line.slope = 0;  // a degree or so: the engine reads it as it is
  line.size = std::max(*thick, size - int(std::abs(line.slope) * length));
  return true;
}

// `mask` without ink less than two pixels thick (an opening by a 2x2 square): the anti-aliased
// edges of other things that take on the ink's colour here and there, and would join its
// characters into one mark with them.
QImage opened(const QImage& mask) {
  const int w = mask.width(), h = mask.height();
  QImage eroded(mask.size(), QImage::Format_Grayscale8);
  eroded.fill(255);
  for (int y = 0; y + 1 < h; ++y) {
    const uchar* a = mask.constScanLine(y);
    const uchar* b = mask.constScanLine(y + 1);
    uchar* out = eroded.scanLine(y);
    for (int x = 0; x + 1 < w; ++x) out[x] = (a[x] | a[x + 1] | b[x] | b[x + 1]) ? 255 : 0;
  }
  QImage out(mask.size(), QImage::Format_Grayscale8);
  for (int y = 0; y < h; ++y) {
    const uchar* a = eroded.constScanLine(y);
    const uchar* b = eroded.constScanLine(std::max(0, y - 1));
    uchar* o = out.scanLine(y);
    o[0] = a[0] & b[0];
    for (int x = 1; x < w; ++x) o[x] = a[x] & a[x - 1] & b[x] & b[x - 1];
  }
  return out;
}

}  // namespace

std::vector<QImage> inkMasks(const QImage& rgb, int most) {
  const int w = rgb.width(), h = rgb.height();
  // The colours of pixels on thin strokes, those that differ from the pixels a few steps away on
  // both sides (across or up and down), counted on every other row and column.
  struct Bin {
    long long count = 0, r = 0, g = 0, b = 0;
  };
  std::vector<Bin> bins(4096);
  long long thin = 0;
  const qsizetype stride = rgb.bytesPerLine();
  for (int y = 11; y < h - 11; y += 2) {
    const uchar* row = rgb.constScanLine(y);
    for (int x = 11; x < w - 11; x += 2) {
      const uchar* p = row + 3 * x;
      bool stroke = false;
      for (int step : {2, 4, 7, 11}) {
        stroke = stroke || (distance(p, p - 3 * step) > kApart && distance(p, p + 3 * step) > kApart) ||
                 (distance(p, p - step * stride) > kApart && distance(p, p + step * stride) > kApart);
      }
      if (!stroke) continue;
      Bin& bin = bins[std::size_t((p[0] >> 4) << 8 | (p[1] >> 4) << 4 | p[2] >> 4)];
      ++bin.count;
      bin.r += p[0];
      bin.g += p[1];
      bin.b += p[2];
      ++thin;
    }
  }
  // The commonest colours, each with those close to it: one ink spreads over neighbouring bins.
  const auto near = [&](int bin, auto each) {
    const int r = bin >> 8, g = bin >> 4 & 15, b = bin & 15;
    for (int i = std::max(0, r - 1); i <= std::min(15, r + 1); ++i)
      for (int j = std::max(0, g - 1); j <= std::min(15, g + 1); ++j)
        for (int k = std::max(0, b - 1); k <= std::min(15, b + 1); ++k)
          each(bins[std::size_t(i << 8 | j << 4 | k)]);
  };
  std::vector<std::array<uchar, 3>> inks;
  while (int(inks.size()) < most) {
    long long best = 0;
    int top = 0;
    for (int bin = 0; bin < 4096; ++bin) {
      if (bins[std::size_t(bin)].count == 0) continue;
      long long around = 0;
      near(bin, [&](const Bin& n) { around += n.count; });
      if (around > best) best = around, top = bin;
    }
    if (best < std::max(30LL, thin / 50)) break;
    Bin sum;
    near(top, [&](const Bin& n) { sum.count += n.count, sum.r += n.r, sum.g += n.g, sum.b += n.b; });
    const std::array<uchar, 3> ink{uchar(sum.r / sum.count), uchar(sum.g / sum.count),
                                   uchar(sum.b / sum.count)};
    for (Bin& bin : bins) {
      if (bin.count == 0) continue;
      const std::array<uchar, 3> mean{uchar(bin.r / bin.count), uchar(bin.g / bin.count),
                                      uchar(bin.b / bin.count)};
      if (distance(mean.data(), ink.data()) <= kSameInk) bin = {};
    }
    inks.push_back(ink);
  }
  std::vector<QImage> masks;
  for (const auto& ink : inks) {
    QImage mask(rgb.size(), QImage::Format_Grayscale8);
    for (int y = 0; y < h; ++y) {
      const uchar* in = rgb.constScanLine(y);
      uchar* out = mask.scanLine(y);
      for (int x = 0; x < w; ++x) out[x] = distance(in + 3 * x, ink.data()) <= kSameInk ? 0 : 255;
    }
    masks.push_back(std::move(mask));
  }
  return masks;
}

QImage enclosed(const QImage& mask) {
  const int w = mask.width(), h = mask.height();
  // 0: ink, 1: reached from the edge, 2: not reached (yet).
  std::vector<uchar> state(std::size_t(w) * std::size_t(h));
  for (int y = 0; y < h; ++y) {
    const uchar* row = mask.constScanLine(y);
    for (int x = 0; x < w; ++x) state[std::size_t(y) * std::size_t(w) + std::size_t(x)] = row[x] == 0 ? 0 : 2;
  }
  std::vector<int> stack;
  const auto reach = [&](int x, int y) {
    const std::size_t at = std::size_t(y) * std::size_t(w) + std::size_t(x);
    if (state[at] != 2) return;
    state[at] = 1;
    stack.push_back(int(at));
  };
  for (int x = 0; x < w; ++x) reach(x, 0), reach(x, h - 1);
  for (int y = 0; y < h; ++y) reach(0, y), reach(w - 1, y);
  while (!stack.empty()) {
    const int p = stack.back();
    stack.pop_back();
    const int x = p % w, y = p / w;
    if (x > 0) reach(x - 1, y);
    if (x + 1 < w) reach(x + 1, y);
    if (y > 0) reach(x, y - 1);
    if (y + 1 < h) reach(x, y + 1);
  }
  QImage out(mask.size(), QImage::Format_Grayscale8);
  for (int y = 0; y < h; ++y) {
    uchar* row = out.scanLine(y);
    for (int x = 0; x < w; ++x)
      row[x] = state[std::size_t(y) * std::size_t(w) + std::size_t(x)] == 2 ? 0 : 255;
  }
  return out;
}

std::vector<InkLine> inkLines(const QImage& mask, int most) {
  std::vector<Mark> marks = marksOf(opened(mask));
  std::erase_if(marks, [&](const Mark& m) { return !characterLike(m, mask.size()); });
  // A mask of noise (a photo's grain in the ink's colour) holds no caption worth the time.
  if (marks.size() > kMostMarks) return {};
  marks = characters(std::move(marks));
  std::erase_if(marks, [&](const Mark& m) {
    return m.box.width() > mask.width() / 2 || m.box.height() > mask.height() / 3;
  });
  std::vector<InkLine> rows, columns;
  std::vector<int> rowOf(marks.size(), -1);  // the row each mark is on
  for (const auto& group : joined(marks, false)) {
    InkLine line;
    if (!asLine(marks, group, false, mask.size(), line)) continue;
    for (int i : group) rowOf[std::size_t(i)] = int(rows.size());
    rows.push_back(line);
  }
  // A column stands where its marks make lines as long as the rows they are on, or longer: two
  // columns side by side make rows too, and a caption of two lines makes short columns.
  std::vector<bool> rowLost(rows.size(), false);
  for (const auto& group : joined(marks, true)) {
    InkLine line;
    if (!asLine(marks, group, true, mask.size(), line)) continue;
    std::vector<int> crossed;
    for (int i : group)
      if (rowOf[std::size_t(i)] >= 0) crossed.push_back(rowOf[std::size_t(i)]);
    if (std::any_of(crossed.begin(), crossed.end(),
                    [&](int r) { return rows[std::size_t(r)].marks > line.marks; }))
      continue;
    // As long either way (two columns of two, or two lines of two): both are read.
    for (int r : crossed)
      rowLost[std::size_t(r)] = rowLost[std::size_t(r)] || rows[std::size_t(r)].marks < line.marks;
    columns.push_back(line);
  }
  std::vector<InkLine> lines;
  for (std::size_t r = 0; r < rows.size(); ++r)
    if (!rowLost[r]) lines.push_back(rows[r]);
  lines.insert(lines.end(), columns.begin(), columns.end());
  std::sort(lines.begin(), lines.end(),
            [](const InkLine& a, const InkLine& b) { return a.weight() > b.weight(); });
  if (lines.size() > std::size_t(std::max(0, most))) lines.resize(std::size_t(std::max(0, most)));
  return lines;
}

QImage levelled(const QImage& grey, double slope) {
  if (slope == 0) return grey;
  QImage turned(grey.size(), QImage::Format_RGB32);
  turned.fill(Qt::white);
  QPainter painter(&turned);
  painter.setRenderHint(QPainter::SmoothPixmapTransform);
  painter.translate(grey.width() / 2.0, grey.height() / 2.0);
  painter.rotate(-std::atan(slope) * 180 / M_PI);
  painter.translate(-grey.width() / 2.0, -grey.height() / 2.0);
  painter.drawImage(0, 0, grey);
  painter.end();
  return turned.convertToFormat(QImage::Format_Grayscale8);
}

QImage columnAsRow(const QImage& mask, const QRect& column) {
  const QRect box = column & mask.rect();
  const int size = box.width();
  if (box.isEmpty()) return {};
  // Runs of rows with ink, taken together into characters about as high as the column is wide.
  std::vector<std::pair<int, int>> cells;
  int runTop = -1;
  for (int y = box.top(); y <= box.bottom() + 1; ++y) {
    bool inked = false;
    if (y <= box.bottom()) {
      const uchar* row = mask.constScanLine(y);
      for (int x = box.left(); x <= box.right() && !inked; ++x) inked = row[x] == 0;
    }
    if (inked && runTop < 0) runTop = y;
    if (inked || runTop < 0) continue;
    if (!cells.empty() && (y - 1 - cells.back().first + 1) * 10 <= size * 12)
      cells.back().second = y - 1;
    else
      cells.push_back({runTop, y - 1});
    runTop = -1;
  }
  const int pad = std::max(2, size / 4), gap = std::max(2, size / 6);
  int height = 0, width = pad;
  for (const auto& [top, bottom] : cells) {
    height = std::max(height, bottom - top + 1);
    width += size + gap;
  }
  QImage row(width + pad, height + 2 * pad, QImage::Format_Grayscale8);
  row.fill(255);
  int x = pad;
  for (const auto& [top, bottom] : cells) {
    const int y0 = pad + (height - (bottom - top + 1)) / 2;
    for (int y = top; y <= bottom; ++y)
      std::copy_n(mask.constScanLine(y) + box.left(), size, row.scanLine(y0 + y - top) + x);
    x += size + gap;
  }
  return row;
}

}  // namespace mw::library
