#pragma once

#include <functional>

namespace brindlewick {

// The cores this machine offers.
int CoreCount();

// Runs work(0) .. work(parts - 1) on the calling thread and up to `threads - 1` threads of one pool
// shared by the whole program and sized to the machine (one core less than it has, the caller's
// being the last), each thread taking the next part not yet taken, and returns when all are done.
// The first exception a part threw is rethrown here.
void InParallel(int parts, int threads, const std::function<void(int part)>& work);

}  // namespace brindlewick
