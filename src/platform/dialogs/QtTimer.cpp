#include "platform/dialogs/QtTimer.h"

namespace brindlewick {

QtTimer::QtTimer() {
  QObject::connect(&timer_, &QTimer::timeout, [this] { tick(); });
}

void QtTimer::setEnabled(bool enabled) {
  enabled_ = enabled;
  apply();
}

void QtTimer::setInterval(int milliseconds) {
  interval_ = milliseconds;
  apply();
}

// Runs only while enabled with a non-zero interval; changing either restarts the count.
void QtTimer::apply() {
  if (enabled_ && interval_ > 0) {
    timer_.start(interval_);
  } else {
    timer_.stop();
  }
}

}  // namespace brindlewick
