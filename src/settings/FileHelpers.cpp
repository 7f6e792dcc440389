#include "settings/FileHelpers.h"

#include <QString>

#include "platform/files/FileStatus.h"

namespace brindlewick {
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
