#pragma once

#include <cstdint>
#include <functional>

#include <QRect>
#include <QString>

#include "platform/surface/Shape.h"
#include "view/MouseGate.h"

namespace brindlewick {

class ErrorBox;
class MainWindowShell;
struct PictureDocument;
class Trap;

// The rubber-band selection on the view: its corners, the band shp1, and the flags that decide
// whether the mouse may select. The three mouse handlers of the view are its steps: a left-button
// drag shows the band, and the release crops the view to it. The keys choose the same band and
// crop as a release over it does, whenever the mouse could.
class Selection final : public MouseGate {
 public:
  Selection(PictureDocument& doc, MainWindowShell& window, ErrorBox& errors);

  // Button is the classic mask (1 left, 2 right, 4 middle): the button that changed in a press or
  // release, every button held in a move. X and Y are view pixels; while the mouse is captured
  // they can lie outside the view. Shift is not used.
  void Picture1_MouseDown(int Button, int Shift, float X, float Y);
  void Picture1_MouseMove(int Button, int Shift, float X, float Y);
  void Picture1_MouseUp(int Button, int Shift, float X, float Y);
  // Escape during a drag calls it off: the band goes, and the rest of that drag, its release
  // included, is ignored. Outside a drag it does nothing. True when a drag was called off.
  bool CancelDrag();

  // The band from the keyboard, in view pixels: always inside the view and at least one pixel
  // wide and high. Without a band from the keys on show, each starts from the whole view. Each
  // does nothing while the mouse could not select either, or while a drag is on. Failures are
  // reported as Form1.Picture1_KeyDown's, under the numbers of the mouse's statements they mirror:
  // the guard's 102 to 106, a first move's 108 to 112, a release's 108 to 118.
  void SelectWholeView();
  void MoveSelection(int dx, int dy);
  // Moves the right and bottom edges; the left and top stay.
  void ResizeSelection(int dx, int dy);
  // Crops to the band as a release over it would: the same pixels, the same Go Back/Undo.
  void CropToKeyboardSelection();
  // The band goes. True when there was one from the keys.
  bool CancelKeyboardSelection();

  // What the selection holds between events.
  struct State {
    // In view pixels.
    int32_t StartX = 0;
    int32_t StartY = 0;
    int32_t EndX = 0;
    int32_t EndY = 0;
    Shape shp1;  // drawn over the view, never into it

    bool SelectionMade = false;
    bool IgnoreMouse = false;  // while a picture just opened settles
    bool CropDone = false;     // set by the crop; selection waits for the next display
    bool Dragging = false;     // from an accepted press to its release
    bool DragCancelled = false;
    bool KeyboardSelecting = false;  // the band shown is the keys'
  };

  int32_t StartX() const { return state_.StartX; }
  int32_t StartY() const { return state_.StartY; }
  int32_t EndX() const { return state_.EndX; }
  int32_t EndY() const { return state_.EndY; }
  const Shape& shp1() const { return state_.shp1; }
  bool SelectionMade() const { return state_.SelectionMade; }
  bool IgnoreMouse() const { return state_.IgnoreMouse; }
  bool CropDone() const { return state_.CropDone; }

  void setIgnoreMouse(bool ignore) override;
  void setCropDone(bool done) override { state_.CropDone = done; }

  // For tests only: the one way in for tests that must start from a state only a longer run of
  // steps reaches (a band an earlier drag left, a crop already done).
  State& stateForTest() { return state_; }

 private:
  // Selection takes the left button alone, once the open command's quiet time is over, before
  // the picture is cropped, and only while the view shows a picture.
  bool inputAccepted(Trap& trap, int Button) const;
  // The guard's tests after the button's: the mouse or the keys may select now.
  bool selectionOpen(Trap& trap) const;
  // The first change after a completed selection starts from the clean picture again.
  void startFromCleanPicture(Trap& trap);
  // The release's statements: the view is cropped to the band.
  void completeSelection(Trap& trap);
  // One key's step: the band it gives, from the band the keys show (or the whole view) and the
  // view's size.
  void adjustWithKeys(const std::function<QRect(QRect, QSize)>& step);

  PictureDocument& doc_;
  MainWindowShell& window_;
  ErrorBox& errors_;
  State state_;
};

// The size a crop to the band would have, in view pixels, which are the saved picture's pixels:
// "400 x 300".
QString SelectionSize(const Shape& band);
// What a screen reader says of the band: its size and where it lies in the view.
QString SelectionDescription(const Shape& band);

// A move over the window's own surface outside the view: the pointer goes back to the default,
// unless the window is showing that it is busy.
void Form_MouseMove(MainWindowShell& window, int Button, int Shift, float X, float Y);

}  // namespace brindlewick
