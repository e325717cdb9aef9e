#pragma once
// Resampling of premultiplied ARGB32 pictures from one size to another: area-averaging along
// an axis that shrinks, bilinear along one that grows. Every destination pixel is computed
// from its own source pixels alone, so that any rectangle of the destination can be brought
// up to date by itself and equals the same pixels of a whole resampling.
#include <QImage>
#include <QRect>
#include <QSize>
#include <vector>

namespace mw::picture {

class Resampler {
 public:
  Resampler(QSize from, QSize to);
  QSize from() const { return from_; }
  QSize to() const { return to_; }

  // The destination pixels that depend on some pixel of `changed` (source coordinates).
  QRect affected(QRect changed) const;

  // Computes the pixels of `area` (destination coordinates) of `target` (to()-sized,
  // ARGB32_Premultiplied) from `source` (from()-sized, premultiplied ARGB32 pixels).
  void resample(const QImage& source, QImage& target, QRect area) const;

  // The whole of `source` at the destination size.
  QImage resampled(const QImage& source) const;

 private:
  struct Axis {
    // For destination pixel d: source pixels first[d] .. first[d] + count[d] - 1, with the
    // weights weights[offset[d]] ..; and for source pixel s the destination pixels it feeds.
    std::vector<int> first, count, offset;
    std::vector<float> weights;
    std::vector<int> lowest, highest;
    Axis(int from, int to);
  };
  QSize from_, to_;
  Axis x_, y_;
};

}  // namespace mw::picture
