#include "PhotoSynth.h"

#include <algorithm>
#include <cmath>
#include <thread>
#include <vector>

#include <QImage>

namespace brindlewick {
namespace {

uint32_t Hash(int32_t x, int32_t y, uint32_t seed) {
  uint32_t h = seed * 0x9E3779B1u ^ uint32_t(x) * 0x85EBCA77u ^ uint32_t(y) * 0xC2B2AE3Du;
  h ^= h >> 15;
  h *= 0x2C1B3C6Du;
  h ^= h >> 12;
  h *= 0x297A2D39u;
  h ^= h >> 15;
  return h;
}

float Unit(uint32_t h) { return float(h >> 8) * (1.0f / 16777216.0f); }

float Smooth(float t) { return t * t * (3 - 2 * t); }

float Lerp(float a, float b, float t) { return a + (b - a) * t; }

float ValueNoise(float x, float y, uint32_t seed) {
  const float fx = std::floor(x), fy = std::floor(y);
  const int32_t ix = int32_t(fx), iy = int32_t(fy);
  const float tx = Smooth(x - fx), ty = Smooth(y - fy);
  const float a = Unit(Hash(ix, iy, seed)), b = Unit(Hash(ix + 1, iy, seed));
  const float c = Unit(Hash(ix, iy + 1, seed)), d = Unit(Hash(ix + 1, iy + 1, seed));
  return Lerp(Lerp(a, b, tx), Lerp(c, d, tx), ty);
}

// Fractal noise: octaves of halving amplitude, a 1/f spectrum like natural scenes. 0..1.
float Fbm(float x, float y, int octaves, uint32_t seed) {
  float sum = 0, amplitude = 0.5f, norm = 0;
  for (int i = 0; i < octaves; ++i) {
    sum += amplitude * ValueNoise(x, y, seed + uint32_t(i) * 1013u);
    norm += amplitude;
    amplitude *= 0.5f;
    x = x * 2.03f + 17.1f;
    y = y * 2.03f + 5.3f;
  }
  return sum / norm;
}

struct Rgb {
  float r, g, b;
};

Rgb Mix(Rgb a, Rgb b, float t) { return {Lerp(a.r, b.r, t), Lerp(a.g, b.g, t), Lerp(a.b, b.b, t)}; }

Rgb Scale(Rgb c, float k) { return {c.r * k, c.g * k, c.b * k}; }

float Clamp01(float v) { return std::clamp(v, 0.0f, 1.0f); }

QRgb ToPixel(Rgb c, float grain) {
  auto channel = [grain](float v) { return int(std::clamp(v * 255.0f + grain, 0.0f, 255.0f)); };
  return qRgb(channel(c.r), channel(c.g), channel(c.b));
}

}  // namespace

class PhotoRows::Scene {
 public:
  Scene(int width, int height, uint32_t seed) : w_(width), seed_(seed) {
    // Feature sizes follow the picture's height, so every size shows the same landscape.
    unit_ = 1.0f / float(height);
    farRidge_.resize(size_t(width));
    nearRidge_.resize(size_t(width));
    for (int x = 0; x < width; ++x) {
      const float u = float(x) * unit_;
      // Fractal noise clusters round its middle; stretched, it spans peaks and passes.
      const float far = Fbm(u * 1.3f, 0.5f, 9, seed + 11) - 0.5f;
      const float near = Fbm(u * 2.2f, 3.5f, 9, seed + 23) - 0.5f;
      farRidge_[size_t(x)] = 0.31f - 0.55f * far;
      nearRidge_[size_t(x)] = 0.47f - 0.45f * near;
    }
  }

  // Row firstRow goes to `bits`.
  void renderRows(uchar* bits, qsizetype stride, int firstRow, int endRow) const {
    for (int y = firstRow; y < endRow; ++y) {
      auto* line = reinterpret_cast<QRgb*>(bits + stride * (y - firstRow));
      for (int x = 0; x < w_; ++x) line[x] = pixel(x, y);
    }
  }

