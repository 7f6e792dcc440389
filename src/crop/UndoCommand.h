#pragma once

namespace brindlewick {

class MouseGate;
struct DisplayContext;

// "Go Back/Undo": takes back the crop by loading the picture's file again and showing it fitted
// in the full view, and lets the selection start again. Does nothing while the file is not there,
// so it can be retried later.
void mnuUndo_Click(DisplayContext& form, MouseGate& selection);

}  // namespace brindlewick
