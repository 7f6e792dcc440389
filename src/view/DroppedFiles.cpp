#include "view/DroppedFiles.h"

#include <utility>

#include <QFileInfo>
#include <QStringList>

#include "platform/dialogs/FileDialog.h"
#include "view/Form1Context.h"
#include "view/OpenCommands.h"

namespace brindlewick {
namespace {

bool NamedAsJpeg(const QFileInfo& file) {
  const QString suffix = file.suffix().toLower();
  return suffix == QLatin1String("jpg") || suffix == QLatin1String("jpeg");
}

// Stands in for the open dialog once, answering with the dropped selection.
class DroppedSelectionDialog : public FileDialog {
 public:
  explicit DroppedSelectionDialog(QString selection) : selection_(std::move(selection)) {}
  void ShowOpen() override {
    FileName = selection_;
    selection_.clear();
  }
  void ShowSave() override { FileName.clear(); }

 private:
  QString selection_;
};

}  // namespace

QString DroppedSelection(const QList<QUrl>& urls) {
  QString folder;
  QStringList names;
  for (const QUrl& url : urls) {
    if (!url.isLocalFile()) return {};
    const QFileInfo file(url.toLocalFile());
    if (file.fileName().isEmpty() || !NamedAsJpeg(file)) return {};
    if (names.isEmpty()) {
      folder = file.absolutePath();
    } else if (file.absolutePath() != folder) {
      return {};
    }
    names << file.fileName();
  }
  if (names.isEmpty()) return {};
  if (names.size() == 1) return QFileInfo(urls.first().toLocalFile()).absoluteFilePath();
  return (QStringList{folder} + names).join(QChar(0));
}

void OpenDroppedFiles(Form1Context& form, const QString& selection) {
  DroppedSelectionDialog dialog(selection);
  Form1Context dropped{form.doc,    form.window, form.errors, dialog,
                       form.Timer1, form.loader, form.App,    form.imaging};
  mnuSelectPicture_Click(dropped);
}

}  // namespace brindlewick
