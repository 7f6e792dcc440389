#include "platform/threads/Parallel.h"

#include <gtest/gtest.h>

#include <mutex>
#include <set>
#include <thread>

namespace brindlewick {
namespace {

// A thread kept off the pool, as the prepare's thread at idle priority is, takes none of the
// pool's locks: its tasks and parts all run on it, in turn.
TEST(ParallelTest, AThreadKeptOffThePoolRunsItsTasksAndPartsItself) {
  std::thread::id caller, task;
  std::set<std::thread::id> parts;
  std::thread([&] {
    caller = std::this_thread::get_id();
    KeepThisThreadOffThePool();
    StartLongLived([&] { task = std::this_thread::get_id(); });
    std::mutex mutex;
    InParallel(16, 4, [&](int) {
      const std::lock_guard lock(mutex);
      parts.insert(std::this_thread::get_id());
    });
  }).join();
  EXPECT_EQ(task, caller);
  EXPECT_EQ(parts, std::set{caller});
}

}  // namespace
}  // namespace brindlewick
