#include "platform/surface/Scaling.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <new>
#include <vector>

#include <QImage>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "platform/threads/Parallel.h"

namespace brindlewick {
namespace {

// How one output pixel along an axis is made: source pixels from `first` on, each with its share
// of the output pixel in 1/65536ths; the shares of one output pixel sum to 65536, so a share of
// 65536 means a span of one pixel (shares of 0 at either end are left out).
struct Span {
  int first = 0;
  int count = 0;
  int weights = 0;  // index of the first weight
};

constexpr uint32_t kOne = 1u << 16;

void BuildSpans(int sourceLength, int targetLength, std::vector<Span>& spans,
                std::vector<uint16_t>& weights) {
  spans.resize(size_t(targetLength));
  weights.clear();
  const double ratio = double(sourceLength) / targetLength;
  std::vector<uint32_t> shares;
  for (int i = 0; i < targetLength; ++i) {
    const double begin = i * ratio, end = std::min(double(sourceLength), (i + 1) * ratio);
    int first = int(begin);
    const int last = std::min(sourceLength - 1, int(std::ceil(end) - 1));
    // Weights as differences of rounded positions: never negative, and exactly kOne in all.
    auto position = [&](double t) {
      return t >= end ? kOne : uint32_t(std::lround((t - begin) / (end - begin) * kOne));
    };
    shares.clear();
    for (int s = first; s <= last; ++s) {
      shares.push_back(position(std::min(end, s + 1.0)) - position(std::max(begin, double(s))));
    }
    auto from = shares.begin(), to = shares.end();
    while (to - from > 1 && *from == 0) ++from, ++first;
    while (to - from > 1 && *(to - 1) == 0) --to;
    Span& span = spans[size_t(i)];
    span.first = first;
    span.count = int(to - from);
    span.weights = int(weights.size());
    for (auto w = from; w != to; ++w) weights.push_back(span.count == 1 ? 0 : uint16_t(*w));
  }
}

// Fixed-point arithmetic shared by the vector and the plain code: channels as 8.8 values in 16
// bits, each weighted term rounded down, so a sum never exceeds its largest term.
inline uint16_t Weighted(uint32_t value, uint16_t weight) { return uint16_t(value * weight >> 16); }

// One output row's vertical pass: every channel of `lanes` bytes of the span's source rows, as
// 8.8 values.
void VerticalPass(const uchar* const* rows, const uint16_t* w, int count, int lanes,
                  uint16_t* out) {
  int i = 0;
#if defined(__SSE2__)
  const __m128i zero = _mm_setzero_si128();
  for (; i + 16 <= lanes; i += 16) {
    __m128i lo = zero, hi = zero;
    for (int k = 0; k < count; ++k) {
      const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(rows[k] + i));
      const __m128i vlo = _mm_unpacklo_epi8(zero, v), vhi = _mm_unpackhi_epi8(zero, v);
      if (count == 1) {
        lo = vlo, hi = vhi;
      } else {
        const __m128i weight = _mm_set1_epi16(short(w[k]));
        lo = _mm_add_epi16(lo, _mm_mulhi_epu16(vlo, weight));
        hi = _mm_add_epi16(hi, _mm_mulhi_epu16(vhi, weight));
      }
    }
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), lo);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i + 8), hi);
  }
#endif
  for (; i < lanes; ++i) {
    uint16_t sum = 0;
    for (int k = 0; k < count; ++k) {
      const uint32_t v = uint32_t(rows[k][i]) << 8;
      sum += count == 1 ? uint16_t(v) : Weighted(v, w[k]);
    }
    out[i] = sum;
  }
}

// The horizontal spans laid out for the vector code, two output pixels at a time: each takes
// `taps` source pixels from its first on, the weights past its span being 0; a pair's weights for
// one tap are eight values, each pixel's four times over (one per channel). A one-pixel span
// weighs 65535, which costs at most 1/256 of a level. An odd last pixel is paired with a dummy.
struct Taps {
  int taps = 1;
  int width = 0;
  std::vector<int> first;
  std::vector<uint16_t> weights;
};

Taps LayOutTaps(const std::vector<Span>& spans, const std::vector<uint16_t>& weights) {
  Taps layout;
  layout.width = int(spans.size());
  for (const Span& span : spans) layout.taps = std::max(layout.taps, span.count);
  const size_t padded = (spans.size() + 1) / 2 * 2;
  layout.first.assign(padded, 0);
  layout.weights.assign(padded * size_t(layout.taps) * 4, 0);
  for (size_t x = 0; x < spans.size(); ++x) {
    const Span& span = spans[x];
    layout.first[x] = span.first;
    for (int k = 0; k < span.count; ++k) {
      uint16_t* w =
          layout.weights.data() + ((x / 2 * size_t(layout.taps) + size_t(k)) * 2 + x % 2) * 4;
      std::fill_n(w, 4,
                  span.count == 1 ? uint16_t(65535) : weights[size_t(span.weights) + size_t(k)]);
    }
  }
  return layout;
}

