#include "platform/skin/SystemColors.h"

#include <QApplication>
#include <QCheckBox>
#include <QColor>
#include <QGroupBox>
#include <QLabel>
#include <QPalette>
#include <QRadioButton>
#include <QWidget>

namespace brindlewick {
namespace {

void SetBackground(QWidget& widget, const QColor& colour) {
  QPalette palette = widget.palette();
  palette.setColor(QPalette::Window, colour);
  widget.setPalette(palette);
  widget.setAutoFillBackground(true);
}

bool IsRecoloured(const QWidget* widget) {
  return qobject_cast<const QRadioButton*>(widget) || qobject_cast<const QCheckBox*>(widget) ||
         qobject_cast<const QGroupBox*>(widget) || qobject_cast<const QLabel*>(widget);
}

}  // namespace

QColor ButtonFaceColor() { return QApplication::palette().color(QPalette::Button); }

void ApplySystemColors(QWidget& window) {
  const QColor face = ButtonFaceColor();
  SetBackground(window, face);
  for (QWidget* control : window.findChildren<QWidget*>()) {
    // Windows of their own (a box the window owns) are not its controls.
    if (control->window() == window.window() && IsRecoloured(control)) {
      SetBackground(*control, face);
    }
  }
}

}  // namespace brindlewick
