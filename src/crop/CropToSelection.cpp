#include "crop/CropToSelection.h"

#include "platform/surface/Picture.h"
#include "platform/surface/Shape.h"
#include "platform/surface/Surface.h"
#include "view/PictureDocument.h"

namespace brindlewick {

void CropToSelection(PictureDocument& doc, const Shape& selection) {
  Surface& view = doc.Picture1;

  // Emptying the picture also blocks further selection until the picture is shown again.
  view.setPicture(Picture());
  view.setHeight(selection.height);
  view.setWidth(selection.width);
  view.refresh();
  view.paintPicture(doc.picLoad.image(), 0, 0, selection.width, selection.height, selection.left,
                    selection.top, selection.width, selection.height);
}

}  // namespace brindlewick
