#pragma once

#include <optional>

#include <QByteArray>

#include "platform/files/FileStatus.h"

class QString;

namespace brindlewick {

// Reads a whole regular file. Never blocks on a pipe or a device: anything but a regular file is
// refused. Fails with "File not found" (53) when nothing is there and with a path/file access
// error (75) naming the cause otherwise.
QByteArray ReadRegularFile(const QString& path, qint64 maxBytes);

// A whole regular file, read as ReadRegularFile reads it, and the identity it had while it was
// read, when that identity tells every later version of the file apart: what was made of these
// bytes may then be handed out again for the path as long as IdentifyFile gives the same. None
// when the file changed while it was read, or last changed within the current tick of the clock
// that stamps file times, since a second change within that tick could leave every field as it is.
struct FileContents {
  QByteArray bytes;
  std::optional<FileIdentity> keepWhile;
};
FileContents ReadFileContents(const QString& path, qint64 maxBytes);

// The length of a file in bytes, as the classic FileLen: "File not found" (53) when nothing is
// there, a path/file access error (75) for a folder or an unreadable entry.
qint64 FileLength(const QString& path);

// The OS's text for an errno value.
QString SystemErrorText(int error);

}  // namespace brindlewick