// One output row's horizontal pass over the vertical pass's 8.8 channels, rounded to 8 bits. The
// row must go on for `taps` pixels of zeros past its end. kTaps, when not 0, is layout.taps known
// at compile time, so the common small spans unroll.
template <int kTaps>
void HorizontalPass(const uint16_t* row, const Taps& layout, QRgb* out) {
  const int taps = kTaps ? kTaps : layout.taps;
  const uint16_t* w = layout.weights.data();
  for (int x = 0; x < layout.width; x += 2) {
    const uint16_t* a = row + 4 * size_t(layout.first[size_t(x)]);
    const uint16_t* b = row + 4 * size_t(layout.first[size_t(x) + 1]);
#if defined(__SSE2__)
    __m128i sum = _mm_setzero_si128();
#pragma GCC unroll 4
    for (int k = 0; k < taps; ++k, w += 8) {
      const __m128i v = _mm_unpacklo_epi64(
          _mm_loadl_epi64(reinterpret_cast<const __m128i*>(a + 4 * ptrdiff_t(k))),
          _mm_loadl_epi64(reinterpret_cast<const __m128i*>(b + 4 * ptrdiff_t(k))));
      sum = _mm_add_epi16(sum,
                          _mm_mulhi_epu16(v, _mm_loadu_si128(reinterpret_cast<const __m128i*>(w))));
    }
    sum = _mm_srli_epi16(_mm_add_epi16(sum, _mm_set1_epi16(128)), 8);
    const __m128i pixels = _mm_or_si128(_mm_packus_epi16(sum, sum), _mm_set1_epi32(-16777216));
    if (x + 1 < layout.width) {
      _mm_storel_epi64(reinterpret_cast<__m128i*>(out + x), pixels);
    } else {
      out[x] = uint32_t(_mm_cvtsi128_si32(pixels));
    }
#else
    uint32_t sum[8] = {};
    for (int k = 0; k < taps; ++k, w += 8) {
      for (int c = 0; c < 4; ++c) {
        sum[c] += Weighted(a[4 * k + c], w[c]);
        sum[4 + c] += Weighted(b[4 * k + c], w[4 + c]);
      }
    }
    for (int i = 0; i < 2 && x + i < layout.width; ++i) {
      const uint32_t* s = sum + 4 * i;
      out[x + i] =
          0xFF000000u | ((s[2] + 128) >> 8 << 16) | ((s[1] + 128) >> 8 << 8) | ((s[0] + 128) >> 8);
    }
#endif
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
  std::vector<uint16_t> xWeights, yWeights;
  BuildSpans(sw, tw, xSpans, xWeights);
  BuildSpans(sh, th, ySpans, yWeights);

  // Output rows in horizontal strips, a few per core, so that a core that starts late or runs
  // slowly leaves its share to the others; an output row needs only its own source rows.
  const int strips = std::clamp(th / 32, 1, 4 * CoreCount());
  const Taps xTaps = LayOutTaps(xSpans, xWeights);
  uchar* const outBits = out.bits();  // not scanLine() in the strips: it counts detaches
  const qsizetype outPitch = out.bytesPerLine();
  InParallel(strips, CoreCount(), [&](int strip) {
    std::vector<uint16_t> channels(size_t(sw + xTaps.taps) * 4);
    std::vector<const uchar*> rows;
    for (int y = th * strip / strips; y < th * (strip + 1) / strips; ++y) {
      const Span& span = ySpans[size_t(y)];
      rows.clear();
      for (int k = 0; k < span.count; ++k) rows.push_back(src.constScanLine(span.first + k));
      VerticalPass(rows.data(), yWeights.data() + span.weights, span.count, sw * 4,
                   channels.data());
      auto* line = reinterpret_cast<QRgb*>(outBits + y * outPitch);
      switch (xTaps.taps) {
        case 2:
          HorizontalPass<2>(channels.data(), xTaps, line);
          break;
        case 3:
          HorizontalPass<3>(channels.data(), xTaps, line);
          break;
        default:
          HorizontalPass<0>(channels.data(), xTaps, line);
      }
    }
  });
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
