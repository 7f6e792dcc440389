#include "platform/files/AtomicFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include <QRandomGenerator>
#include <QString>

#include "platform/files/FileStatus.h"

namespace brindlewick {
namespace {

constexpr int kTempNameAttempts = 100;

// The temporary file: closed and removed on every path but a successful rename.
class TempFile {
 public:
  ~TempFile() {
    if (fd_ >= 0) ::close(fd_);
    if (!name_.isEmpty()) ::unlink(name_.constData());
  }

  // Creates a new file with a random name in the folder; returns 0 or an errno value. Mode
  // 0666 lets the umask and the folder's default ACL decide, as for any newly made file.
  int create(const QByteArray& folder) {
    for (int attempt = 0; attempt < kTempNameAttempts; ++attempt) {
      const QByteArray name = folder + "/.brindlewick-" +
                              QByteArray::number(QRandomGenerator::global()->generate64(), 36) +
                              ".tmp";
      const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
      if (fd >= 0) {
        fd_ = fd;
        name_ = name;
        return 0;
      }
      if (errno != EEXIST) return errno;
    }
    return EEXIST;
  }

  int fd() const { return fd_; }
  const QByteArray& name() const { return name_; }

  int close() {
    const int fd = fd_;
    fd_ = -1;
    return ::close(fd) == 0 ? 0 : errno;
  }
  // The file now lives under another name: nothing left to remove.
  void renamed() { name_.clear(); }

 private:
  int fd_ = -1;
  QByteArray name_;
};

int WriteAll(int fd, const QByteArray& bytes) {
  qsizetype done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return errno;
    done += n;
  }
  return 0;
}

// The path whose file gets replaced: the file a symbolic link points to, else the path itself.
QByteArray ReplacedPath(const QByteArray& path) {
  struct stat link {};
  if (::lstat(path.constData(), &link) != 0 || !S_ISLNK(link.st_mode)) return path;
  char* resolved = ::realpath(path.constData(), nullptr);
  if (!resolved) return path;  // a dangling link is replaced by the new file
  QByteArray result(resolved);
  std::free(resolved);
  return result;
}

QByteArray FolderOf(const QByteArray& path) {
  const qsizetype slash = path.lastIndexOf('/');
  if (slash < 0) return QByteArrayLiteral(".");
  if (slash == 0) return QByteArrayLiteral("/");
  return path.left(slash);
}

// Keeps the replaced file's permissions and, where we may, its owner. Owner first: changing
// it clears the set-id bits.
int CopyOwnerAndMode(int fd, const struct stat& old) {
  if (old.st_uid != ::geteuid() || old.st_gid != ::getegid()) {
    // Only root may give a file away; anyone else keeps a file of their own, so a refusal is
    // no failure.
    [[maybe_unused]] const int given = ::fchown(fd, old.st_uid, old.st_gid);
  }
  return ::fchmod(fd, old.st_mode & 07777) == 0 ? 0 : errno;
}

// The rename is on disk only once the folder is; the data already is, so a folder that
// cannot be flushed (some file systems refuse) does not fail the write.
void FlushFolder(const QByteArray& folder) {
  const int fd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  (void)::fsync(fd);
  ::close(fd);
}

}  // namespace

WriteOutcome WriteOutcomeOf(int error) {
  switch (error) {
    case 0:
      return WriteOutcome::Written;
    case ENOENT:
    case ENOTDIR:
      return WriteOutcome::FolderNotFound;
    case EACCES:
    case EPERM:
    case EROFS:
    case ETXTBSY:
      return WriteOutcome::AccessDenied;
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
      return WriteOutcome::DiskFull;
    case EISDIR:
      return WriteOutcome::NotARegularFile;
    case ENAMETOOLONG:
      return WriteOutcome::NameTooLong;
    case ENOMEM:
      return WriteOutcome::OutOfMemory;
    default:
      return WriteOutcome::IoError;
  }
}

WriteOutcome WriteFileAtomically(const QString& path, const QByteArray& bytes) {
  const std::optional<QByteArray> native = NativePath(path);
  if (!native) return WriteOutcome::FolderNotFound;
  const QByteArray target = ReplacedPath(*native);

  struct stat old {};
  bool replacing = false;
  if (::stat(target.constData(), &old) == 0) {
    if (!S_ISREG(old.st_mode)) return WriteOutcome::NotARegularFile;
    replacing = true;
  } else if (errno != ENOENT) {
    return WriteOutcomeOf(errno);
  }

  const QByteArray folder = FolderOf(target);
  TempFile temp;
  int error = temp.create(folder);
  if (error == 0 && replacing) error = CopyOwnerAndMode(temp.fd(), old);
  if (error == 0) error = WriteAll(temp.fd(), bytes);
  if (error == 0 && ::fsync(temp.fd()) != 0) error = errno;
  if (error == 0) error = temp.close();
  if (error == 0 && ::rename(temp.name().constData(), target.constData()) != 0) error = errno;
  if (error != 0) return WriteOutcomeOf(error);
  temp.renamed();
  FlushFolder(folder);
  return WriteOutcome::Written;
}

}  // namespace brindlewick
