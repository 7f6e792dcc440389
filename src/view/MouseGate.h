#pragma once

namespace brindlewick {

// What opening a picture tells the selection, which lives above the view in crop/: mouse input
// rests while the picture settles, and a new picture may be selected in again.
class MouseGate {
 public:
  virtual ~MouseGate() = default;
  virtual void setIgnoreMouse(bool ignore) = 0;
  virtual void setCropDone(bool done) = 0;
};

}  // namespace brindlewick
