#pragma once

#include "platform/skin/MousePointer.h"

namespace brindlewick {

enum class MenuCommand { SelectPicture, Undo, Save, JPGQuality, LoadSample };

// What the handlers need of the main window itself: its menu commands, its client area, its
// pointer, and showing it again. Form1 implements it; tests fake it. The options dialog reaches
// the main window through it too, so neither window needs the other's class.
class MainWindowShell {
 public:
  virtual ~MainWindowShell() = default;
  virtual void setMenuEnabled(MenuCommand command, bool enabled) = 0;
  virtual bool isMinimized() const = 0;
  // The client area's inner size in the window's coordinate unit (pixels once loaded).
  virtual double ScaleWidth() const = 0;
  virtual double ScaleHeight() const = 0;
  // The screen's pixels to one pixel at 96 dots per inch: 1 at 100 %, 1.5 at 150 %.
  virtual double pixelRatio() const = 0;
  // The pointer shown over the window's own surface, outside its controls.
  virtual MousePointer mousePointer() const = 0;
  virtual void setMousePointer(MousePointer pointer) = 0;
  virtual void Show() = 0;
};

}  // namespace brindlewick
