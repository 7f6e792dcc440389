#pragma once

#include <cmath>

#include <QtGlobal>

namespace brindlewick {

// Conversions between Qt's logical pixels and the screen's device pixels. Surfaces, selections
// and saved files live in device pixels; widgets are placed in logical ones.

// A logical length on the screen, rounded as Qt rounds the device size of a window.
inline int DevicePixels(int logical, double ratio) { return qRound(logical * ratio); }

// The logical length that covers a device length: never less, so no device pixel is left out.
inline int CoveringLogicalPixels(int device, double ratio) {
  // The tolerance keeps an exact quotient such as 1371 / 1.5 from rounding up a whole pixel.
  return int(std::ceil(device / ratio - 1e-6));
}

}  // namespace brindlewick
