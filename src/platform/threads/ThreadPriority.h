#pragma once

namespace brindlewick {

// How a thread whose work nobody waits for gives way to all other work. A seam: the program's
// policy puts the thread in the idle scheduling class, which an ordinary user's thread can never
// leave again (leaving it needs a nice limit desktop users do not have); a test's policy can make
// a privileged test process keep to the same rule.
class ThreadPriority {
 public:
  virtual ~ThreadPriority() = default;
  // Lowers the calling thread for the rest of its life: it then runs only on time no other thread
  // of the machine wants.
  virtual void lowerThisThread() const = 0;
};

// The idle scheduling class (SCHED_IDLE).
class IdlePriority : public ThreadPriority {
 public:
  void lowerThisThread() const override;
};

}  // namespace brindlewick
