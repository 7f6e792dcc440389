#include "settings/SettingsStore.h"

#include <utility>

#include <QFile>
#include <QSettings>
#include <QStandardPaths>
#include <QStringList>
#include <QVariant>

#include "platform/errors/RuntimeError.h"
#include "platform/files/FileStatus.h"

namespace brindlewick {
namespace {

// A name that would leave the folder or address no file at all is never stored.
bool UsableName(const QString& name) {
  return !name.isEmpty() && name != QLatin1String(".") && name != QLatin1String("..") &&
         !name.contains(QLatin1Char('/')) && !name.contains(QChar(0));
}

QString KeyPath(const QString& section, const QString& key) {
  return section + QLatin1Char('/') + key;
}

// Larger than any settings file this program writes, by far.
constexpr qint64 kMaxStoreBytes = 1 << 20;

// Why the file at this path cannot be a store; empty when it can, or when nothing is there yet.
// A pipe or a device under the store's name would block the program or never end.
QString UnusableStore(const QString& file) {
  struct stat info {};
  if (!StatPath(file, info)) return {};
  if (!S_ISREG(info.st_mode)) return QStringLiteral("it is not a regular file");
  if (info.st_size > kMaxStoreBytes) {
    return QStringLiteral("it is larger than %1 bytes").arg(kMaxStoreBytes);
  }
  return {};
}

// A line that is not blank, a ';' comment, a section or a key=value pair. QSettings drops such
// lines when it rewrites the file, and once it has cached a file it no longer reports them.
bool HasUnreadableLines(const QString& file) {
  QFile in(file);
  if (!in.open(QIODevice::ReadOnly)) return false;
  for (const QByteArray& raw : in.readAll().split('\n')) {
    const QByteArray line = raw.trimmed();
    if (line.isEmpty() || line.startsWith(';')) continue;
    if (line.startsWith('[') ? !line.contains(']') : !line.contains('=')) return true;
  }
  return false;
}

RuntimeError StoreError(const QString& key, const QString& file, const QString& cause) {
  return RuntimeError(
      ErrorNumber::PathFileAccess,
      QStringLiteral("Cannot store the setting \"%1\" in \"%2\": %3").arg(key, file, cause));
}

}  // namespace

SettingsStore::SettingsStore()
    : SettingsStore(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)) {}

SettingsStore::SettingsStore(QString folder) : folder_(std::move(folder)) {}

QString SettingsStore::fileFor(const QString& appName) const {
  return folder_ + QLatin1Char('/') + appName + QStringLiteral(".ini");
}

QString SettingsStore::GetSetting(const QString& appName, const QString& section,
                                  const QString& key, const QString& defaultValue) const {
  if (!UsableName(appName) || section.isEmpty() || key.isEmpty()) return defaultValue;
  if (!UnusableStore(fileFor(appName)).isEmpty()) return defaultValue;
  const QSettings settings(fileFor(appName), QSettings::IniFormat);
  const QVariant value = settings.value(KeyPath(section, key));
  if (!value.isValid()) return defaultValue;
  // An unquoted value with commas, written by hand, comes back split into a list.
  if (value.userType() == QMetaType::QStringList) {
    return value.toStringList().join(QStringLiteral(", "));
  }
  return value.toString();
}

void SettingsStore::SaveSetting(const QString& appName, const QString& section, const QString& key,
                                const QString& value) {
  const QString file = fileFor(appName);
  if (!UsableName(appName) || section.isEmpty() || key.isEmpty()) {
    throw RuntimeError(ErrorNumber::InvalidProcedureCall,
                       QStringLiteral("Invalid procedure call or argument: no setting can be "
                                      "stored under application \"%1\", section \"%2\", key \"%3\"")
                           .arg(appName, section, key));
  }
  if (const QString why = UnusableStore(file); !why.isEmpty()) throw StoreError(key, file, why);
  if (HasUnreadableLines(file)) {
    throw StoreError(key, file, QStringLiteral("the file is damaged; repair or remove it"));
  }
  QSettings settings(file, QSettings::IniFormat);
  settings.setValue(KeyPath(section, key), value);
  settings.sync();
  switch (settings.status()) {
    case QSettings::NoError:
      return;
    case QSettings::AccessError:
      throw StoreError(key, file, QStringLiteral("the file or its folder cannot be written"));
    case QSettings::FormatError:
      throw StoreError(key, file, QStringLiteral("the file is damaged; repair or remove it"));
  }
}

}  // namespace brindlewick
