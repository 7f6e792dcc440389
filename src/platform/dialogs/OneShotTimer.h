#pragma once

#include <functional>

namespace brindlewick {

// A timer in the classic form: it ticks every Interval milliseconds while enabled with a
// non-zero interval. The program's handlers stop it on the first tick.
class OneShotTimer {
 public:
  virtual ~OneShotTimer() = default;
  virtual void setEnabled(bool enabled) = 0;
  virtual void setInterval(int milliseconds) = 0;
  virtual bool isEnabled() const = 0;
  virtual int interval() const = 0;
  void onTick(std::function<void()> tick) { tick_ = std::move(tick); }

 protected:
  void tick() {
    if (tick_) tick_();
  }

 private:
  std::function<void()> tick_;
};

}  // namespace brindlewick
