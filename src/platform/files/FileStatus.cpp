#include "platform/files/FileStatus.h"

#include <time.h>

#include <atomic>
#include <cerrno>
#include <tuple>

#include <QFile>
#include <QString>

namespace brindlewick {

std::optional<QByteArray> NativePath(const QString& path) {
  QByteArray native = QFile::encodeName(path);
  if (native.isEmpty() || native.contains('\0')) return std::nullopt;
  return native;
}

bool StatPath(const QString& path, struct stat& info) {
  const std::optional<QByteArray> native = NativePath(path);
  if (!native) {
    errno = ENOENT;
    return false;
  }
  return ::stat(native->constData(), &info) == 0;
}

std::optional<FileIdentity> IdentifyFile(const QString& path) {
  struct stat info {};
  if (!StatPath(path, info)) return std::nullopt;
  return IdentityOf(info);
}

FileIdentity IdentityOf(const struct stat& info) {
  return FileIdentity{quint64(info.st_dev),         quint64(info.st_ino),
                      qint64(info.st_size),         qint64(info.st_mtim.tv_sec),
                      qint64(info.st_mtim.tv_nsec), qint64(info.st_ctim.tv_sec),
                      qint64(info.st_ctim.tv_nsec)};
}

namespace {

std::atomic<FileClock> gClock{nullptr};

}  // namespace

timespec FileClockNow() {
  if (const FileClock clock = gClock.load(std::memory_order_relaxed)) return clock();
  // Linux stamps file times from the coarse real-time clock.
  timespec now{};
  clock_gettime(CLOCK_REALTIME_COARSE, &now);
  return now;
}

bool ChangedBefore(const FileIdentity& identity, const timespec& now) {
  return std::tie(identity.changedSeconds, identity.changedNanoseconds) <
         std::tuple<qint64, qint64>(now.tv_sec, now.tv_nsec);
}

void SetFileClockForTest(FileClock clock) { gClock.store(clock); }

}  // namespace brindlewick
