#include "app/Appearance.h"

#include <cstdint>

#include <QWidget>

#include "app/Form1.h"
#include "platform/errors/RuntimeError.h"
#include "platform/skin/SkinFramework.h"
#include "platform/skin/SystemColors.h"
#include "platform/skin/WindowHandles.h"
#include "settings/Application.h"
#include "settings/FileHelpers.h"

namespace brindlewick {
namespace {

int32_t Int32From(const QVariant& value) {
  bool ok = false;
  const qlonglong number = value.toLongLong(&ok);
  if (!ok) throw TypeMismatchError();
  if (number < INT32_MIN || number > INT32_MAX) throw OverflowError();
  return static_cast<int32_t>(number);
}

}  // namespace

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
