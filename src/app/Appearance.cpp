#include "app/Appearance.h"

#include <cstdint>

#include <QApplication>
#include <QCheckBox>
#include <QColor>
#include <QGroupBox>
#include <QLabel>
#include <QPalette>
#include <QRadioButton>
#include <QWidget>

#include "app/Form1.h"
#include "platform/RuntimeError.h"
#include "platform/SkinFramework.h"
#include "platform/WindowHandles.h"
#include "settings/Application.h"
#include "settings/FileHelpers.h"

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

int32_t Int32From(const QVariant& value) {
  bool ok = false;
  const qlonglong number = value.toLongLong(&ok);
  if (!ok) throw TypeMismatchError();
  if (number < INT32_MIN || number > INT32_MAX) throw OverflowError();
  return static_cast<int32_t>(number);
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

void ApplySkin(Form1& form) {
  using namespace SkinDispatchId;
  const QString skin = form.App().file(QLatin1String(kSkinFile));
  if (!FileListed(skin)) return;

  // What shows as the main window's background is its client area.
  ApplySystemColors(*form.clientArea());

  SkinFramework& engine = form.SkinFramework1();
  engine.Invoke(LoadSkin, DispatchKind::Method, {skin, QString()});
  const int32_t options = Int32From(engine.Invoke(ApplyOptions, DispatchKind::PropertyGet, {}));
  engine.Invoke(ApplyOptions, DispatchKind::PropertyPut, {options | 1});
  engine.Invoke(AutoApplyNewWindows, DispatchKind::PropertyPut, {true});
  engine.Invoke(AutoApplyNewDialogs, DispatchKind::PropertyPut, {true});
  engine.Invoke(ApplyWindow, DispatchKind::Method, {WindowHandle(form)});
}

}  // namespace brindlewick
