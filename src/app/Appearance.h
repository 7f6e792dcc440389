#pragma once

namespace brindlewick {

class Form1;

inline constexpr char kSkinFile[] = "x/o.cjs";

// Restyles the main window when a skin file lies in the program's folder: button-face colours,
// then the skin engine, in that order. A failure is the caller's to report.
void ApplySkin(Form1& form);

}  // namespace brindlewick
