#pragma once

class QWidget;

namespace brindlewick {

// Centres the window on its screen the first time it is shown; later showings keep wherever the
// user moved it.
void CentreOnFirstShow(QWidget& window);

}  // namespace brindlewick
