#include "view/DisplayPicture.h"

#include <cmath>

#include <QString>

#include "modules/SaveAsJPG.h"
#include "platform/errors/Trap.h"
#include "platform/loading/PictureLoader.h"
#include "platform/surface/Surface.h"
#include "platform/threads/Parallel.h"
#include "view/BusyPointer.h"
#include "view/FitGeometry.h"
#include "view/FormResize.h"
#include "view/PictureDocument.h"

namespace brindlewick {

void DisplayPicture(DisplayContext& form, const QString& filename, Surface& Pic1) {
  PictureDocument& doc = form.doc;
  Trap trap(form.errors, QStringLiteral("Form1"), QStringLiteral("DisplayPicture"));

  // The decoder may decode at a reduced scale that still covers the size the picture gets here.
  const PaintSizeFor paintSize = FittedPaintSize({doc.Picture1.width(), doc.Picture1.height()});

  trap(100, [&] { Pic1.setPicture(Picture()); });
  trap(102, [&] { doc.picDraw.setPicture(Picture()); });
  trap(104, [&] {
    const BusyPointer busy(form.window);
    // The user waits for this picture: every core may help.
    doc.picDraw.setPicture(form.loader.LoadPicture(filename, {paintSize, CoreCount(), {}}).picture);
  });
  trap(106, [&] { doc.JPGQuality = DetectJPGQuality(doc.picDraw, filename); });
  trap(108, [&] { doc.PrevQuality = doc.JPGQuality; });

  const Picture& full = doc.picDraw.picture();
  const int W = full.width();
  const int H = full.height();
  const int VW = doc.Picture1.width();
  const int VH = doc.Picture1.height();
  double r = 0;
  if (trap.test(110, [&] { return ExceedsView(W, H, VW, VH); })) {
    if (trap.test(112, [&] { return W > H; })) {
      trap(114, [&] { r = double(VW) / W; });
    } else {
      trap(116, [&] { r = double(VH) / H; });
    }
  } else {
    trap(118, [&] { r = 1; });
  }

  // The view and the clean copy get the same rectangle, taken from the view's size.
  const PaintRect rect = CenteredRect(W, H, r, Pic1.width(), Pic1.height());
  trap(120, [&] { Pic1.paintPicture(full, rect.x, rect.y, rect.width, rect.height); });
  trap(122, [&] { Pic1.setPicture(Pic1.image()); });
  trap(124, [&] { doc.picLoad.setHeight(Pic1.height()); });
  trap(126, [&] { doc.picLoad.setWidth(Pic1.width()); });
  trap(128, [&] { doc.picLoad.setPicture(Picture()); });
  trap(128, [&] { doc.picLoad.paintPicture(full, rect.x, rect.y, rect.width, rect.height); });
  trap(130, [&] { doc.picLoad.setPicture(doc.picLoad.image()); });
}

void PaintStretched(Surface& target, const Picture& picture) {
  const double height = std::nearbyint(double(target.height()));
  const double width = std::nearbyint(double(target.width()));
  // The surface always retains what is drawn, so there is no redraw mode to switch on.
  target.cls();
  target.paintPicture(picture, 0, 0, width, height);
}

}  // namespace brindlewick
