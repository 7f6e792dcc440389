#include "crop/Selection.h"

#include <algorithm>
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

// A rectangle kept inside the view, at least one pixel each way: its size first, then its place.
QRect KeptInView(const QRect& band, QSize view) {
  const int width = std::clamp(band.width(), 1, view.width());
  const int height = std::clamp(band.height(), 1, view.height());
  return QRect(std::clamp(band.x(), 0, view.width() - width),
               std::clamp(band.y(), 0, view.height() - height), width, height);
}

// A length or place of the band as the crop takes it: whole pixels, halves to even.
QString Whole(float value) {
  return QString::number(std::nearbyint(double(value)) + 0.0, 'f', 0);  // never "-0"
}

}  // namespace

Selection::Selection(PictureDocument& doc, MainWindowShell& window, ErrorBox& errors)
    : doc_(doc), window_(window), errors_(errors) {}

bool Selection::inputAccepted(Trap& trap, int Button) const {
  if (!trap.test(100, [&] { return Button == 1; })) return false;
  return selectionOpen(trap);
}

bool Selection::selectionOpen(Trap& trap) const {
  if (!trap.test(102, [&] { return !state_.IgnoreMouse; })) return false;
  if (!trap.test(104, [&] { return !state_.CropDone; })) return false;
  return trap.test(106, [&] { return doc_.viewShowsPicture(); });
}

void Selection::Picture1_MouseDown(int Button, int /*Shift*/, float X, float Y) {
  Trap trap = ViewTrap(errors_, "Picture1_MouseDown");
  if (!inputAccepted(trap, Button)) return;
  state_.Dragging = true;
  state_.DragCancelled = false;
  state_.KeyboardSelecting = false;  // the drag takes over the band

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

  startFromCleanPicture(trap);
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
  completeSelection(trap);
}

void Selection::startFromCleanPicture(Trap& trap) {
  if (trap.test(108, [&] { return state_.SelectionMade; })) {
    trap(110, [&] { state_.SelectionMade = false; });
    trap(112, [&] { PaintStretched(doc_.Picture1, doc_.picLoad.picture()); });
  }
}

void Selection::completeSelection(Trap& trap) {
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

void Selection::setIgnoreMouse(bool ignore) {
  state_.IgnoreMouse = ignore;
  // A picture is being opened: no band chosen on the last one stays.
  if (ignore) CancelKeyboardSelection();
}

void Selection::SelectWholeView() {
  adjustWithKeys([](QRect, QSize view) { return QRect(QPoint(0, 0), view); });
}

void Selection::MoveSelection(int dx, int dy) {
  adjustWithKeys([=](QRect band, QSize view) {
    band.moveTo(std::clamp(band.x() + dx, 0, view.width() - band.width()),
                std::clamp(band.y() + dy, 0, view.height() - band.height()));
    return band;
  });
}

void Selection::ResizeSelection(int dx, int dy) {
  adjustWithKeys([=](QRect band, QSize view) {
    band.setWidth(std::clamp(band.width() + dx, 1, view.width() - band.x()));
    band.setHeight(std::clamp(band.height() + dy, 1, view.height() - band.y()));
    return band;
  });
}

// The keys' band is whole view pixels, so its corners are what a drag from its top-left corner to
// its bottom-right one would leave.
void Selection::adjustWithKeys(const std::function<QRect(QRect, QSize)>& step) {
  Trap trap = ViewTrap(errors_, "Picture1_KeyDown");
  if (state_.Dragging || !selectionOpen(trap)) return;
  const QSize view(doc_.Picture1.width(), doc_.Picture1.height());
  if (view.isEmpty()) return;
  const Shape& shown = state_.shp1;
  const QRect from =
      state_.KeyboardSelecting
          ? KeptInView(QRect(int(shown.left), int(shown.top), int(shown.width), int(shown.height)),
                       view)
          : QRect(QPoint(0, 0), view);
  startFromCleanPicture(trap);
  const QRect band = KeptInView(step(from, view), view);
  state_.StartX = band.x();
  state_.StartY = band.y();
  state_.EndX = band.x() + band.width();
  state_.EndY = band.y() + band.height();
  state_.shp1 =
      Shape{0, true, float(band.x()), float(band.y()), float(band.width()), float(band.height())};
  state_.KeyboardSelecting = true;
}

void Selection::CropToKeyboardSelection() {
  if (!state_.KeyboardSelecting) return;
  Trap trap = ViewTrap(errors_, "Picture1_KeyDown");
  if (state_.Dragging || !selectionOpen(trap)) return;
  state_.KeyboardSelecting = false;
  completeSelection(trap);
}

bool Selection::CancelKeyboardSelection() {
  if (!state_.KeyboardSelecting) return false;
  state_.KeyboardSelecting = false;
  state_.shp1.visible = false;
  return true;
}

QString SelectionSize(const Shape& band) {
  return Whole(band.width) + QStringLiteral(" x ") + Whole(band.height);
}

QString SelectionDescription(const Shape& band) {
  return QStringLiteral("Selection of %1 pixels, %2 from the left and %3 from the top.")
      .arg(SelectionSize(band), Whole(band.left), Whole(band.top));
}

void Form_MouseMove(MainWindowShell& window, int /*Button*/, int /*Shift*/, float /*X*/,
                    float /*Y*/) {
  if (window.mousePointer() != MousePointer::Busy) window.setMousePointer(MousePointer::Default);
}

}  // namespace brindlewick