 private:
  QRgb pixel(int x, int y) const {
    const float u = float(x) * unit_, v = float(y) * unit_;
    const float grain = (Unit(Hash(x, y, seed_ + 99)) - 0.5f) * 9.0f;
    const float meadowTop = 0.60f + 0.25f * (Fbm(u * 1.2f, 9.0f, 5, seed_ + 31) - 0.5f);
    Rgb c;
    if (v > meadowTop) {
      c = meadow(u, v, meadowTop);
    } else if (v > nearRidge_[size_t(x)]) {
      c = rock(u, v, {0.30f, 0.33f, 0.28f}, 1.0f);
    } else if (v > farRidge_[size_t(x)]) {
      c = rock(u, v, {0.45f, 0.52f, 0.62f}, 0.55f);
    } else {
      return ToPixel(sky(u, v), grain);
    }
    // A sharp lens resolves texture down to single pixels on land; the sky stays smooth.
    const float fine = Fbm(float(x) * 0.45f, float(y) * 0.45f, 2, seed_ + 101) - 0.5f;
    return ToPixel(Scale(c, 1.0f + 0.5f * fine), grain);
  }

  Rgb sky(float u, float v) const {
    const Rgb top{0.16f, 0.36f, 0.70f}, horizon{0.72f, 0.83f, 0.93f};
    Rgb c = Mix(top, horizon, Clamp01(v / 0.5f));
    const float cloud = Fbm(u * 3.0f, v * 7.0f, 6, seed_ + 41);
    const float cover = Clamp01((cloud - 0.48f) * 3.5f);
    const float shade = 0.78f + 0.22f * Fbm(u * 9.0f, v * 18.0f, 4, seed_ + 43);
    return Mix(c, Scale({1.0f, 1.0f, 1.0f}, shade), cover);
  }

  Rgb rock(float u, float v, Rgb base, float detail) const {
    const float texture = Fbm(u * 60.0f, v * 35.0f, 5, seed_ + 53);
    const float strata = Fbm(u * 8.0f, v * 80.0f, 3, seed_ + 59);
    Rgb c = Scale(base, 0.65f + detail * (0.55f * texture + 0.25f * strata));
    // Snow above the snow line, broken up by the rock texture.
    const float snow = Clamp01((0.27f - v) * 25.0f + (texture - 0.5f) * 2.5f);
    c = Mix(c, {0.93f, 0.95f, 0.98f}, snow * detail);
    // Aerial haze lightens what is far.
    return Mix(c, {0.70f, 0.78f, 0.88f}, 0.35f * (1 - detail));
  }

  Rgb meadow(float u, float v, float top) const {
    const float near = Clamp01((v - top) / 0.4f);
    const float patches = Fbm(u * 5.0f, v * 9.0f, 4, seed_ + 61);
    // Grass blades: fine, stretched vertically, finer towards the horizon.
    const float scale = 120.0f + 500.0f * near;
    const float blades = Fbm(u * scale, v * scale * 0.25f, 4, seed_ + 67);
    Rgb c = Mix({0.33f, 0.52f, 0.18f}, {0.62f, 0.60f, 0.26f}, patches);
    c = Scale(c, (0.55f + 0.75f * blades) * (1.05f - 0.35f * near));
    // A few flowers in the foreground.
    const uint32_t h = Hash(int32_t(u * 900), int32_t(v * 900), seed_ + 71);
    if (near > 0.3f && (h & 1023u) < 3) c = Mix(c, {0.95f, 0.85f, 0.25f}, 0.8f);
    return c;
  }

  int w_;
  uint32_t seed_;
  float unit_;
  std::vector<float> farRidge_, nearRidge_;
};

PhotoRows::PhotoRows(int width, int height, uint32_t seed)
    : scene_(std::make_unique<const Scene>(width, height, seed)) {}

PhotoRows::~PhotoRows() = default;

void PhotoRows::draw(int firstRow, int endRow, uchar* bits, qsizetype stride) const {
  const int rows = endRow - firstRow;
  const int threads = std::max(1, std::min({8, int(std::thread::hardware_concurrency()), rows}));
  std::vector<std::thread> workers;
  for (int t = 0; t < threads; ++t) {
    const int first = firstRow + rows * t / threads, end = firstRow + rows * (t + 1) / threads;
    uchar* const at = bits + stride * (first - firstRow);
    workers.emplace_back(
        [this, at, stride, first, end] { scene_->renderRows(at, stride, first, end); });
  }
  for (auto& worker : workers) worker.join();
}

QImage SynthesizePhoto(int width, int height, uint32_t seed) {
  QImage image(width, height, QImage::Format_RGB32);
  if (image.isNull()) return image;
  PhotoRows(width, height, seed).draw(0, height, image.bits(), image.bytesPerLine());
  return image;
}

}  // namespace brindlewick
