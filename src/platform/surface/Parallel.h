#pragma once

#include <functional>

namespace brindlewick {

// The cores this machine offers.
int CoreCount();

// Runs work(0) .. work(parts - 1) at once: part 0 on the calling thread, the others on one pool of
// threads shared by the whole program and sized to the machine (one core less than it has, the
// caller's being the last), and returns when all are done. The first exception a part threw is
// rethrown here. Never call it from inside a part: the pool could then wait on itself.
void InParallel(int parts, const std::function<void(int part)>& work);

}  // namespace brindlewick
