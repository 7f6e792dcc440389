#include "platform/dialogs/QtMessageBox.h"

#include <QApplication>
#include <QMessageBox>
#include <QString>

#include "platform/dialogs/QtErrorBox.h"

namespace brindlewick {

void QtMessageBox::MsgBox(const QString& text, const QString& title) {
  QMessageBox box(QMessageBox::NoIcon, title, QtErrorBox::DisplayText(text), QMessageBox::Ok,
                  QApplication::activeWindow());
  box.setObjectName(QStringLiteral("MessageBox"));
  box.exec();
}

}  // namespace brindlewick
