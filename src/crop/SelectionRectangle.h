#pragma once

namespace brindlewick {

struct Form1Context;

// The mouse on the view: a left-button drag shows the rubber band shp1 and its release crops the
// view to it. Button is the classic mask (1 left, 2 right, 4 middle): the button that changed in a
// press or release, every button held in a move. X and Y are view pixels; while the mouse is
// captured they can lie outside the view. Shift is not used.
void Picture1_MouseDown(Form1Context& form, int Button, int Shift, float X, float Y);
void Picture1_MouseMove(Form1Context& form, int Button, int Shift, float X, float Y);
void Picture1_MouseUp(Form1Context& form, int Button, int Shift, float X, float Y);

// A move over the window's own surface outside the view: the pointer goes back to the default,
// unless the window is showing that it is busy.
void Form_MouseMove(Form1Context& form, int Button, int Shift, float X, float Y);

}  // namespace brindlewick
