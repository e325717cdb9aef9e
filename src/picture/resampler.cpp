#include "picture/resampler.h"

#include <algorithm>
#include <cmath>

namespace mw::picture {

Resampler::Axis::Axis(int from, int to)
    : first(std::size_t(to)),
      count(std::size_t(to)),
      offset(std::size_t(to)),
      lowest(std::size_t(from), to),
      highest(std::size_t(from), -1) {
  const double scale = double(from) / to;
  for (int d = 0; d < to; ++d) {
    offset[std::size_t(d)] = int(weights.size());
    std::vector<std::pair<int, double>> taps;
    if (from == to) {
      taps.emplace_back(d, 1.0);
    } else if (from > to) {
      // The source interval [lo, hi) this pixel covers, each source pixel weighted by its part.
      const double lo = d * scale, hi = (d + 1) * scale;
      for (int s = int(std::floor(lo)); s < int(std::ceil(hi)) && s < from; ++s) {
        const double part = std::min(hi, s + 1.0) - std::max(lo, double(s));
        if (part > 0) taps.emplace_back(s, part / scale);
      }
    } else {
      const double at = std::clamp((d + 0.5) * scale - 0.5, 0.0, double(from - 1));
      const int s = int(at);
      const double f = at - s;
      taps.emplace_back(s, 1.0 - f);
      if (f > 0) taps.emplace_back(s + 1, f);
    }
    first[std::size_t(d)] = taps.front().first;
    count[std::size_t(d)] = int(taps.size());
    for (const auto& [s, w] : taps) {
      weights.push_back(float(w));
      lowest[std::size_t(s)] = std::min(lowest[std::size_t(s)], d);
      highest[std::size_t(s)] = std::max(highest[std::size_t(s)], d);
    }
  }
}

Resampler::Resampler(QSize from, QSize to)
    : from_(from), to_(to), x_(from.width(), to.width()), y_(from.height(), to.height()) {}

QRect Resampler::affected(QRect changed) const {
  changed &= QRect(QPoint(), from_);
  if (changed.isEmpty()) return {};
  // Both axes are monotonic: the first changed pixel feeds the lowest, the last the highest.
  auto span = [](const Axis& a, int lo, int hi) {
    return std::pair(a.lowest[std::size_t(lo)], a.highest[std::size_t(hi)]);
  };
  const auto [left, right] = span(x_, changed.left(), changed.right());
  const auto [top, bottom] = span(y_, changed.top(), changed.bottom());
  return QRect(QPoint(left, top), QPoint(right, bottom));
}

void Resampler::resample(const QImage& source, QImage& target, QRect area) const {
  area &= QRect(QPoint(), to_);
  if (area.isEmpty()) return;
  const std::size_t w = std::size_t(area.width());
  const int rowFirst = y_.first[std::size_t(area.top())];
  const int rowLast = y_.first[std::size_t(area.bottom())] + y_.count[std::size_t(area.bottom())] - 1;

  // Across first: each needed source row at the destination columns of the area, as four
  // float channels.
  std::vector<float> across(std::size_t(rowLast - rowFirst + 1) * w * 4);
  for (int sy = rowFirst; sy <= rowLast; ++sy) {
    const auto* src = reinterpret_cast<const QRgb*>(source.constScanLine(sy));
    float* out = across.data() + std::size_t(sy - rowFirst) * w * 4;
    for (int dx = area.left(); dx <= area.right(); ++dx, out += 4) {
      const std::size_t d = std::size_t(dx);
      const float* weight = x_.weights.data() + x_.offset[d];
      float a = 0, r = 0, g = 0, b = 0;
      for (int k = 0; k < x_.count[d]; ++k) {
        const QRgb p = src[x_.first[d] + k];
        a += weight[k] * float(qAlpha(p));
        r += weight[k] * float(qRed(p));
        g += weight[k] * float(qGreen(p));
        b += weight[k] * float(qBlue(p));
      }
      out[0] = a;
      out[1] = r;
      out[2] = g;
      out[3] = b;
    }
  }
  // Then down each column.
  auto channel = [](float v, int most) { return std::clamp(int(v + 0.5f), 0, most); };
  for (int dy = area.top(); dy <= area.bottom(); ++dy) {
    const std::size_t d = std::size_t(dy);
    const float* weight = y_.weights.data() + y_.offset[d];
    auto* dst = reinterpret_cast<QRgb*>(target.scanLine(dy)) + area.left();
    for (std::size_t i = 0; i < w; ++i) {
      float a = 0, r = 0, g = 0, b = 0;
      for (int k = 0; k < y_.count[d]; ++k) {
        const float* in = across.data() + (std::size_t(y_.first[d] + k - rowFirst) * w + i) * 4;
        a += weight[k] * in[0];
        r += weight[k] * in[1];
        g += weight[k] * in[2];
        b += weight[k] * in[3];
      }
      const int alpha = channel(a, 255);
      dst[i] = qRgba(channel(r, alpha), channel(g, alpha), channel(b, alpha), alpha);
    }
  }
}

QImage Resampler::resampled(const QImage& source) const {
  QImage out(to_, QImage::Format_ARGB32_Premultiplied);
  if (!out.isNull()) resample(source, out, out.rect());
  return out;
}

}  // namespace mw::picture
