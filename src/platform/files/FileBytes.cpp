#include "platform/files/FileBytes.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

#include <QString>

#include "platform/errors/RuntimeError.h"
#include "platform/files/FileStatus.h"

namespace brindlewick {
namespace {

class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : fd_(fd) {}
  ~FileDescriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  int get() const { return fd_; }

 private:
  int fd_;
};

RuntimeError AccessError(const QString& path, const QString& cause) {
  return RuntimeError(ErrorNumber::PathFileAccess,
                      QStringLiteral("Cannot read \"%1\": %2").arg(path, cause));
}

}  // namespace

QString SystemErrorText(int error) { return QString::fromLocal8Bit(std::strerror(error)); }

qint64 FileLength(const QString& path) {
  struct stat info {};
  if (!StatPath(path, info)) {
    const int error = errno;
    if (error == ENOENT || error == ENOTDIR) throw FileNotFoundError(path);
    throw AccessError(path, SystemErrorText(error));
  }
  if (S_ISDIR(info.st_mode)) throw AccessError(path, QStringLiteral("it is a folder"));
  return info.st_size;
}

QByteArray ReadRegularFile(const QString& path, qint64 maxBytes) {
  return ReadFileContents(path, maxBytes).bytes;
}

FileContents ReadFileContents(const QString& path, qint64 maxBytes) {
  const timespec start = FileClockNow();
  const std::optional<QByteArray> native = NativePath(path);
  if (!native) throw FileNotFoundError(path);
  // O_NONBLOCK: opening a pipe for reading would otherwise wait for a writer forever.
  FileDescriptor fd(::open(native->constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
  if (fd.get() < 0) {
    const int error = errno;
    if (error == ENOENT || error == ENOTDIR) throw FileNotFoundError(path);
    throw AccessError(path, SystemErrorText(error));
  }
  struct stat info {};
  if (::fstat(fd.get(), &info) != 0) throw AccessError(path, SystemErrorText(errno));
  if (S_ISDIR(info.st_mode)) throw AccessError(path, QStringLiteral("it is a folder"));
  if (!S_ISREG(info.st_mode)) throw AccessError(path, QStringLiteral("it is not a regular file"));
  if (info.st_size > maxBytes) {
    throw AccessError(path, QStringLiteral("the file is larger than %1 bytes").arg(maxBytes));
  }

  QByteArray bytes(static_cast<qsizetype>(info.st_size), Qt::Uninitialized);
  qsizetype done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::read(fd.get(), bytes.data() + done, size_t(bytes.size() - done));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) throw AccessError(path, SystemErrorText(errno));
    if (n == 0) break;  // the file shrank while we read it
    done += n;
  }
  bytes.truncate(done);
  struct stat after {};
  const bool unchanged = ::fstat(fd.get(), &after) == 0 && IdentityOf(after) == IdentityOf(info);
  FileContents contents{std::move(bytes), std::nullopt};
  if (unchanged && ChangedBefore(IdentityOf(info), start)) contents.keepWhile = IdentityOf(info);
  return contents;
}

}  // namespace brindlewick
