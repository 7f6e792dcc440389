#include "view/FormResize.h"

#include "platform/errors/Trap.h"
#include "platform/surface/Surface.h"
#include "settings/FileHelpers.h"
#include "view/DisplayPicture.h"
#include "view/FitGeometry.h"
#include "view/MainWindowShell.h"
#include "view/PictureDocument.h"

namespace brindlewick {

void FitViewWidth(Surface& view, const MainWindowShell& window) {
  const float width = float(window.ScaleWidth() - kViewMargin * window.pixelRatio());
  if (width > 0) view.setWidth(width);
}

void FitViewHeight(Surface& view, const MainWindowShell& window) {
  const float height = float(window.ScaleHeight() - kViewMargin * window.pixelRatio());
  if (height > 0) view.setHeight(height);
}

PaintSizeFor FittedPaintSize(QSize view) {
  return [view](QSize natural) {
    return QSizeF(natural) *
           FitScale(natural.width(), natural.height(), view.width(), view.height());
  };
}

PaintSizeFor LargestPaintSize(QSize screen) {
  return FittedPaintSize(screen - QSize(int(kViewMargin), int(kViewMargin)));
}

void Form_Resize(DisplayContext& form) {
  PictureDocument& doc = form.doc;
  Trap trap(form.errors, QStringLiteral("Form1"), QStringLiteral("Form_Resize"));

  if (trap.test(100, [&] { return form.window.isMinimized(); })) return;
  trap(102, [&] { FitViewWidth(doc.Picture1, form.window); });
  trap(104, [&] { FitViewHeight(doc.Picture1, form.window); });
  // A failure while reading the path or testing the file goes on to the redisplay attempt.
  bool stop = false;
  trap(106, [&] { stop = doc.Tag.isEmpty(); });
  if (stop) return;
  trap(108, [&] { stop = !FileListed(doc.Tag); });
  if (stop) return;
  trap(110, [&] { DisplayPicture(form, doc.Tag, doc.Picture1); });
}

}  // namespace brindlewick
