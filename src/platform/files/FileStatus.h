#pragma once

#include <sys/stat.h>

#include <optional>

#include <QByteArray>

class QString;

namespace brindlewick {

// The path as the system's file calls take it; none for an empty path or one with a NUL inside,
// which would silently name another file.
std::optional<QByteArray> NativePath(const QString& path);

// stat() on a path named by a QString. False, with errno set, when there is nothing to ask about:
// an empty path, or one with a NUL inside, which would silently name another file (ENOENT).
bool StatPath(const QString& path, struct stat& info);

// What tells one version of a file from another: a changed file, or another file moved into its
// place, differs in at least one of these. Tools can keep a file's size and set its modification
// time back after changing it; the inode's change time no tool can set.
struct FileIdentity {
  quint64 device = 0;
  quint64 inode = 0;
  qint64 size = 0;
  qint64 modifiedSeconds = 0;
  qint64 modifiedNanoseconds = 0;
  qint64 changedSeconds = 0;
  qint64 changedNanoseconds = 0;

  friend bool operator==(const FileIdentity&, const FileIdentity&) = default;
};

std::optional<FileIdentity> IdentifyFile(const QString& path);
FileIdentity IdentityOf(const struct stat& info);

// The time the system stamps on a file that changes now. It moves in coarse ticks, and two
// changes within one tick leave the same change time.
timespec FileClockNow();

// True when the file's last change lies in an earlier tick than `now`, so that any change after
// `now` is sure to give the file another identity.
bool ChangedBefore(const FileIdentity& identity, const timespec& now);

// For tests only: another clock in the place of the system's for FileClockNow (none: the
// system's again), so that a test can stand where a file's last change and the present share one
// tick.
using FileClock = timespec (*)();
void SetFileClockForTest(FileClock clock);

}  // namespace brindlewick
