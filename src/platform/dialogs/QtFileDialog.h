#pragma once

#include <QStringList>

#include "platform/dialogs/FileDialog.h"

class QWidget;

namespace brindlewick {

class QtFileDialog : public FileDialog {
 public:
  explicit QtFileDialog(QWidget* parent) : parent_(parent) {}
  void ShowOpen() override;
  void ShowSave() override;

  // "JPEG Image (*.jpg;*.jpeg)|*.jpg;*.jpeg" as Qt name filters. The label is shown as written;
  // the patterns also match upper-case extensions, as files from cameras have them.
  static QStringList NameFilters(const QString& filter);
  // One path as it is; several as their common folder, then each path below that folder,
  // separated by NUL characters.
  static QString JoinSelection(const QStringList& paths);

 private:
  QWidget* parent_;
};

}  // namespace brindlewick
