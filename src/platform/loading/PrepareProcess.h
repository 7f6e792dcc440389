#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

#include "platform/loading/Preparer.h"

namespace brindlewick {

// The prepare's decodes in a process of their own, a helper that is lowered to idle priority as it
// starts and never raised, so that it runs only on time nothing else wants. A process, not a
// thread: a thread at idle priority keeps its process from ending until it gets a core to end on,
// which on a busy machine takes seconds; and a process's memory can be taken back at once without
// its help. The helper reads the file itself (its pixels count only where it read the file with
// the identity the order names) and hands the pixels back in shared memory.
class PrepareProcess : public Preparer {
 public:
  // The first argument that makes a program the helper (RunPrepareHelper).
  static constexpr const char* kRole = "--decode-prepare";

  // `program` takes kRole as its first argument: by default this process's own executable.
  explicit PrepareProcess(std::string program = "/proc/self/exe");
  // Kills the helper, waiting for nothing.
  ~PrepareProcess() override;
  PrepareProcess(const PrepareProcess&) = delete;
  PrepareProcess& operator=(const PrepareProcess&) = delete;

  void start(const Order& order) override;
  Outcome poll() override;
  // Kills the helper and takes its memory back before it returns; the next order starts another.
  void stop() override;
  void waitUntilIdle() override;

  // For tests only: the helper under way, its process id, or -1.
  pid_t helperForTest() const { return pid_; }

 private:
  bool spawn();
  void kill(bool releaseMemory);
  void reapDead();

  const std::string program_;
  pid_t pid_ = -1;
  int pidfd_ = -1;
  int socket_ = -1;
  bool pending_ = false;       // an order started, its outcome not yet told
  bool failed_ = false;        // it could not even be sent
  std::vector<pid_t> killed_;  // not yet reaped
};

// The helper: takes orders from the descriptor given after kRole until the socket closes, and
// ends with the process that started it. A program's main() calls it first thing when its first
// argument is kRole.
int RunPrepareHelper(int argc, char* argv[]);

}  // namespace brindlewick
