#pragma once

#include <QRect>
#include <QSize>

namespace brindlewick {

// Windows and controls are designed in twips (1/1440 inch): 15 to a pixel at 96 dots per inch.
inline constexpr int kTwipsPerPixel = 15;

inline constexpr int PixelsFromTwips(int twips) {
  return (twips + kTwipsPerPixel / 2) / kTwipsPerPixel;
}

inline constexpr QSize SizeFromTwips(int width, int height) {
  return QSize(PixelsFromTwips(width), PixelsFromTwips(height));
}

inline constexpr QRect RectFromTwips(int left, int top, int width, int height) {
  return QRect(PixelsFromTwips(left), PixelsFromTwips(top), PixelsFromTwips(width),
               PixelsFromTwips(height));
}

}  // namespace brindlewick
