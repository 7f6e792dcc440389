#include "platform/dialogs/QtErrorBox.h"

#include <QApplication>
#include <QMessageBox>
#include <QString>

namespace brindlewick {

QString QtErrorBox::DisplayText(const QString& report) {
  QString text = report;
  text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
  return text;
}

void QtErrorBox::showReport(const QString& report) {
  QMessageBox box(QMessageBox::Warning, QStringLiteral("Application Error"), DisplayText(report),
                  QMessageBox::Ok, QApplication::activeWindow());
  box.setObjectName(QStringLiteral("ErrorBox"));
  box.exec();
}

}  // namespace brindlewick
