#include "settings/FileHelpers.h"

#include <sys/stat.h>

#include <QFile>
#include <QString>

namespace brindlewick {
namespace {

bool StatPath(const QString& path, struct stat& info) {
  if (path.isEmpty()) return false;
  const QByteArray native = QFile::encodeName(path);
  // A NUL inside the name would silently shorten it to another path.
  if (native.contains('\0')) return false;
  return ::stat(native.constData(), &info) == 0;
}

}  // namespace

bool FileExists(const QString& path) {
  struct stat info {};
  return StatPath(path, info);
}

bool FileListed(const QString& path) {
  struct stat info {};
  if (!StatPath(path, info) || !S_ISREG(info.st_mode)) return false;
  const QString name = path.section(QLatin1Char('/'), -1);
  return !name.startsWith(QLatin1Char('.'));
}

}  // namespace brindlewick
