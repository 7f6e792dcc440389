#pragma once

#include <linux/capability.h>
#include <pthread.h>
#include <sched.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>

#include "platform/threads/ThreadPriority.h"

namespace brindlewick::test {

// Idle priority as an ordinary user's thread has it, though the tests run as root: the thread is
// lowered and then loses the right to raise itself (CAP_SYS_NICE; the nice limit is 0, as a
// desktop user's), so the kernel refuses its raise as it does theirs. Tells whether it did.
class OrdinaryUsersIdle : public ThreadPriority {
 public:
  void lowerThisThread() const override {
    IdlePriority().lowerThisThread();
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct caps[_LINUX_CAPABILITY_U32S_3] = {};
    if (syscall(SYS_capget, &header, caps) == 0) {
      caps[CAP_TO_INDEX(CAP_SYS_NICE)].effective &= ~CAP_TO_MASK(CAP_SYS_NICE);
      caps[CAP_TO_INDEX(CAP_SYS_NICE)].permitted &= ~CAP_TO_MASK(CAP_SYS_NICE);
      syscall(SYS_capset, &header, caps);
    }
    const sched_param normal{};
    raiseRefused = pthread_setschedparam(pthread_self(), SCHED_OTHER, &normal) != 0;
    IdlePriority().lowerThisThread();  // in case it was not
  }

  mutable std::atomic<bool> raiseRefused{false};
};

}  // namespace brindlewick::test
