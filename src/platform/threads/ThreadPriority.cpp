#include "platform/threads/ThreadPriority.h"

#include <pthread.h>
#include <sched.h>

namespace brindlewick {

void IdlePriority::lowerThisThread() const {
  // Lowering is allowed to everyone; should it fail, the thread runs at normal priority, which
  // costs the window some speed and nothing else.
  const sched_param parameters{};
  pthread_setschedparam(pthread_self(), SCHED_IDLE, &parameters);
}

}  // namespace brindlewick
