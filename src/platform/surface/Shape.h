#pragma once

namespace brindlewick {

// A rectangle outline drawn over a surface without touching its pixels. Geometry in the
// surface's pixels, unclamped: it may lie partly or wholly outside the surface.
struct Shape {
  int shape = 0;  // 0 = rectangle
  bool visible = false;
  float left = 0;
  float top = 0;
  float width = 0;
  float height = 0;
};

}  // namespace brindlewick
