#pragma once

class QString;

namespace brindlewick {

// True when the file system can tell the path's last-modification time: any kind of entry
// counts. Never fails.
bool FileExists(const QString& path);

// The listing test: true only for a normal file, that is a regular file (or a link to one) whose
// name is not hidden (does not start with a dot). Folders, devices and hidden files count as
// absent. Never fails.
bool FileListed(const QString& path);

}  // namespace brindlewick
