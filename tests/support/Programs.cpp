#include "support/Programs.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <string>
#include <vector>

namespace brindlewick::test {
namespace {

// Reads what is there, or writes what it can; false once the pipe is done with.
bool Transfer(int fd, bool writing, QByteArray& buffer, qsizetype& written) {
  if (writing) {
    const ssize_t n = write(fd, buffer.constData() + written, size_t(buffer.size() - written));
    if (n > 0) written += n;
    return (n >= 0 || errno == EAGAIN || errno == EINTR) && written < buffer.size();
  }
  std::array<char, 65536> chunk;
  const ssize_t n = read(fd, chunk.data(), chunk.size());
  if (n > 0) buffer.append(chunk.data(), n);
  return n > 0 || (n < 0 && errno == EINTR);
}

void Close(std::initializer_list<int> fds) {
  for (int fd : fds) {
    if (fd >= 0) close(fd);
  }
}

}  // namespace

ProgramRun RunProgram(const QString& program, const QStringList& arguments,
                      const QByteArray& input) {
  std::vector<std::string> words{program.toStdString()};
  for (const QString& argument : arguments) words.push_back(argument.toStdString());
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);

  // A child that stops reading early must not end the test with SIGPIPE.
  signal(SIGPIPE, SIG_IGN);
  int in[2] = {-1, -1}, out[2] = {-1, -1}, err[2] = {-1, -1};
  if (pipe2(in, O_CLOEXEC) || pipe2(out, O_CLOEXEC) || pipe2(err, O_CLOEXEC)) {
    Close({in[0], in[1], out[0], out[1], err[0], err[1]});
    return {};
  }
  const pid_t child = fork();
  if (child == 0) {
    signal(SIGPIPE, SIG_DFL);
    // The pipes lie above the standard descriptors, which the test process keeps open.
    dup2(in[0], 0);
    dup2(out[1], 1);
    dup2(err[1], 2);
    execvp(argv[0], argv.data());
    const char* why = strerror(errno);
    (void)!write(2, why, strlen(why));
    _exit(127);
  }
  Close({in[0], out[1], err[1]});
  ProgramRun run;
  if (child < 0) {
    Close({in[1], out[0], err[0]});
    return run;
  }
  // Written in pieces, so that the child's output is read while its input is still being written.
  fcntl(in[1], F_SETFL, O_NONBLOCK);
  QByteArray stdinBytes = input;
  qsizetype written = 0, unused = 0;
  std::array<pollfd, 3> fds{{{in[1], POLLOUT, 0}, {out[0], POLLIN, 0}, {err[0], POLLIN, 0}}};
  if (stdinBytes.isEmpty()) {
    close(in[1]);
    fds[0].fd = -1;
  }
  bool finished = true;
  while (fds[0].fd >= 0 || fds[1].fd >= 0 || fds[2].fd >= 0) {
    const int ready = poll(fds.data(), fds.size(), 60000);
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) {  // a minute without a byte either way: given up
      finished = false;
      break;
    }
    QByteArray* buffers[] = {&stdinBytes, &run.out, &run.err};
    for (size_t i = 0; i < fds.size(); ++i) {
      if (fds[i].fd < 0 || !fds[i].revents) continue;
      const bool more = !(fds[i].revents & (POLLERR | POLLNVAL)) &&
                        Transfer(fds[i].fd, i == 0, *buffers[i], i == 0 ? written : unused);
      if (!more) {
        close(fds[i].fd);
        fds[i].fd = -1;
      }
    }
  }
  Close({fds[0].fd, fds[1].fd, fds[2].fd});
  if (!finished) kill(child, SIGKILL);
  int status = 0;
  pid_t reaped;
  do {
    reaped = waitpid(child, &status, 0);
  } while (reaped < 0 && errno == EINTR);
  if (finished && reaped == child && WIFEXITED(status)) run.exitCode = WEXITSTATUS(status);
  return run;
}

}  // namespace brindlewick::test
