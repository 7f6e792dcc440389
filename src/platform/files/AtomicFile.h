#pragma once

#include <QByteArray>

class QString;

namespace brindlewick {

enum class WriteOutcome {
  Written,
  FolderNotFound,   // the folder does not exist, or a part of the path is a file
  AccessDenied,     // permissions or a read-only disk
  DiskFull,         // no space, quota exceeded or the file size limit reached
  NotARegularFile,  // a folder, device, pipe or socket has the name; it is left alone
  NameTooLong,
  OutOfMemory,
  IoError,  // any other refusal of the system
};

// Writes the bytes to the path so that the file is either entirely the old one or entirely the
// new one, even after a crash: they go to a temporary file in the same folder, are flushed to
// disk, and the temporary file is renamed over the target. A failure leaves no temporary file
// and the old file as it was. A replaced file keeps its permission bits (and, where allowed,
// its owner); a symbolic link stays a link, and the file it points to is replaced.
WriteOutcome WriteFileAtomically(const QString& path, const QByteArray& bytes);

// What an errno value means for a write.
WriteOutcome WriteOutcomeOf(int error);

}  // namespace brindlewick
