#include "platform/surface/Scaling.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <new>
#include <vector>

#include <QImage>

namespace brindlewick {
namespace {

// How one output pixel along an axis is made: source pixels from `first` on, each with its share
// of the output pixel in 1/65536ths; the shares of one output pixel sum to 65536.
struct Span {
  int first = 0;
  int count = 0;
  int weights = 0;  // index of the first weight
};

constexpr uint32_t kOne = 1u << 16;

void BuildSpans(int sourceLength, int targetLength, std::vector<Span>& spans,
                std::vector<uint32_t>& weights) {
  spans.resize(size_t(targetLength));
  weights.clear();
  const double ratio = double(sourceLength) / targetLength;
  for (int i = 0; i < targetLength; ++i) {
    const double begin = i * ratio, end = std::min(double(sourceLength), (i + 1) * ratio);
    const int first = int(begin);
    const int last = std::min(sourceLength - 1, int(std::ceil(end) - 1));
    Span& span = spans[size_t(i)];
    span.first = first;
    span.count = last - first + 1;
    span.weights = int(weights.size());
    // Weights as differences of rounded positions: never negative, and exactly kOne in all.
    auto position = [&](double t) {
      return t >= end ? kOne : uint32_t(std::lround((t - begin) / (end - begin) * kOne));
    };
    for (int s = first; s <= last; ++s) {
      weights.push_back(position(std::min(end, s + 1.0)) - position(std::max(begin, double(s))));
    }
  }
}

}  // namespace

QImage ShrinkByAreaAverage(const QImage& source, QSize target) {
  const QImage src = source.format() == QImage::Format_RGB32
                         ? source
                         : source.convertToFormat(QImage::Format_RGB32);
  const int sw = src.width(), sh = src.height(), tw = target.width(), th = target.height();
  QImage out(tw, th, QImage::Format_RGB32);
  if (out.isNull()) throw std::bad_alloc();

  std::vector<Span> xSpans, ySpans;
  std::vector<uint32_t> xWeights, yWeights;
  BuildSpans(sw, tw, xSpans, xWeights);
  BuildSpans(sh, th, ySpans, yWeights);

  // Horizontal pass into 8.8 fixed point per channel, one row per source row.
  std::vector<uint16_t> rows(size_t(tw) * size_t(sh) * 3);
  for (int y = 0; y < sh; ++y) {
    const auto* line = reinterpret_cast<const QRgb*>(src.constScanLine(y));
    uint16_t* row = rows.data() + size_t(y) * size_t(tw) * 3;
    for (int x = 0; x < tw; ++x) {
      const Span& span = xSpans[size_t(x)];
      const uint32_t* w = xWeights.data() + span.weights;
      uint32_t r = 0, g = 0, b = 0;
      for (int k = 0; k < span.count; ++k) {
        const QRgb p = line[span.first + k];
        r += qRed(p) * w[k];
        g += qGreen(p) * w[k];
        b += qBlue(p) * w[k];
      }
      row[3 * x] = uint16_t((r + 128) >> 8);
      row[3 * x + 1] = uint16_t((g + 128) >> 8);
      row[3 * x + 2] = uint16_t((b + 128) >> 8);
    }
  }

  // Vertical pass: weighted rows, back to 8 bits with rounding.
  std::vector<uint64_t> sum(size_t(tw) * 3);
  for (int y = 0; y < th; ++y) {
    const Span& span = ySpans[size_t(y)];
    const uint32_t* w = yWeights.data() + span.weights;
    std::fill(sum.begin(), sum.end(), 0);
    for (int k = 0; k < span.count; ++k) {
      const uint16_t* row = rows.data() + size_t(span.first + k) * size_t(tw) * 3;
      for (size_t i = 0; i < sum.size(); ++i) sum[i] += uint64_t(row[i]) * w[k];
    }
    auto* line = reinterpret_cast<QRgb*>(out.scanLine(y));
    for (int x = 0; x < tw; ++x) {
      auto channel = [&](int c) { return int((sum[size_t(3 * x + c)] + (1u << 23)) >> 24); };
      line[x] = qRgb(channel(0), channel(1), channel(2));
    }
  }
  return out;
}

QImage ScalePixels(const QImage& source, QSize target) {
  if (source.size() == target) return source;
  if (target.width() <= source.width() && target.height() <= source.height()) {
    return ShrinkByAreaAverage(source, target);
  }
  return source.scaled(target, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

}  // namespace brindlewick
