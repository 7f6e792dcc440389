#include "app/MenuBarKeys.h"

#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QKeyEvent>
#include <QMenuBar>
#include <QShortcut>

namespace brindlewick {

MenuBarKeys::MenuBarKeys(QMenuBar& bar, QWidget& window) : QObject(&bar), bar_(bar) {
  auto* f10 = new QShortcut(QKeySequence(Qt::Key_F10), &window);
  f10->setObjectName(QStringLiteral("MenuBarKey"));
  connect(f10, &QShortcut::activated, this, [this] { active() ? leave() : enter(); });
  bar_.installEventFilter(this);
}

bool MenuBarKeys::active() const { return bar_.hasFocus(); }

void MenuBarKeys::enter() {
  QAction* first = enabledFrom(-1, +1);
  if (!first) return;
  QWidget* focus = QApplication::focusWidget();
  if (focus != &bar_) previousFocus_ = focus;
  bar_.setFocus(Qt::MenuBarFocusReason);
  mark(first);
}

void MenuBarKeys::leave() {
  bar_.setActiveAction(nullptr);
  if (!bar_.hasFocus()) return;
  if (previousFocus_) {
    previousFocus_->setFocus(Qt::MenuBarFocusReason);
  } else {
    bar_.clearFocus();
  }
}

bool MenuBarKeys::eventFilter(QObject* watched, QEvent* event) {
  if (watched != &bar_) return false;
  if (event->type() == QEvent::FocusOut) bar_.setActiveAction(nullptr);
  if (event->type() != QEvent::KeyPress || !active()) return false;
  return handleKey(static_cast<QKeyEvent*>(event)->key());
}

bool MenuBarKeys::handleKey(int key) {
  const int count = int(bar_.actions().size());
  const int at = int(bar_.actions().indexOf(bar_.activeAction()));
  switch (key) {
    case Qt::Key_Left:
      mark(enabledFrom(at < 0 ? count : at, -1));
      return true;
    case Qt::Key_Right:
      mark(enabledFrom(at, +1));
      return true;
    case Qt::Key_Home:
      mark(enabledFrom(-1, +1));
      return true;
    case Qt::Key_End:
      mark(enabledFrom(count, -1));
      return true;
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Space: {
      // The keyboard goes back first: the command may open a window of its own.
      QAction* command = bar_.activeAction();
      leave();
      if (command && command->isEnabled()) command->trigger();
      return true;
    }
    case Qt::Key_Escape:
      leave();
      return true;
    default:
      return false;
  }
}

void MenuBarKeys::mark(QAction* command) {
  if (!command) return;
  bar_.setActiveAction(command);
  // A screen reader says the command the mark reached.
  QAccessibleEvent focus(command, QAccessible::Focus);
  QAccessible::updateAccessibility(&focus);
}

QAction* MenuBarKeys::enabledFrom(int from, int direction) const {
  const QList<QAction*> commands = bar_.actions();
  const int count = int(commands.size());
  for (int step = 1; step <= count; ++step) {
    const int index = ((from + direction * step) % count + count) % count;
    if (commands[index]->isEnabled() && commands[index]->isVisible()) return commands[index];
  }
  return nullptr;
}

}  // namespace brindlewick
