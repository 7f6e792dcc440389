#pragma once

class QString;

namespace brindlewick {

class Picture;
class Surface;
struct Form1Context;

// Loads the file into picDraw, estimates its quality into JPGQuality and PrevQuality, and paints
// it fitted and centred into Pic1 and identically into the clean copy picLoad. Every failure is
// reported under its statement and the display goes on.
void DisplayPicture(Form1Context& form, const QString& filename, Surface& Pic1);

// Clears the target and paints the picture over its whole width and height.
void PaintStretched(Surface& target, const Picture& picture);

// The tick of the 500 ms timer started by the open commands: mouse input is taken again.
void Timer1_Timer(Form1Context& form);

}  // namespace brindlewick
