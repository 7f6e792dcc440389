#include "platform/surface/RelayoutWatch.h"

#include <QEvent>
#include <QWidget>

namespace brindlewick {

RelayoutWatch::RelayoutWatch(const QWidget& window)
    : window_(window), ratio_(window.devicePixelRatioF()) {}

bool RelayoutWatch::needsLayout(const QEvent& event) {
  bool ratioEvent = event.type() == QEvent::ScreenChangeInternal;
#if QT_VERSION >= QT_VERSION_CHECK(6, 6, 0)
  ratioEvent = ratioEvent || event.type() == QEvent::DevicePixelRatioChange;
#endif
  if (event.type() != QEvent::Resize && !ratioEvent) return false;
  const double ratio = window_.devicePixelRatioF();
  const bool changed = ratio != ratio_;
  ratio_ = ratio;
  return event.type() == QEvent::Resize || changed;
}

}  // namespace brindlewick
