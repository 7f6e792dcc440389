#include "view/FormResize.h"

#include "platform/errors/Trap.h"
#include "settings/FileHelpers.h"
#include "view/DisplayPicture.h"
#include "view/Form1Context.h"
#include "view/PictureDocument.h"

namespace brindlewick {

void Form_Resize(Form1Context& form) {
  PictureDocument& doc = form.doc;
  Trap trap(form.errors, QStringLiteral("Form1"), QStringLiteral("Form_Resize"));

  if (trap.test(100, [&] { return form.window.isMinimized(); })) return;
  trap(102, [&] {
    const float width = float(form.window.ScaleWidth()) - kViewMargin;
    if (width > 0) doc.Picture1.setWidth(width);
  });
  trap(104, [&] {
    const float height = float(form.window.ScaleHeight()) - kViewMargin;
    if (height > 0) doc.Picture1.setHeight(height);
  });
  // A failure while reading the path or testing the file goes on to the redisplay attempt.
  bool stop = false;
  trap(106, [&] { stop = doc.Tag.isEmpty(); });
  if (stop) return;
  trap(108, [&] { stop = !FileListed(doc.Tag); });
  if (stop) return;
  trap(110, [&] { DisplayPicture(form, doc.Tag, doc.Picture1); });
}

}  // namespace brindlewick
