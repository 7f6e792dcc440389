#pragma once

#include <pthread.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <stop_token>
#include <thread>
#include <utility>

#include "platform/loading/Preparer.h"
#include "platform/threads/Parallel.h"
#include "platform/threads/ThreadPriority.h"

namespace brindlewick::test {

// A preparer in this process, so that a test can hold its decodes: one thread that lowers itself
// by the priority given as it starts, and takes each order through an atomic mailbox and hands
// its pixels back in the order, sharing no lock with its owner. Stopped, an order ends when its
// thread next runs, and nobody waits for that, not even the preparer's end.
class PrepareThread : public Preparer {
 public:
  static constexpr const char* kName = "decode prepare";

  PrepareThread(std::shared_ptr<const PictureCodec> codec,
                std::shared_ptr<const ThreadPriority> priority)
      : shared_(std::make_shared<Shared>()) {
    shared_->codec = std::move(codec);
    shared_->priority = std::move(priority);
    std::thread([shared = shared_] { Run(*shared); }).detach();
  }
  ~PrepareThread() override {
    stop();
    shared_->quit = true;
    shared_->wake();
  }

  void start(const Order& order) override {
    stop();
    current_ = std::make_shared<Task>(order);
    delete shared_->mailbox.exchange(new auto(current_));
    shared_->wake();
  }
  Outcome poll() override {
    const auto state = current_ ? current_->state.load(std::memory_order_acquire) : Outcome::Failed;
    if (state == Outcome::Pending) return {};
    Outcome outcome{state, state == Outcome::Done ? *current_->picture : Picture()};
    current_.reset();
    return outcome;
  }
  void stop() override {
    if (current_) current_->stop.request_stop();
    current_.reset();
  }
  void waitUntilIdle() override {
    if (!current_) return;
    current_->state.wait(Outcome::Pending);
  }

 private:
  struct Task {
    explicit Task(Order order) : order(std::move(order)) {}
    const Order order;
    std::stop_source stop;
    std::atomic<Outcome::State> state{Outcome::Pending};  // set once, by the thread
    std::optional<Picture> picture;
  };
  struct Shared {
    // An order posted while the thread was busy is left in the mailbox when it quits.
    ~Shared() { delete mailbox.load(); }
    std::shared_ptr<const PictureCodec> codec;
    std::shared_ptr<const ThreadPriority> priority;
    std::atomic<std::shared_ptr<Task>*> mailbox{nullptr};
    std::atomic<uint32_t> posted{0};
    std::atomic<bool> quit{false};
    void wake() {
      posted.fetch_add(1);
      posted.notify_one();
    }
  };

  static void Run(Shared& shared) {
    pthread_setname_np(pthread_self(), kName);
    shared.priority->lowerThisThread();
    KeepThisThreadOffThePool();
    while (!shared.quit) {
      const uint32_t posted = shared.posted.load();
      if (std::unique_ptr<std::shared_ptr<Task>> task{shared.mailbox.exchange(nullptr)}) {
        Decode(*shared.codec, **task);
      } else {
        shared.posted.wait(posted);
      }
    }
  }
  static void Decode(const PictureCodec& codec, Task& task) {
    auto state = Outcome::Failed;
    try {
      const Order& order = task.order;
      task.picture = codec.decode(order.file, order.header, order.plan, task.stop.get_token());
      state = Outcome::Done;
    } catch (...) {
    }
    task.state.store(state, std::memory_order_release);
    task.state.notify_all();
  }

  std::shared_ptr<Shared> shared_;
  std::shared_ptr<Task> current_;
};

}  // namespace brindlewick::test
