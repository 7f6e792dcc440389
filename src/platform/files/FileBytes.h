#pragma once

#include <QByteArray>

class QString;

namespace brindlewick {

// Reads a whole regular file. Never blocks on a pipe or a device: anything but a regular file is
// refused. Fails with "File not found" (53) when nothing is there and with a path/file access
// error (75) naming the cause otherwise.
QByteArray ReadRegularFile(const QString& path, qint64 maxBytes);

// The length of a file in bytes, as the classic FileLen: "File not found" (53) when nothing is
// there, a path/file access error (75) for a folder or an unreadable entry.
qint64 FileLength(const QString& path);

// The OS's text for an errno value.
QString SystemErrorText(int error);

}  // namespace brindlewick
