#pragma once

namespace brindlewick {

class Form1;

// Restyles the main window when a skin file lies in the program's folder.
void ApplySkin(Form1& form);

}  // namespace brindlewick
