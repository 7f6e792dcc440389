#pragma once

#include "view/MainWindowShell.h"

namespace brindlewick {

// Shows the busy pointer over the window while it lives, then puts back the pointer the window
// had before, also when the work in between fails.
class BusyPointer {
 public:
  explicit BusyPointer(MainWindowShell& window)
      : window_(window), previous_(window.mousePointer()) {
    window_.setMousePointer(MousePointer::Busy);
  }
  ~BusyPointer() { window_.setMousePointer(previous_); }
  BusyPointer(const BusyPointer&) = delete;
  BusyPointer& operator=(const BusyPointer&) = delete;

 private:
  MainWindowShell& window_;
  const MousePointer previous_;
};

}  // namespace brindlewick
