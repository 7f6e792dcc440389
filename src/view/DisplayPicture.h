#pragma once

class QString;

namespace brindlewick {

class ErrorBox;
class MainWindowShell;
class Picture;
class PictureLoader;
class Surface;
struct PictureDocument;

// What showing a picture works on: the document, the window it is shown in (for the busy
// pointer and the client area), the error box and the loader.
struct DisplayContext {
  PictureDocument& doc;
  MainWindowShell& window;
  ErrorBox& errors;
  PictureLoader& loader;
};

// Loads the file into picDraw, estimates its quality into JPGQuality and PrevQuality, and paints
// it fitted and centred into Pic1 and identically into the clean copy picLoad. Every failure is
// reported under its statement and the display goes on.
void DisplayPicture(DisplayContext& form, const QString& filename, Surface& Pic1);

// Clears the target and paints the picture over its whole width and height.
void PaintStretched(Surface& target, const Picture& picture);

}  // namespace brindlewick
