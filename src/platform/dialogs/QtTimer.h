#pragma once

#include <QTimer>

#include "platform/dialogs/OneShotTimer.h"

namespace brindlewick {

class QtTimer : public OneShotTimer {
 public:
  QtTimer();
  void setEnabled(bool enabled) override;
  void setInterval(int milliseconds) override;
  bool isEnabled() const override { return enabled_; }
  int interval() const override { return interval_; }

 private:
  void apply();

  QTimer timer_;
  bool enabled_ = false;
  int interval_ = 0;
};

}  // namespace brindlewick
