#pragma once

#include "platform/skin/MousePointer.h"

namespace brindlewick {

struct Application;
class ErrorBox;
class FileDialog;
class ImagingLibrary;
class OneShotTimer;
class PictureLoader;
struct PictureDocument;

enum class MenuCommand { SelectPicture, Undo, Save, JPGQuality, LoadSample };

// What the main window's handlers need of the window itself. Form1 implements it; tests fake it.
class MainWindowShell {
 public:
  virtual ~MainWindowShell() = default;
  virtual void setMenuEnabled(MenuCommand command, bool enabled) = 0;
  virtual bool isMenuEnabled(MenuCommand command) const = 0;
  virtual bool isMinimized() const = 0;
  // The client area's inner size in the window's coordinate unit (pixels once loaded).
  virtual double ScaleWidth() const = 0;
  virtual double ScaleHeight() const = 0;
  // The pointer shown over the window's own surface, outside its controls.
  virtual MousePointer mousePointer() const = 0;
  virtual void setMousePointer(MousePointer pointer) = 0;
};

// Everything a handler of the main window works on: the document, the window, and the seams to
// the outside. The handlers themselves are free functions in their subsystem's folder.
struct Form1Context {
  PictureDocument& doc;
  MainWindowShell& window;
  ErrorBox& errors;
  FileDialog& CommonDialog1;
  OneShotTimer& Timer1;
  PictureLoader& loader;
  const Application& App;
  ImagingLibrary& imaging;
};

}  // namespace brindlewick
