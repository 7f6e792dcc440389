#pragma once

#include "platform/dialogs/MessageBox.h"

class QWidget;

namespace brindlewick {

class QtMessageBox : public MessageBox {
 public:
  explicit QtMessageBox(QWidget* parent) : parent_(parent) {}
  void MsgBox(const QString& text, const QString& title) override;

 private:
  QWidget* parent_;
};

}  // namespace brindlewick
