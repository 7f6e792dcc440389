#pragma once

#include <QObject>
#include <QPointer>

class QAction;
class QEvent;
class QMenuBar;
class QWidget;

namespace brindlewick {

// Takes the menu bar's commands to the keyboard, as F10 does on other desktops: F10 gives the
// bar the keyboard with its first enabled command marked; Left and Right (round the ends), Home
// and End move the mark over the enabled commands; Return, Enter or Space runs the marked one;
// Escape, F10 again or a click elsewhere gives the keyboard back. Qt's own walk of the bar
// hangs on a style hint that Fusion leaves off, so the bar is walked here.
class MenuBarKeys : public QObject {
 public:
  MenuBarKeys(QMenuBar& bar, QWidget& window);

  bool active() const;
  void enter();
  void leave();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  bool handleKey(int key);
  void mark(QAction* command);
  // The next enabled command from `from` in that direction, round the ends; null when none is.
  QAction* enabledFrom(int from, int direction) const;

  QMenuBar& bar_;
  QPointer<QWidget> previousFocus_;
};

}  // namespace brindlewick
