#include "platform/loading/PrepareProcess.h"

#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <optional>

#include "platform/files/FileBytes.h"
#include "platform/threads/Parallel.h"
#include "platform/threads/ThreadPriority.h"

extern char** environ;

namespace brindlewick {
namespace {

// The descriptor the helper finds its end of the socket at.
constexpr int kHelperSocket = 3;

// An order, with the path after it in UTF-8.
struct OrderMessage {
  int32_t scaleNum = 1, scaleDenom = 1, threads = 1, way = 0, cores = 1;
  FileIdentity readWith;
};
constexpr size_t kMaxOrderBytes = sizeof(OrderMessage) + 16 * 1024;

// An answer; the pixels come beside it as a shared memory descriptor.
struct ResultMessage {
  int32_t decoded = 0;
  int32_t width = 0, height = 0, bytesPerLine = 0, format = 0;
  int32_t naturalWidth = 0, naturalHeight = 0;
};

bool Send(int socket, const void* data, size_t size, int fd = -1) {
  iovec part{const_cast<void*>(data), size};
  msghdr message{};
  message.msg_iov = &part;
  message.msg_iovlen = 1;
  alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))] = {};
  if (fd >= 0) {
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    cmsghdr* header = CMSG_FIRSTHDR(&message);
    header->cmsg_level = SOL_SOCKET;
    header->cmsg_type = SCM_RIGHTS;
    header->cmsg_len = CMSG_LEN(sizeof(int));
    std::memcpy(CMSG_DATA(header), &fd, sizeof fd);
  }
  return sendmsg(socket, &message, MSG_NOSIGNAL) == ssize_t(size);
}

// A message of at most `size` bytes and the descriptor beside it (-1 without): its length; 0 once
// the other side has gone; -1 with errno EAGAIN when nothing is there yet.
ssize_t Receive(int socket, void* data, size_t size, int* fd, int flags = 0) {
  iovec part{data, size};
  msghdr message{};
  message.msg_iov = &part;
  message.msg_iovlen = 1;
  alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))] = {};
  message.msg_control = control;
  message.msg_controllen = sizeof control;
  *fd = -1;
  ssize_t got = -1;
  do {
    got = recvmsg(socket, &message, flags | MSG_CMSG_CLOEXEC);
  } while (got < 0 && errno == EINTR);
  const cmsghdr* header = got > 0 ? CMSG_FIRSTHDR(&message) : nullptr;
  if (header && header->cmsg_type == SCM_RIGHTS) std::memcpy(fd, CMSG_DATA(header), sizeof *fd);
  return got;
}

// The helper's side.

DecodePlan PlanOf(const OrderMessage& order) {
  DecodePlan plan;
  plan.scale = {order.scaleNum, order.scaleDenom};
  plan.threads = order.threads;
  plan.way = DecodeWay(order.way);
  plan.cores = order.cores;
  return plan;
}

// The pixels in shared memory, for the other process to map.
int SharedCopy(const QImage& pixels) {
  const int fd = memfd_create("prepared picture", MFD_CLOEXEC);
  const size_t size = size_t(pixels.sizeInBytes());
  void* map = MAP_FAILED;
  if (fd >= 0 && ftruncate(fd, off_t(size)) == 0) {
    map = mmap(nullptr, size, PROT_WRITE, MAP_SHARED, fd, 0);
  }
  if (map == MAP_FAILED) {
    if (fd >= 0) close(fd);
    return -1;
  }
  std::memcpy(map, pixels.constBits(), size);
  munmap(map, size);
  return fd;
}

// Decodes the file the order names, as long as it is the version the order was read from, and
// answers with its pixels; a failure is answered too, and reported by the display that needs them.
void Answer(int socket, const OrderMessage& order, const QString& path) {
  ResultMessage result;
  int fd = -1;
  try {
    FileContents file = ReadFileContents(path, kMaxPictureFileBytes);
    if (file.keepWhile && *file.keepWhile == order.readWith) {
      const JpegHeader header = ReadJpegHeader(file.bytes);
      const Picture picture = DecodeJpeg(file.bytes, header, PlanOf(order));
      file.bytes.clear();
      const QImage& pixels = picture.pixels();
      fd = SharedCopy(pixels);
      if (fd >= 0) {
        result = {1,
                  pixels.width(),
                  pixels.height(),
                  int32_t(pixels.bytesPerLine()),
                  int32_t(pixels.format()),
                  picture.width(),
                  picture.height()};
      }
    }
  } catch (...) {
  }
  Send(socket, &result, sizeof result, fd);
  if (fd >= 0) close(fd);
}

// The owner's side.

struct Mapping {
  void* address;
  size_t size;
};

std::optional<Picture> Mapped(int fd, const ResultMessage& result) {
  const size_t size = size_t(result.bytesPerLine) * size_t(result.height);
  struct stat info {};
  if (result.width <= 0 || result.height <= 0 || size == 0 || fstat(fd, &info) != 0 ||
      size_t(info.st_size) < size) {
    return std::nullopt;
  }
  void* address = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE, fd, 0);
  if (address == MAP_FAILED) return std::nullopt;
  const QImage pixels(
      static_cast<uchar*>(address), result.width, result.height, result.bytesPerLine,
      QImage::Format(result.format),
      [](void* info) {
        const auto* mapping = static_cast<Mapping*>(info);
        munmap(mapping->address, mapping->size);
        delete mapping;
      },
      new Mapping{address, size});
  return Picture(pixels, QSize(result.naturalWidth, result.naturalHeight));
}

}  // namespace

