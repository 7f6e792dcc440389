#include "platform/loading/PrepareThread.h"

#include <pthread.h>

#include <cstdint>
#include <thread>
#include <utility>

#include "platform/threads/Parallel.h"
#include "platform/threads/ThreadPriority.h"

namespace brindlewick {

// What the thread shares with its owner, and keeps once the owner is gone. Orders are counted as
// posted and as finished (run to their end, or replaced before they began); the thread waits on
// the first count, `waitUntilIdle` on the second.
struct PrepareThread::Shared {
  std::shared_ptr<const PictureCodec> codec;
  std::shared_ptr<const ThreadPriority> priority;
  std::atomic<std::shared_ptr<Order>*> mailbox{nullptr};
  std::atomic<uint32_t> posted{0};
  std::atomic<uint32_t> finished{0};
  std::atomic<bool> quit{false};

  void finishedOne() {
    finished.fetch_add(1);
    finished.notify_all();
  }
};

namespace {

void Decode(const PictureCodec& codec, PrepareThread::Order& order) {
  try {
    order.picture = codec.decode(order.file, order.header, order.plan, order.stop.get_token());
    order.state.store(PrepareThread::Order::Done, std::memory_order_release);
  } catch (...) {
    // A display that comes to need these pixels decodes them itself and reports what went wrong.
    order.state.store(PrepareThread::Order::Failed, std::memory_order_release);
  }
}

}  // namespace

PrepareThread::PrepareThread(std::shared_ptr<const PictureCodec> codec,
                             std::shared_ptr<const ThreadPriority> priority)
    : shared_(std::make_shared<Shared>()) {
  shared_->codec = std::move(codec);
  shared_->priority = std::move(priority);
  std::thread([shared = shared_] { Run(shared); }).detach();
}

PrepareThread::~PrepareThread() {
  shared_->quit = true;
  shared_->posted.fetch_add(1);
  shared_->posted.notify_one();
  delete shared_->mailbox.exchange(nullptr);
}

void PrepareThread::post(std::shared_ptr<Order> order) {
  // Into the mailbox first, then counted, so that the thread, woken by the count, finds it.
  std::shared_ptr<Order>* replaced = shared_->mailbox.exchange(new auto(std::move(order)));
  shared_->posted.fetch_add(1);
  shared_->posted.notify_one();
  if (replaced) {
    delete replaced;
    shared_->finishedOne();
  }
}

void PrepareThread::waitUntilIdle() const {
  for (uint32_t finished = shared_->finished.load(); finished != shared_->posted.load();
       finished = shared_->finished.load()) {
    shared_->finished.wait(finished);
  }
}

void PrepareThread::Run(const std::shared_ptr<Shared>& shared) {
  pthread_setname_np(pthread_self(), kName);  // so that `top -H` and profilers tell it apart
  shared->priority->lowerThisThread();
  KeepThisThreadOffThePool();
  while (true) {
    const uint32_t posted = shared->posted.load();
    if (std::unique_ptr<std::shared_ptr<Order>> order{shared->mailbox.exchange(nullptr)}) {
      if (!(*order)->stop.stop_requested()) Decode(*shared->codec, **order);
      if ((*order)->state.load() == Order::Pending) (*order)->state = Order::Failed;
      order.reset();
      shared->finishedOne();
    } else if (shared->quit) {
      return;
    } else {
      shared->posted.wait(posted);
    }
  }
}

}  // namespace brindlewick
