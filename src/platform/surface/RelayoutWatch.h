#pragma once

class QEvent;
class QWidget;

namespace brindlewick {

// Tells which events of a window ask for a new layout: every resize, and a move to a screen of
// another device pixel ratio (or that ratio changing), which changes the device size of an
// unchanged logical size. A move to a screen of the same ratio asks for nothing.
class RelayoutWatch {
 public:
  explicit RelayoutWatch(const QWidget& window);
  bool needsLayout(const QEvent& event);

 private:
  const QWidget& window_;
  double ratio_;
};

}  // namespace brindlewick