PrepareProcess::PrepareProcess(std::string program) : program_(std::move(program)) {}

PrepareProcess::~PrepareProcess() {
  kill(false);
  reapDead();
}

void PrepareProcess::start(const Order& order) {
  reapDead();
  if (pending_) kill(true);
  pending_ = true;
  failed_ = pid_ < 0 && !spawn();
  if (failed_) return;
  OrderMessage message;
  message.scaleNum = order.plan.scale.num;
  message.scaleDenom = order.plan.scale.denom;
  message.threads = order.plan.threads;
  message.way = int32_t(order.plan.way);
  message.cores = order.plan.cores;
  message.readWith = order.readWith;
  const QByteArray path = order.path.toUtf8();
  QByteArray bytes(reinterpret_cast<const char*>(&message), sizeof message);
  bytes += path;
  failed_ =
      size_t(bytes.size()) > kMaxOrderBytes || !Send(socket_, bytes.data(), size_t(bytes.size()));
}

Preparer::Outcome PrepareProcess::poll() {
  if (!pending_ || failed_) {
    pending_ = failed_ = false;
    return {Outcome::Failed, {}};
  }
  ResultMessage result;
  int fd = -1;
  const ssize_t got = Receive(socket_, &result, sizeof result, &fd, MSG_DONTWAIT);
  if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return {Outcome::Pending, {}};
  pending_ = false;
  Outcome outcome{Outcome::Failed, {}};
  if (got == ssize_t(sizeof result) && result.decoded && fd >= 0) {
    if (std::optional<Picture> picture = Mapped(fd, result)) outcome = {Outcome::Done, *picture};
  } else if (got != ssize_t(sizeof result)) {
    kill(false);  // the helper has gone
  }
  if (fd >= 0) close(fd);
  return outcome;
}

void PrepareProcess::stop() {
  if (pending_) kill(true);
  pending_ = failed_ = false;
}

void PrepareProcess::waitUntilIdle() {
  if (!pending_ || failed_) return;
  pollfd ready{socket_, POLLIN, 0};
  while (::poll(&ready, 1, -1) < 0 && errno == EINTR) {
  }
}

// Starts the helper, at normal priority only until it is lowered here, before it reads a byte of
// the picture: posix_spawn lowering it itself would keep this thread waiting until it ran.
bool PrepareProcess::spawn() {
  int pair[2];
  if (socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, pair) != 0) return false;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, pair[1], kHelperSocket);
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t none;
  sigemptyset(&none);
  posix_spawnattr_setsigmask(&attributes, &none);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK);
  std::string role = kRole, socket = std::to_string(kHelperSocket),
              owner = std::to_string(getpid());
  std::string program = program_;
  char* argv[] = {program.data(), role.data(), socket.data(), owner.data(), nullptr};
  pid_t pid = -1;
  const int failed = posix_spawn(&pid, program_.c_str(), &actions, &attributes, argv, environ);
  posix_spawnattr_destroy(&attributes);
  posix_spawn_file_actions_destroy(&actions);
  close(pair[1]);
  if (failed != 0) {
    close(pair[0]);
    return false;
  }
  const sched_param normal{};
  sched_setscheduler(pid, SCHED_IDLE, &normal);
  pid_ = pid;
  pidfd_ = int(syscall(SYS_pidfd_open, pid, 0));
  socket_ = pair[0];
  return true;
}

// Kills the helper; with `releaseMemory`, its memory is given back before this returns, which
// the helper, waiting for a core, could not do for seconds.
void PrepareProcess::kill(bool releaseMemory) {
  if (pid_ < 0) return;
  if (pidfd_ >= 0) {
    syscall(SYS_pidfd_send_signal, pidfd_, SIGKILL, nullptr, 0);
    if (releaseMemory) syscall(SYS_process_mrelease, pidfd_, 0);
    close(pidfd_);
  } else {
    ::kill(pid_, SIGKILL);
  }
  close(socket_);
  killed_.push_back(pid_);
  pid_ = pidfd_ = socket_ = -1;
}

// The helpers killed end once they run, which is never waited for.
void PrepareProcess::reapDead() {
  std::erase_if(killed_, [](pid_t pid) { return waitpid(pid, nullptr, WNOHANG) != 0; });
}

int RunPrepareHelper(int argc, char* argv[]) {
  if (argc < 4) return 2;
  prctl(PR_SET_PDEATHSIG, SIGKILL);
  if (getppid() != pid_t(std::atol(argv[3]))) return 0;  // its owner had already gone
  prctl(PR_SET_NAME, "decode prepare");
  IdlePriority().lowerThisThread();
  KeepThisThreadOffThePool();
  const int socket = std::atoi(argv[2]);
  std::vector<char> buffer(kMaxOrderBytes);
  while (true) {
    int fd = -1;
    const ssize_t got = Receive(socket, buffer.data(), buffer.size(), &fd);
    if (fd >= 0) close(fd);
    if (got < ssize_t(sizeof(OrderMessage))) return 0;
    OrderMessage order;
    std::memcpy(&order, buffer.data(), sizeof order);
    const QString path =
        QString::fromUtf8(buffer.data() + sizeof order, qsizetype(got) - qsizetype(sizeof order));
    Answer(socket, order, path);
  }
}

}  // namespace brindlewick
