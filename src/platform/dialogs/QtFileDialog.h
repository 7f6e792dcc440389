#pragma once

#include <QStringList>

#include "platform/dialogs/FileDialog.h"

namespace brindlewick {

// Shown over whichever of the program's windows is active.
class QtFileDialog : public FileDialog {
 public:
  void ShowOpen() override;
  void ShowSave() override;

  // "JPEG Image (*.jpg;*.jpeg)|*.jpg;*.jpeg" as Qt name filters. The label is shown as written;
  // the patterns also match upper-case extensions, as files from cameras have them.
  static QStringList NameFilters(const QString& filter);
  // One path as it is; several as their common folder, then each path below that folder,
  // separated by NUL characters.
  static QString JoinSelection(const QStringList& paths);
};

}  // namespace brindlewick
