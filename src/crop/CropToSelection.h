#pragma once

namespace brindlewick {

struct PictureDocument;
struct Shape;

// Shrinks the view to the selection and copies the selected pixels one for one from the
// clean copy picLoad, at display resolution. The view keeps its top-left corner; whatever of the
// selection lies outside the clean copy comes out in the view's background colour. Failures pass
// to the caller.
void CropToSelection(PictureDocument& doc, const Shape& shp1);

}  // namespace brindlewick
