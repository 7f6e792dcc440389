#include "crop/SelectionRectangle.h"

#include <cmath>
#include <cstdint>
#include <limits>

#include <QRgb>
#include <QString>

#include "crop/CropToSelection.h"
#include "platform/errors/RuntimeError.h"
#include "platform/errors/Trap.h"
#include "view/DisplayPicture.h"
#include "view/Form1Context.h"
#include "view/PictureDocument.h"

namespace brindlewick {
namespace {

// Nearest whole pixel, ties to the even neighbour (the default rounding mode). A coordinate that
// does not fit is an overflow, never undefined behaviour.
int32_t RoundToLong(float value) {
  const double rounded = std::nearbyint(double(value));
  if (!(rounded >= std::numeric_limits<int32_t>::min() &&
        rounded <= std::numeric_limits<int32_t>::max())) {
    throw OverflowError();
  }
  return static_cast<int32_t>(rounded);
}

// The band's near edge: the start when the pointer is past it, else the pointer itself.
float BandEdge(float pointer, int32_t start) {
  return double(pointer) > double(start) ? float(start) : pointer;
}

float BandExtent(float pointer, int32_t start) {
  return float(std::abs(double(pointer) - double(start)));
}

// What the release draws on the view; the crop that follows repaints all of it.
constexpr QRgb kReleaseBoxColor = qRgb(0, 0, 0);

Trap ViewTrap(Form1Context& form, const char* procedure) {
  return Trap(form.errors, QStringLiteral("Form1"), QLatin1String(procedure));
}

// Selection takes the left button alone, once the open command's quiet time is over, before the
// picture is cropped, and only while the view shows a picture.
bool SelectionInputAccepted(Trap& trap, const PictureDocument& doc, int Button) {
  if (!trap.test(100, [&] { return Button == 1; })) return false;
  if (!trap.test(102, [&] { return !doc.IgnoreMouse; })) return false;
  if (!trap.test(104, [&] { return !doc.CropDone; })) return false;
  return trap.test(106, [&] { return doc.viewShowsPicture(); });
}

}  // namespace

void Picture1_MouseDown(Form1Context& form, int Button, int /*Shift*/, float X, float Y) {
  PictureDocument& doc = form.doc;
  Trap trap = ViewTrap(form, "Picture1_MouseDown");
  if (!SelectionInputAccepted(trap, doc, Button)) return;

  trap(108, [&] { doc.StartX = RoundToLong(X); });
  trap(110, [&] { doc.StartY = RoundToLong(Y); });
  trap(112, [&] { doc.EndX = RoundToLong(X); });
  trap(114, [&] { doc.EndY = RoundToLong(Y); });
  trap(116, [&] { doc.shp1.shape = 0; });
  trap(118, [&] { doc.shp1.visible = true; });
  trap(120, [&] { doc.shp1.left = X; });
  trap(122, [&] { doc.shp1.top = Y; });
  trap(124, [&] { doc.shp1.width = 0; });
  trap(126, [&] { doc.shp1.height = 0; });
}

void Picture1_MouseMove(Form1Context& form, int Button, int /*Shift*/, float X, float Y) {
  PictureDocument& doc = form.doc;
  Trap trap = ViewTrap(form, "Picture1_MouseMove");
  if (!SelectionInputAccepted(trap, doc, Button)) return;

  // The first move after a completed selection starts from the clean picture again.
  if (trap.test(108, [&] { return doc.SelectionMade; })) {
    trap(110, [&] { doc.SelectionMade = false; });
    trap(112, [&] { PaintStretched(doc.Picture1, doc.picLoad.picture()); });
  }
  trap(114, [&] { doc.EndX = RoundToLong(X); });
  trap(116, [&] { doc.EndY = RoundToLong(Y); });
  // The band is placed from the unrounded pointer against the rounded start, so a drag either
  // way gives the same rectangle; nothing is clamped to the view.
  trap(118, [&] { doc.shp1.left = BandEdge(X, doc.StartX); });
  trap(120, [&] { doc.shp1.top = BandEdge(Y, doc.StartY); });
  trap(122, [&] { doc.shp1.width = BandExtent(X, doc.StartX); });
  trap(124, [&] { doc.shp1.height = BandExtent(Y, doc.StartY); });
}

void Picture1_MouseUp(Form1Context& form, int Button, int /*Shift*/, float /*X*/, float /*Y*/) {
  PictureDocument& doc = form.doc;
  Trap trap = ViewTrap(form, "Picture1_MouseUp");
  if (!SelectionInputAccepted(trap, doc, Button)) return;

  trap(108,
       [&] { doc.Picture1.drawBox(doc.StartX, doc.StartY, doc.EndX, doc.EndY, kReleaseBoxColor); });
  trap(110, [&] { doc.shp1.visible = false; });  // the geometry stays: it is the selection
  trap(112, [&] { doc.SelectionMade = true; });
  trap(114, [&] { form.window.setMenuEnabled(MenuCommand::Undo, true); });
  trap(116, [&] { CropToSelection(doc); });
  // Set even when the crop failed: the view is no longer the fitted picture either way.
  trap(118, [&] { doc.CropDone = true; });
}

void Form_MouseMove(Form1Context& form, int /*Button*/, int /*Shift*/, float /*X*/, float /*Y*/) {
  if (form.window.mousePointer() != MousePointer::Busy) {
    form.window.setMousePointer(MousePointer::Default);
  }
}

}  // namespace brindlewick
