#include "platform/threads/Parallel.h"

#include <algorithm>
#include <atomic>
#include <climits>
#include <condition_variable>
#include <exception>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

#include <QThread>
#include <QThreadPool>

#ifdef BRINDLEWICK_TSAN
#include <sanitizer/tsan_interface.h>
#endif

namespace brindlewick {
namespace {

// The long-lived tasks not yet ended, for the tests that check a stopped stream frees its threads.
struct LongLived {
  // The pool has waited for its last task by then, under a lock of Qt's that ThreadSanitizer
  // cannot see; taking ours once more shows it the task's last signal came first.
  ~LongLived() { const std::lock_guard lock(mutex); }
  std::mutex mutex;
  std::condition_variable ended;
  int running = 0;
};

LongLived& LongLivedTasks() {
  static LongLived tasks;
  return tasks;
}

QThreadPool& Pool() {
  LongLivedTasks();  // made first, so it outlives the pool, whose end waits for the last task
  static QThreadPool pool;
  static const bool sized = [] {
    pool.setMaxThreadCount(std::max(1, CoreCount() - 1));
    return true;
  }();
  (void)sized;
  return pool;
}

// The pool hands a task to its thread under a futex lock of Qt's, which ThreadSanitizer cannot see
// (Qt is not built with it). Built with it, we say what that lock does: whatever a caller did
// before handing a task over (the task made, just before start()) happens before every task the
// pool runs afterwards (from the task's first statement).
void HandingToPool() {
#ifdef BRINDLEWICK_TSAN
  __tsan_release(&Pool());
#endif
}

void TakenFromPool() {
#ifdef BRINDLEWICK_TSAN
  __tsan_acquire(&Pool());
#endif
}

thread_local bool offThePool = false;

// Shared with the pool's tasks, which may start only after the caller has returned.
struct Parts {
  explicit Parts(int count) : count(count), failures(size_t(count)) {}
  const int count;
  std::atomic<int> next{0};
  std::mutex mutex;
  std::condition_variable finished;
  int done = 0;
  std::vector<std::exception_ptr> failures;
};

// Takes parts until none are left, so a busy machine whose pool threads start late costs no more
// than doing the work on the calling thread alone.
void TakeParts(Parts& parts, const std::function<void(int)>& work) {
  for (int part = parts.next++; part < parts.count; part = parts.next++) {
    try {
      work(part);
    } catch (...) {
      parts.failures[size_t(part)] = std::current_exception();
    }
    const std::lock_guard lock(parts.mutex);
    if (++parts.done == parts.count) parts.finished.notify_all();
  }
}

}  // namespace

int CoreCount() { return std::max(1, QThread::idealThreadCount()); }

void MakePool() { Pool(); }

void KeepThisThreadOffThePool() { offThePool = true; }

void InParallel(int parts, int threads, const std::function<void(int part)>& work) {
  if (parts <= 0) return;
  auto shared = std::make_shared<Parts>(parts);
  const int helpers = offThePool ? 0 : std::min({parts, threads, CoreCount()}) - 1;
  for (int helper = 0; helper < helpers; ++helper) {
    // The work is only reached through a part taken before the caller has seen all parts done.
    std::function<void()> task = [shared, &work] {
      TakenFromPool();
      TakeParts(*shared, work);
    };
    HandingToPool();
    Pool().start(std::move(task));
  }
  TakeParts(*shared, work);
  std::unique_lock lock(shared->mutex);
  shared->finished.wait(lock, [&] { return shared->done == shared->count; });
  for (const std::exception_ptr& failure : shared->failures) {
    if (failure) std::rethrow_exception(failure);
  }
}

void StartLongLived(std::function<void()> task) {
  if (offThePool) {
    task();
    return;
  }
  LongLived& tasks = LongLivedTasks();
  QThreadPool& pool = Pool();
  std::function<void()> run = [task = std::move(task), &tasks, &pool] {
    TakenFromPool();
    task();
    const std::lock_guard lock(tasks.mutex);
    pool.setMaxThreadCount(pool.maxThreadCount() - 1);
    if (--tasks.running == 0) tasks.ended.notify_all();
  };
  const std::lock_guard lock(tasks.mutex);
  ++tasks.running;
  HandingToPool();
  // First in the queue, then a thread more for as long as it runs: it starts at once, and the
  // parts of InParallel keep the threads they had.
  pool.start(std::move(run), INT_MAX);
  pool.setMaxThreadCount(pool.maxThreadCount() + 1);
}

void WaitForLongLivedTasksForTest() {
  LongLived& tasks = LongLivedTasks();
  std::unique_lock lock(tasks.mutex);
  tasks.ended.wait(lock, [&] { return tasks.running == 0; });
}

}  // namespace brindlewick
