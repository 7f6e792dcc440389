#pragma once

#include <cstdint>

#include "platform/surface/Shape.h"
#include "view/MouseGate.h"

namespace brindlewick {

class ErrorBox;
class MainWindowShell;
struct PictureDocument;
class Trap;

// The rubber-band selection on the view: its corners, the band shp1, and the flags that decide
// whether the mouse may select. The three mouse handlers of the view are its steps: a left-button
// drag shows the band, and the release crops the view to it.
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
  };

  int32_t StartX() const { return state_.StartX; }
  int32_t StartY() const { return state_.StartY; }
  int32_t EndX() const { return state_.EndX; }
  int32_t EndY() const { return state_.EndY; }
  const Shape& shp1() const { return state_.shp1; }
  bool SelectionMade() const { return state_.SelectionMade; }
  bool IgnoreMouse() const { return state_.IgnoreMouse; }
  bool CropDone() const { return state_.CropDone; }

  void setIgnoreMouse(bool ignore) override { state_.IgnoreMouse = ignore; }
  void setCropDone(bool done) override { state_.CropDone = done; }

  // The one way in for tests that must start from a state only a longer run of steps reaches: a
  // band an earlier drag left, a crop already done. The program itself never calls it.
  State& stateForTest() { return state_; }

 private:
  // Selection takes the left button alone, once the open command's quiet time is over, before
  // the picture is cropped, and only while the view shows a picture.
  bool inputAccepted(Trap& trap, int Button) const;

  PictureDocument& doc_;
  MainWindowShell& window_;
  ErrorBox& errors_;
  State state_;
};

// A move over the window's own surface outside the view: the pointer goes back to the default,
// unless the window is showing that it is busy.
void Form_MouseMove(MainWindowShell& window, int Button, int Shift, float X, float Y);

}  // namespace brindlewick
