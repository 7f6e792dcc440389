#pragma once

namespace brindlewick {

// Where a picture of natural size W x H is painted in a surface: the real-valued rectangle.
struct PaintRect {
  float x = 0;
  float y = 0;
  double width = 0;
  double height = 0;
};

// The picture is scaled only when it is wider or taller than the view, and then by the ratio of
// its longer side alone (a square takes the height), so its other side may still overflow.
inline bool ExceedsView(int W, int H, int VW, int VH) { return W > VW || H > VH; }

inline double FitScale(int W, int H, int VW, int VH) {
  if (!ExceedsView(W, H, VW, VH)) return 1;
  return W > H ? double(VW) / W : double(VH) / H;
}

// Centred in a PW x PH surface; an overflowing side is clipped equally on both ends.
inline PaintRect CenteredRect(int W, int H, double r, int PW, int PH) {
  PaintRect rect;
  rect.width = W * r;
  rect.height = H * r;
  rect.x = float(PW / 2.0 - rect.width / 2);
  rect.y = float(PH / 2.0 - rect.height / 2);
  return rect;
}

}  // namespace brindlewick
