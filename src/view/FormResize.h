#pragma once

#include <QSize>

#include "platform/loading/PictureRequest.h"

namespace brindlewick {

class MainWindowShell;
class Surface;
struct DisplayContext;

// The margin between the client area's size and the view's at 96 dots per inch; on a denser
// screen it grows with the pixel ratio, as the view's offset from the client area's corner does,
// so the view sits where it sits at 100 %.
inline constexpr float kViewMargin = 15;

// A side of the view follows the client area less the margin; a side that would not stay
// positive is left as it is.
void FitViewWidth(Surface& view, const MainWindowShell& window);
void FitViewHeight(Surface& view, const MainWindowShell& window);

// The size a picture is painted at in a view of this many device pixels.
PaintSizeFor FittedPaintSize(QSize view);

// The size a picture is painted at in the largest view a screen of this many device pixels
// leaves room for: what a decode made in advance must cover for growing the window never to wait.
PaintSizeFor LargestPaintSize(QSize screen);

// Keeps the view filling the client area (less the margin) and shows the current picture fitted
// again at the new size.
void Form_Resize(DisplayContext& form);

}  // namespace brindlewick
