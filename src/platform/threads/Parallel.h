#pragma once

#include <functional>

namespace brindlewick {

// The cores this machine offers.
int CoreCount();

// Makes the pool now, on the calling thread. The program's main thread calls it first thing:
// Qt takes the thread that makes its first object for its main thread, and a decode started
// before the application object (a head start) would otherwise make the pool on its worker.
void MakePool();

// Runs work(0) .. work(parts - 1) on the calling thread and up to `threads - 1` threads of one pool
// shared by the whole program and sized to the machine (one core less than it has, the caller's
// being the last), each thread taking the next part not yet taken, and returns when all are done.
// The first exception a part threw is rethrown here.
void InParallel(int parts, int threads, const std::function<void(int part)>& work);

// Runs `task` on a thread of the same pool, started at once however many the pool has busy: for a
// task that lives as long as some piece of work and waits on others beside it (a stage of a
// pipeline), which queued behind a full pool would hold its partners up for good. The thread goes
// back to the pool when the task returns; the caller learns of that end in its own way, and the
// task must not throw.
void StartLongLived(std::function<void()> task);

// Keeps the calling thread off the pool for the rest of its life: the parts and tasks it would hand
// the pool run on it instead, one after the other. For a thread at idle priority, which must never
// hold a lock of the pool's that threads serving the window take, since it may then be left
// without a core for seconds; such a thread must not start tasks that wait on each other.
void KeepThisThreadOffThePool();

// For tests only: returns once every long-lived task started has returned its thread to the pool.
void WaitForLongLivedTasksForTest();

}  // namespace brindlewick
