#include "support/Programs.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <csignal>
#include <string>
#include <vector>

namespace brindlewick::test {
namespace {

// Reads what is there, or writes what it can; false once the pipe is done with.
bool Transfer(int fd, short events, QByteArray& buffer, qsizetype& written) {
  if (events & POLLOUT) {
    const ssize_t n = write(fd, buffer.constData() + written, size_t(buffer.size() - written));
    if (n > 0) written += n;
    return (n >= 0 || errno == EAGAIN || errno == EINTR) && written < buffer.size();
  }
  std::array<char, 65536> chunk;
  const ssize_t n = read(fd, chunk.data(), chunk.size());
  if (n > 0) buffer.append(chunk.data(), n);
  return n > 0 || (n < 0 && errno == EINTR);
}

}  // namespace

ProgramRun RunProgram(const QString& program, const QStringList& arguments,
                      const QByteArray& input) {
  std::vector<std::string> words{program.toStdString()};
  for (const QString& argument : arguments) words.push_back(argument.toStdString());
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);

  int in[2], out[2], err[2];
  if (pipe2(in, O_CLOEXEC) || pipe2(out, O_CLOEXEC) || pipe2(err, O_CLOEXEC)) return {};
  const pid_t child = fork();
  if (child == 0) {
    dup2(in[0], 0);
    dup2(out[1], 1);
    dup2(err[1], 2);
    execvp(argv[0], argv.data());
    _exit(127);
  }
  for (int fd : {in[0], out[1], err[1]}) close(fd);
  // A child that stops reading early must not end the test with SIGPIPE; written in pieces, so
  // that its output is read while its input is still being written.
  signal(SIGPIPE, SIG_IGN);
  fcntl(in[1], F_SETFL, O_NONBLOCK);
  ProgramRun run;
  QByteArray stdinBytes = input;
  qsizetype written = 0, unused = 0;
  std::array<pollfd, 3> fds{{{in[1], POLLOUT, 0}, {out[0], POLLIN, 0}, {err[0], POLLIN, 0}}};
  if (stdinBytes.isEmpty()) {
    close(in[1]);
    fds[0].fd = -1;
  }
  while (fds[0].fd >= 0 || fds[1].fd >= 0 || fds[2].fd >= 0) {
    if (poll(fds.data(), fds.size(), 60000) <= 0) break;
    QByteArray* buffers[] = {&stdinBytes, &run.out, &run.err};
    for (size_t i = 0; i < fds.size(); ++i) {
      if (fds[i].fd < 0 || !fds[i].revents) continue;
      const bool more = !(fds[i].revents & (POLLERR | POLLNVAL)) &&
                        Transfer(fds[i].fd, i == 0 ? short(POLLOUT) : short(POLLIN), *buffers[i],
                                 i == 0 ? written : unused);
      if (!more) {
        close(fds[i].fd);
        fds[i].fd = -1;
      }
    }
  }
  for (const pollfd& fd : fds) {
    if (fd.fd >= 0) close(fd.fd);
  }
  if (child < 0) return run;
  int status = 0;
  if (waitpid(child, &status, 0) == child && WIFEXITED(status)) run.exitCode = WEXITSTATUS(status);
  return run;
}

}  // namespace brindlewick::test
