#include "platform/dialogs/QtMessageBox.h"

#include <QMessageBox>
#include <QString>

#include "platform/dialogs/QtErrorBox.h"

namespace brindlewick {

void QtMessageBox::MsgBox(const QString& text, const QString& title) {
  QMessageBox box(QMessageBox::NoIcon, title, QtErrorBox::DisplayText(text), QMessageBox::Ok,
                  parent_);
  box.setObjectName(QStringLiteral("MessageBox"));
  box.exec();
}

}  // namespace brindlewick
