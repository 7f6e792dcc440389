#include "view/DroppedFiles.h"

#include <QFileInfo>

namespace brindlewick {
namespace {

bool NamedAsJpeg(const QFileInfo& file) {
  const QString suffix = file.suffix().toLower();
  return suffix == QLatin1String("jpg") || suffix == QLatin1String("jpeg");
}

}  // namespace

QStringList DroppedPictures(const QList<QUrl>& urls) {
  QStringList paths;
  for (const QUrl& url : urls) {
    if (!url.isLocalFile()) return {};
    const QFileInfo file(url.toLocalFile());
    if (file.fileName().isEmpty() || !NamedAsJpeg(file)) return {};
    paths << file.absoluteFilePath();
  }
  return paths;
}

}  // namespace brindlewick
