#include "app/Appearance.h"

#include "app/Form1.h"
#include "settings/Application.h"
#include "settings/FileHelpers.h"

namespace brindlewick {

inline constexpr char kSkinFile[] = "x/o.cjs";

void ApplySkin(Form1& form) {
  const QString skin = form.App().file(QLatin1String(kSkinFile));
  if (!FileListed(skin)) return;
  // TODO(appearance): button-face colours and the skin engine.
}

}  // namespace brindlewick
