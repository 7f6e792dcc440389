#include "app/TerminateSignal.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>

#include <QSocketNotifier>

namespace brindlewick {
namespace {

// The handler may only do what is safe in a signal handler: write, keeping errno as it was.
volatile sig_atomic_t gWriteEnd = -1;

void OnTerminate(int) {
  const int saved = errno;
  const char byte = 1;
  [[maybe_unused]] const ssize_t written = ::write(gWriteEnd, &byte, 1);
  errno = saved;
}

}  // namespace

TerminateSignal::TerminateSignal() {
  // Non-blocking at both ends: a burst of signals never stalls the handler, nor the drain.
  // Without a pipe the signal keeps its default and still ends the program.
  if (::pipe2(pipe_, O_CLOEXEC | O_NONBLOCK) != 0) return;
  gWriteEnd = pipe_[1];
  notifier_ = new QSocketNotifier(pipe_[0], QSocketNotifier::Read, this);
  connect(notifier_, &QSocketNotifier::activated, this, &TerminateSignal::drain);
  struct sigaction action {};
  action.sa_handler = OnTerminate;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  ::sigaction(SIGTERM, &action, nullptr);
}

TerminateSignal::~TerminateSignal() {
  if (pipe_[0] < 0) return;
  std::signal(SIGTERM, SIG_DFL);
  gWriteEnd = -1;
  delete notifier_;
  ::close(pipe_[0]);
  ::close(pipe_[1]);
}

void TerminateSignal::drain() {
  char bytes[64];
  bool any = false;
  while (::read(pipe_[0], bytes, sizeof bytes) > 0) any = true;
  if (any) emit received();
}

}  // namespace brindlewick
