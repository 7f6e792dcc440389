#include "output/SaveCommand.h"

#include <cstdint>

#include "modules/SaveAsJPG.h"
#include "platform/dialogs/FileDialog.h"
#include "platform/errors/RuntimeError.h"
#include "platform/errors/Trap.h"
#include "view/BusyPointer.h"
#include "view/JpegFilter.h"
#include "view/MainWindowShell.h"
#include "view/PictureDocument.h"

namespace brindlewick {
namespace {

uint8_t ToByte(int16_t value) {
  if (value < 0 || value > 255) throw OverflowError();
  return static_cast<uint8_t>(value);
}

}  // namespace

void mnuSave_Click(SaveContext& form) {
  FileDialog& dialog = form.CommonDialog1;
  Trap trap(form.errors, QStringLiteral("Form1"), QStringLiteral("mnuSave_Click"));

  trap(100, [&] { dialog.FileName.clear(); });
  trap(102, [&] { dialog.DialogTitle = QStringLiteral("Save Image As"); });
  trap(104, [&] { dialog.Filter = QLatin1String(kJpegFilter); });
  trap(106, [&] { dialog.ShowSave(); });
  if (trap.test(108, [&] { return dialog.FileName.isEmpty(); })) return;
  trap(110, [&] {
    const BusyPointer busy(form.window);
    SaveJPG(form.doc.Picture1.image(), dialog.FileName, ToByte(form.doc.JPGQuality), form.imaging);
  });
}

}  // namespace brindlewick
