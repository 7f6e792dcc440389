#include "platform/dialogs/WindowPlacement.h"

#include <QEvent>
#include <QScreen>
#include <QWidget>

namespace brindlewick {
namespace {

class Centring : public QObject {
 public:
  explicit Centring(QWidget& window) : QObject(&window), window_(window) {
    window.installEventFilter(this);
  }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (watched == &window_ && event->type() == QEvent::Show) {
      if (const QScreen* screen = window_.screen()) {
        QRect frame = window_.frameGeometry();
        frame.moveCenter(screen->availableGeometry().center());
        window_.move(frame.topLeft());
      }
      window_.removeEventFilter(this);
      deleteLater();
    }
    return false;
  }

 private:
  QWidget& window_;
};

}  // namespace

void CentreOnFirstShow(QWidget& window) { new Centring(window); }

}  // namespace brindlewick
