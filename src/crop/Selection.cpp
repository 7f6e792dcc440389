#include "crop/Selection.h"

#include <cmath>
#include <cstdint>
#include <limits>

#include <QRgb>
#include <QString>

#include "crop/CropToSelection.h"
#include "platform/errors/RuntimeError.h"
#include "platform/errors/Trap.h"
#include "view/DisplayPicture.h"
#include "view/MainWindowShell.h"
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

Trap ViewTrap(ErrorBox& errors, const char* procedure) {
  return Trap(errors, QStringLiteral("Form1"), QLatin1String(procedure));
}

}  // namespace

Selection::Selection(PictureDocument& doc, MainWindowShell& window, ErrorBox& errors)
    : doc_(doc), window_(window), errors_(errors) {}

bool Selection::inputAccepted(Trap& trap, int Button) const {
  if (!trap.test(100, [&] { return Button == 1; })) return false;
  if (!trap.test(102, [&] { return !state_.IgnoreMouse; })) return false;
  if (!trap.test(104, [&] { return !state_.CropDone; })) return false;
  return trap.test(106, [&] { return doc_.viewShowsPicture(); });
}

void Selection::Picture1_MouseDown(int Button, int /*Shift*/, float X, float Y) {
  Trap trap = ViewTrap(errors_, "Picture1_MouseDown");
  if (!inputAccepted(trap, Button)) return;
  state_.Dragging = true;
  state_.DragCancelled = false;

  trap(108, [&] { state_.StartX = RoundToLong(X); });
  trap(110, [&] { state_.StartY = RoundToLong(Y); });
  trap(112, [&] { state_.EndX = RoundToLong(X); });
  trap(114, [&] { state_.EndY = RoundToLong(Y); });
  trap(116, [&] { state_.shp1.shape = 0; });
  trap(118, [&] { state_.shp1.visible = true; });
  trap(120, [&] { state_.shp1.left = X; });
  trap(122, [&] { state_.shp1.top = Y; });
  trap(124, [&] { state_.shp1.width = 0; });
  trap(126, [&] { state_.shp1.height = 0; });
}

void Selection::Picture1_MouseMove(int Button, int /*Shift*/, float X, float Y) {
  if (state_.DragCancelled) return;
  Trap trap = ViewTrap(errors_, "Picture1_MouseMove");
  if (!inputAccepted(trap, Button)) return;

  // The first move after a completed selection starts from the clean picture again.
  if (trap.test(108, [&] { return state_.SelectionMade; })) {
    trap(110, [&] { state_.SelectionMade = false; });
    trap(112, [&] { PaintStretched(doc_.Picture1, doc_.picLoad.picture()); });
  }
  trap(114, [&] { state_.EndX = RoundToLong(X); });
  trap(116, [&] { state_.EndY = RoundToLong(Y); });
  // The band is placed from the unrounded pointer against the rounded start, so a drag either
  // way gives the same rectangle; nothing is clamped to the view.
  trap(118, [&] { state_.shp1.left = BandEdge(X, state_.StartX); });
  trap(120, [&] { state_.shp1.top = BandEdge(Y, state_.StartY); });
  trap(122, [&] { state_.shp1.width = BandExtent(X, state_.StartX); });
  trap(124, [&] { state_.shp1.height = BandExtent(Y, state_.StartY); });
}

void Selection::Picture1_MouseUp(int Button, int /*Shift*/, float /*X*/, float /*Y*/) {
  // The left button's release ends the drag, whether it crops or was called off.
  const bool cancelled = state_.DragCancelled;
  if (Button == 1) state_.Dragging = state_.DragCancelled = false;
  if (cancelled) return;
  Trap trap = ViewTrap(errors_, "Picture1_MouseUp");
  if (!inputAccepted(trap, Button)) return;

  trap(108, [&] {
    doc_.Picture1.drawBox(state_.StartX, state_.StartY, state_.EndX, state_.EndY, kReleaseBoxColor);
  });
  trap(110, [&] { state_.shp1.visible = false; });  // the geometry stays: it is the selection
  trap(112, [&] { state_.SelectionMade = true; });
  trap(114, [&] { window_.setMenuEnabled(MenuCommand::Undo, true); });
  trap(116, [&] { CropToSelection(doc_, state_.shp1); });
  // Set even when the crop failed: the view is no longer the fitted picture either way.
  trap(118, [&] { state_.CropDone = true; });
}

bool Selection::CancelDrag() {
  if (!state_.Dragging) return false;
  state_.Dragging = false;
  state_.DragCancelled = true;
  state_.shp1.visible = false;
  return true;
}

void Form_MouseMove(MainWindowShell& window, int /*Button*/, int /*Shift*/, float /*X*/,
                    float /*Y*/) {
  if (window.mousePointer() != MousePointer::Busy) window.setMousePointer(MousePointer::Default);
}

}  // namespace brindlewick
