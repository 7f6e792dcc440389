#pragma once

#include <sys/resource.h>

#include <csignal>
#include <functional>
#include <map>

#include <QByteArray>
#include <QString>

namespace brindlewick::test {

// The file's bytes, or "<unreadable>".
QByteArray Contents(const QString& path);

// Every entry of a folder, its kind and permissions and, for files, their bytes: equal
// snapshots mean nothing was added, removed or changed.
std::map<QString, QByteArray> Snapshot(const QString& folder);

// Runs `body` in a child process and returns what it returned. For what a test must not do to
// its own process: give up root, or mount a file system in a namespace of its own.
QByteArray InChild(const std::function<QByteArray()>& body);

// Sets the file's modification time to the given second and nanosecond, as an editor that
// keeps the time of what it rewrites would.
void SetModified(const QString& path, long seconds, long nanoseconds);

// Waits until the clock that stamps file times has moved past the file's last change: until then
// a further change could leave the file's identity as it is, so no loader keeps what it read.
QString Settled(const QString& path);

// The process may not grow a file beyond this many bytes while it lives.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes);
  ~FileSizeLimit();
  FileSizeLimit(const FileSizeLimit&) = delete;
  FileSizeLimit& operator=(const FileSizeLimit&) = delete;

 private:
  rlimit old_{};
  sighandler_t oldHandler_;
};

// Points the user's config folder somewhere else for as long as it lives.
class ConfigHome {
 public:
  explicit ConfigHome(const QString& path);
  ~ConfigHome();
  ConfigHome(const ConfigHome&) = delete;
  ConfigHome& operator=(const ConfigHome&) = delete;

 private:
  QByteArray saved_;
};

}  // namespace brindlewick::test
