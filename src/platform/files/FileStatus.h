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
// place, differs in at least one of these.
struct FileIdentity {
  quint64 device = 0;
  quint64 inode = 0;
  qint64 size = 0;
  qint64 modifiedSeconds = 0;
  qint64 modifiedNanoseconds = 0;

  friend bool operator==(const FileIdentity&, const FileIdentity&) = default;
};

std::optional<FileIdentity> IdentifyFile(const QString& path);

}  // namespace brindlewick
