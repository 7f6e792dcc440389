#pragma once

#include "platform/dialogs/MessageBox.h"

namespace brindlewick {

// Shown over whichever of the program's windows is active.
class QtMessageBox : public MessageBox {
 public:
  void MsgBox(const QString& text, const QString& title) override;
};

}  // namespace brindlewick
