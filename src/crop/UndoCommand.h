#pragma once

namespace brindlewick {

struct Form1Context;

// "Go Back/Undo": takes back the crop by loading the picture's file again and showing it fitted
// in the full view. Does nothing while the file is not there, so it can be retried later.
void mnuUndo_Click(Form1Context& form);

}  // namespace brindlewick
