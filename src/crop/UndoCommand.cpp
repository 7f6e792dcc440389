#include "crop/UndoCommand.h"

#include "platform/surface/Surface.h"
#include "settings/FileHelpers.h"
#include "view/DisplayPicture.h"
#include "view/Form1Context.h"
#include "view/FormResize.h"
#include "view/PictureDocument.h"

namespace brindlewick {

void mnuUndo_Click(Form1Context& form) {
  PictureDocument& doc = form.doc;
  if (doc.Tag.isEmpty()) return;
  if (!FileListed(doc.Tag)) return;

  // The same sizing as the window's layout: a side is set only while it stays positive.
  const float width = float(form.window.ScaleWidth()) - kViewMargin;
  if (width > 0) doc.Picture1.setWidth(width);
  const float height = float(form.window.ScaleHeight()) - kViewMargin;
  if (height > 0) doc.Picture1.setHeight(height);

  DisplayPicture(form, doc.Tag, doc.Picture1);
  form.window.setMenuEnabled(MenuCommand::Undo, false);
  // SelectionMade stays as the crop left it, so the next drag repaints from the clean copy.
  doc.CropDone = false;
}

}  // namespace brindlewick
