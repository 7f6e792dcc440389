#pragma once

class QColor;
class QWidget;

namespace brindlewick {

class Form1;

inline constexpr char kSkinFile[] = "x/o.cjs";

// The system's button-face colour: the button colour of the application palette, which follows
// the desktop's colour scheme.
QColor ButtonFaceColor();

// Restyles the main window when a skin file lies in the program's folder: button-face colours,
// then the skin engine, in that order. A failure is the caller's to report.
void ApplySkin(Form1& form);

// Paints the window, and its option buttons, check boxes, group frames and labels (inside frames
// too), in the button-face colour.
void ApplySystemColors(QWidget& window);

}  // namespace brindlewick
