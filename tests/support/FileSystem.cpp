#include "support/FileSystem.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fcntl.h>

#include <cerrno>
#include <chrono>
#include <optional>
#include <thread>

#include <QDir>
#include <QFile>

#include "platform/files/FileStatus.h"

namespace brindlewick::test {
namespace {

QByteArray KindOf(mode_t mode) {
  switch (mode & S_IFMT) {
    case S_IFREG:
      return "file";
    case S_IFDIR:
      return "folder";
    case S_IFIFO:
      return "pipe";
    case S_IFSOCK:
      return "socket";
    case S_IFCHR:
      return "device";
    case S_IFLNK:
      return "link";
    default:
      return "other";
  }
}

}  // namespace

void SetModified(const QString& path, long seconds, long nanoseconds) {
  const timespec times[2] = {{0, UTIME_OMIT}, {seconds, nanoseconds}};
  ASSERT_EQ(::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0), 0);
}

QString Settled(const QString& path) {
  const std::optional<FileIdentity> identity = IdentifyFile(path);
  EXPECT_TRUE(identity);
  for (int ms = 0; identity && !ChangedBefore(*identity, FileClockNow()) && ms < 2000; ++ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return path;
}

QByteArray Contents(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

std::map<QString, QByteArray> Snapshot(const QString& folder) {
  std::map<QString, QByteArray> entries;
  const QDir dir(folder);
  for (const QString& name :
       dir.entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot)) {
    const QString path = dir.filePath(name);
    struct stat info {};
    ::lstat(QFile::encodeName(path).constData(), &info);
    entries[name] = KindOf(info.st_mode) + " " + QByteArray::number(info.st_mode & 07777, 8) +
                    (S_ISREG(info.st_mode) ? " " + Contents(path) : QByteArray());
  }
  return entries;
}

QByteArray InChild(const std::function<QByteArray()>& body) {
  int pipeFds[2];
  if (::pipe(pipeFds) != 0) return "SKIP no pipe";
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::close(pipeFds[0]);
    const QByteArray out = body();
    for (qsizetype done = 0; done < out.size();) {
      const ssize_t n = ::write(pipeFds[1], out.constData() + done, size_t(out.size() - done));
      if (n <= 0) ::_exit(2);
      done += n;
    }
    ::_exit(0);
  }
  ::close(pipeFds[1]);
  QByteArray out;
  char buffer[4096];
  for (ssize_t n; (n = ::read(pipeFds[0], buffer, sizeof buffer)) != 0;) {
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) break;
    out.append(buffer, n);
  }
  ::close(pipeFds[0]);
  int status = 0;
  ::waitpid(pid, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  return out;
}

FileSizeLimit::FileSizeLimit(rlim_t bytes) {
  ::getrlimit(RLIMIT_FSIZE, &old_);
  // Without this the system ends the process instead of failing the write.
  oldHandler_ = ::signal(SIGXFSZ, SIG_IGN);
  rlimit limit = old_;
  limit.rlim_cur = bytes;
  ::setrlimit(RLIMIT_FSIZE, &limit);
}

FileSizeLimit::~FileSizeLimit() {
  ::setrlimit(RLIMIT_FSIZE, &old_);
  ::signal(SIGXFSZ, oldHandler_);
}

ConfigHome::ConfigHome(const QString& path) : saved_(qgetenv("XDG_CONFIG_HOME")) {
  qputenv("XDG_CONFIG_HOME", QFile::encodeName(path));
}

ConfigHome::~ConfigHome() { qputenv("XDG_CONFIG_HOME", saved_); }

}  // namespace brindlewick::test
