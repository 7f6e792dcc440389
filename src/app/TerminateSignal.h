#pragma once

#include <QObject>

class QSocketNotifier;

namespace brindlewick {

// SIGTERM, the polite request to end (a desktop's log-out, `kill`), delivered as a Qt signal on
// the event loop, where the program may close as its close box would close it. The handler only
// writes a byte to a pipe that a notifier watches. One may exist at a time; while it does, it
// owns the signal's handling, and it gives the default back when it goes.
class TerminateSignal : public QObject {
  Q_OBJECT

 public:
  TerminateSignal();
  ~TerminateSignal() override;
  TerminateSignal(const TerminateSignal&) = delete;
  TerminateSignal& operator=(const TerminateSignal&) = delete;

 signals:
  void received();

 private:
  void drain();

  int pipe_[2] = {-1, -1};
  QSocketNotifier* notifier_ = nullptr;
};

}  // namespace brindlewick
