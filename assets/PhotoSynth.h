#pragma once

#include <cstdint>
#include <memory>

#include <QtGlobal>

class QImage;

namespace brindlewick {

// A photo-like landscape, drawn from fractal noise so it has the statistics of a real photo
// (texture at every scale, grain, soft and hard edges), not flat colours or smooth gradients.
// The same size and seed always give the same pixels.
QImage SynthesizePhoto(int width, int height, uint32_t seed = 1);

// The same photo drawn a band of rows at a time, for pictures too large to hold whole: the rows
// equal SynthesizePhoto's of the same size and seed. Each pixel is a QRgb (0xffRRGGBB).
class PhotoRows {
 public:
  PhotoRows(int width, int height, uint32_t seed = 1);
  ~PhotoRows();
  PhotoRows(const PhotoRows&) = delete;
  PhotoRows& operator=(const PhotoRows&) = delete;

  // Rows firstRow..endRow-1 into lines `stride` bytes apart, the first at `bits`, on every core.
  void draw(int firstRow, int endRow, uchar* bits, qsizetype stride) const;

 private:
  class Scene;
  std::unique_ptr<const Scene> scene_;
};

}  // namespace brindlewick
