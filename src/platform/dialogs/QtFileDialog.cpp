#include "platform/dialogs/QtFileDialog.h"

#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>

namespace brindlewick {

QStringList QtFileDialog::NameFilters(const QString& filter) {
  QStringList result;
  const QStringList parts = filter.split(QLatin1Char('|'));
  for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
    QStringList patterns;
    for (const QString& p : parts[i + 1].split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
      patterns << p.trimmed();
      if (p.trimmed().toUpper() != p.trimmed()) patterns << p.trimmed().toUpper();
    }
    // The dialog hides the trailing pattern list, so the user sees the label exactly.
    result << parts[i] + QStringLiteral(" (") + patterns.join(QLatin1Char(' ')) + QLatin1Char(')');
  }
  return result;
}

QString QtFileDialog::JoinSelection(const QStringList& paths) {
  if (paths.size() <= 1) return paths.value(0);
  // Typed names may come from several folders: the common folder of them all, then each path
  // below it, so the folder joined to each name is always the file that was picked.
  QString folder = QFileInfo(paths.first()).absolutePath();
  auto inFolder = [&](const QString& path) {
    return folder == QLatin1String("/") || path.startsWith(folder + QLatin1Char('/'));
  };
  for (const QString& path : paths) {
    while (!inFolder(QFileInfo(path).absoluteFilePath())) folder = QFileInfo(folder).absolutePath();
  }
  QStringList items{folder};
  const qsizetype skip = folder == QLatin1String("/") ? 1 : folder.size() + 1;
  for (const QString& path : paths) items << QFileInfo(path).absoluteFilePath().mid(skip);
  return items.join(QChar(0));
}

namespace {

QStringList Run(QWidget* parent, FileDialog& properties, QFileDialog::AcceptMode mode) {
  QFileDialog dialog(parent, properties.DialogTitle);
  dialog.setObjectName(QStringLiteral("CommonDialog1"));
  dialog.setAcceptMode(mode);
  dialog.setFileMode(mode == QFileDialog::AcceptOpen ? QFileDialog::ExistingFiles
                                                     : QFileDialog::AnyFile);
  dialog.setOption(QFileDialog::HideNameFilterDetails);
  dialog.setNameFilters(QtFileDialog::NameFilters(properties.Filter));
  // A folder removed since is not shown; the dialog then starts where it would on its own.
  if (QFileInfo(properties.InitDir).isDir()) dialog.setDirectory(properties.InitDir);
  if (!properties.FileName.isEmpty()) dialog.selectFile(properties.FileName);
  const bool accepted = dialog.exec() == QDialog::Accepted;
  properties.InitDir = dialog.directory().absolutePath();
  if (!accepted) return {};
  return dialog.selectedFiles();
}

}  // namespace

void QtFileDialog::ShowOpen() {
  FileName = JoinSelection(Run(QApplication::activeWindow(), *this, QFileDialog::AcceptOpen));
}

void QtFileDialog::ShowSave() {
  FileName = Run(QApplication::activeWindow(), *this, QFileDialog::AcceptSave).value(0);
}

}  // namespace brindlewick
