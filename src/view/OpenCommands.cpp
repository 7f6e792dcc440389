#include "view/OpenCommands.h"

#include <QFileInfo>
#include <QStringList>

#include "platform/dialogs/FileDialog.h"
#include "platform/dialogs/OneShotTimer.h"
#include "platform/errors/Trap.h"
#include "settings/Application.h"
#include "view/DisplayPicture.h"
#include "view/JpegFilter.h"
#include "view/MainWindowShell.h"
#include "view/MouseGate.h"
#include "view/PictureDocument.h"

namespace brindlewick {
namespace {

constexpr int kMouseQuietMs = 500;

// The dialog's answer as the paths of the files picked: one path as it is; several as the folder
// joined to each name.
QStringList PickedPaths(const QString& fileName) {
  QStringList items = fileName.split(QChar(0));
  if (items.size() == 1) return items;
  QStringList paths;
  for (qsizetype i = 1; i < items.size(); ++i) paths << items[0] + QLatin1Char('/') + items[i];
  return paths;
}

}  // namespace

QString NormalizePath(const QString& path) {
  const QString pair = QStringLiteral("//");
  const QString single = QStringLiteral("/");
  if (!path.startsWith(QLatin1Char('/'))) return QString(path).replace(pair, single);
  qsizetype k = 0;
  while (k < path.size() && path[k] == QLatin1Char('/')) ++k;
  return single + path.mid(k).replace(pair, single);
}

void mnuSelectPicture_Click(OpenContext& form) {
  FileDialog& dialog = form.CommonDialog1;
  Trap trap(form.display.errors, QStringLiteral("Form1"), QStringLiteral("mnuSelectPicture_Click"));

  trap(100, [&] { dialog.FileName.clear(); });
  trap(102, [&] { dialog.DialogTitle = QStringLiteral("Select Image"); });
  trap(104, [&] { dialog.Filter = QLatin1String(kJpegFilter); });
  trap(106, [&] { dialog.ShowOpen(); });
  if (trap.test(108, [&] { return dialog.FileName.isEmpty(); })) return;
  QStringList paths;
  trap(116, [&] { paths = PickedPaths(dialog.FileName); });
  OpenPictures(form, paths);
}

void OpenPictures(OpenContext& form, const QStringList& paths) {
  PictureDocument& doc = form.display.doc;
  Trap trap(form.display.errors, QStringLiteral("Form1"), QStringLiteral("mnuSelectPicture_Click"));

  trap(110, [&] { form.selection.setIgnoreMouse(true); });
  trap(112, [&] { form.selection.setCropDone(false); });
  trap(114, [&] {
    doc.Tag = paths.size() == 1 ? paths.first() : NormalizePath(paths.value(paths.size() - 1));
  });
  if (trap.test(118, [&] { return paths.size() == 1; })) {
    QString path;
    trap(120, [&] { path = paths.value(0); });
    trap(122, [&] { DisplayPicture(form.display, path, doc.Picture1); });
  } else if (trap.test(124, [&] { return paths.size() > 1; })) {
    for (const QString& picked : paths) {
      QString path;
      trap(132, [&] { path = picked; });
      trap(134, [&] { path = NormalizePath(path); });
      trap(136, [&] { DisplayPicture(form.display, path, doc.Picture1); });
    }
  }
  trap(140, [&] { form.display.window.setMenuEnabled(MenuCommand::Save, true); });
  trap(142, [&] { form.display.window.setMenuEnabled(MenuCommand::Undo, false); });
  trap(144, [&] { form.Timer1.setEnabled(true); });
  trap(146, [&] { form.Timer1.setInterval(kMouseQuietMs); });
}

void OpenGivenPictures(OpenContext& form, const QStringList& paths) {
  if (!paths.isEmpty()) form.CommonDialog1.InitDir = QFileInfo(paths.last()).absolutePath();
  OpenPictures(form, paths);
}

void LoadSample_Click(OpenContext& form) {
  PictureDocument& doc = form.display.doc;
  Trap trap(form.display.errors, QStringLiteral("Form1"), QStringLiteral("LoadSample_Click"));

  QString path;
  trap(100, [&] { path = form.App.file(QLatin1String(kSamplePicture)); });
  trap(100, [&] { form.selection.setIgnoreMouse(true); });
  trap(100, [&] { form.selection.setCropDone(false); });
  trap(100, [&] { doc.Tag = path; });
  trap(102, [&] { DisplayPicture(form.display, path, doc.Picture1); });
  trap(104, [&] { form.display.window.setMenuEnabled(MenuCommand::Save, true); });
  trap(106, [&] { form.display.window.setMenuEnabled(MenuCommand::Undo, false); });
  trap(108, [&] { form.Timer1.setEnabled(true); });
  trap(110, [&] { form.Timer1.setInterval(kMouseQuietMs); });
}

void Timer1_Timer(OneShotTimer& Timer1, MouseGate& selection) {
  Timer1.setEnabled(false);
  Timer1.setInterval(0);
  selection.setIgnoreMouse(false);
}

}  // namespace brindlewick
