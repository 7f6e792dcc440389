#include "crop/UndoCommand.h"

#include "settings/FileHelpers.h"
#include "view/DisplayPicture.h"
#include "view/FormResize.h"
#include "view/MainWindowShell.h"
#include "view/MouseGate.h"
#include "view/PictureDocument.h"

namespace brindlewick {

void mnuUndo_Click(DisplayContext& form, MouseGate& selection) {
  PictureDocument& doc = form.doc;
  if (doc.Tag.isEmpty()) return;
  if (!FileListed(doc.Tag)) return;

  FitViewWidth(doc.Picture1, form.window);
  FitViewHeight(doc.Picture1, form.window);
  DisplayPicture(form, doc.Tag, doc.Picture1);
  form.window.setMenuEnabled(MenuCommand::Undo, false);
  // SelectionMade stays as the crop left it, so the next drag repaints from the clean copy.
  selection.setCropDone(false);
}

}  // namespace brindlewick
