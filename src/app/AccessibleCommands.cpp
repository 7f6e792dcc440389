#include "app/AccessibleCommands.h"

#include <QAccessible>
#include <QAccessibleInterface>
#include <QAccessibleWidget>
#include <QAction>
#include <QMenuBar>
#include <QPointer>

#include "app/Form2.h"
#include "platform/surface/PictureBox.h"

namespace brindlewick {
namespace {

// A command standing on the menu bar, as a menu item that can be pressed.
class CommandItem : public QAccessibleInterface, public QAccessibleActionInterface {
 public:
  CommandItem(QMenuBar& bar, QAction& command) : bar_(&bar), command_(&command) {}

  bool isValid() const override { return bar_ && command_; }
  QObject* object() const override { return command_; }
  QAccessibleInterface* parent() const override {
    return QAccessible::queryAccessibleInterface(bar_);
  }
  QAccessibleInterface* child(int) const override { return nullptr; }
  QAccessibleInterface* childAt(int, int) const override { return nullptr; }
  int childCount() const override { return 0; }
  int indexOfChild(const QAccessibleInterface*) const override { return -1; }
  QAccessible::Role role() const override { return QAccessible::MenuItem; }
  void setText(QAccessible::Text, const QString&) override {}

  QString text(QAccessible::Text t) const override {
    switch (t) {
      case QAccessible::Name:
        return command_->text();
      case QAccessible::Description:
        return command_->whatsThis();
      case QAccessible::Accelerator:
        return command_->shortcut().toString(QKeySequence::NativeText);
      default:
        return {};
    }
  }

  QRect rect() const override {
    return bar_->actionGeometry(command_).translated(bar_->mapToGlobal(QPoint(0, 0)));
  }

  QAccessible::State state() const override {
    QAccessible::State s;
    s.invisible = !bar_->isVisible() || !command_->isVisible();
    s.disabled = !command_->isEnabled();
    s.focusable = true;
    s.focused = bar_->hasFocus() && bar_->activeAction() == command_;
    return s;
  }

  void* interface_cast(QAccessible::InterfaceType type) override {
    return type == QAccessible::ActionInterface ? static_cast<QAccessibleActionInterface*>(this)
                                                : nullptr;
  }

  QStringList actionNames() const override { return {pressAction()}; }
  QStringList keyBindingsForAction(const QString&) const override {
    return {text(QAccessible::Accelerator)};
  }
  void doAction(const QString& name) override {
    if (name != pressAction() || !command_->isEnabled()) return;
    // Run from the event loop: a command that opens a dialog must not hold up the reader's call.
    QMetaObject::invokeMethod(command_, &QAction::trigger, Qt::QueuedConnection);
  }

 private:
  QPointer<QMenuBar> bar_;
  QPointer<QAction> command_;
};

QAccessibleInterface* Factory(const QString& className, QObject* object) {
  if (className == QLatin1String("QAction")) {
    auto* command = static_cast<QAction*>(object);
    if (auto* bar = qobject_cast<QMenuBar*>(command->parent())) {
      return new CommandItem(*bar, *command);
    }
  }
  if (className == QLatin1String(PictureBox::staticMetaObject.className())) {
    return new QAccessibleWidget(static_cast<QWidget*>(object), QAccessible::Graphic);
  }
  // The options dialog is a window of its own, not a bare area of one.
  if (className == QLatin1String(Form2::staticMetaObject.className())) {
    return new QAccessibleWidget(static_cast<QWidget*>(object), QAccessible::Dialog);
  }
  return nullptr;
}

}  // namespace

void InstallAccessibleCommands() {
  static const bool installed = [] {
    QAccessible::installFactory(Factory);
    return true;
  }();
  (void)installed;
}

}  // namespace brindlewick
