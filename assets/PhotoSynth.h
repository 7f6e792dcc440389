#pragma once

#include <cstdint>

class QImage;

namespace brindlewick {

// A photo-like landscape, drawn from fractal noise so it has the statistics of a real photo
// (texture at every scale, grain, soft and hard edges), not flat colours or smooth gradients.
// The same size and seed always give the same pixels.
QImage SynthesizePhoto(int width, int height, uint32_t seed = 1);

}  // namespace brindlewick
