#pragma once

namespace brindlewick {

struct Form1Context;

// "Save Image": asks for a file name and writes what the view shows, at the view's size, as a
// JPEG at the current output quality. Cancelling writes nothing.
void mnuSave_Click(Form1Context& form);

}  // namespace brindlewick
