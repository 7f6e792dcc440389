#pragma once

class QColor;
class QWidget;

namespace brindlewick {

// The system's button-face colour: the button colour of the application palette, which follows
// the desktop's colour scheme.
QColor ButtonFaceColor();

// Paints the window, and its option buttons, check boxes, group frames and labels (inside frames
// too), in the button-face colour.
void ApplySystemColors(QWidget& window);

}  // namespace brindlewick
