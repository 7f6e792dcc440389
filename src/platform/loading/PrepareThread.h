#pragma once

#include <atomic>
#include <memory>
#include <optional>
#include <stop_token>

#include <QByteArray>

#include "platform/loading/PictureCodec.h"

namespace brindlewick {

class ThreadPriority;

// The one thread that decodes pixels nobody waits for yet. It lowers itself as it starts and is
// never raised, so it runs only on time nothing else wants and may go without a core for seconds
// on a busy machine. It therefore shares no lock with the threads that serve the window: an order
// reaches it through an atomic mailbox, and it hands the pixels back in the order itself, which
// says when they are there. Nobody waits for it, its owner's end included.
class PrepareThread {
 public:
  // The name of its thread.
  static constexpr const char* kName = "decode prepare";

  // One decode, and the slot its pixels come back in.
  struct Order {
    Order(QByteArray file, JpegHeader header, DecodePlan plan)
        : file(std::move(file)), header(std::move(header)), plan(plan) {}
    const QByteArray file;
    const JpegHeader header;
    const DecodePlan plan;
    std::stop_source stop;
    enum State { Pending, Done, Failed };
    // Set by the thread alone, once; `picture` is there to be taken once it reads Done.
    std::atomic<State> state{Pending};
    std::optional<Picture> picture;
  };

  PrepareThread(std::shared_ptr<const PictureCodec> codec,
                std::shared_ptr<const ThreadPriority> priority);
  // Asks the thread to end after the decode it is in, which its orderer stops, and lets it go.
  ~PrepareThread();
  PrepareThread(const PrepareThread&) = delete;
  PrepareThread& operator=(const PrepareThread&) = delete;

  // Gives the thread its next order, in place of one it has not begun.
  void post(std::shared_ptr<Order> order);

  // Returns once the thread has no order left (for benchmarks and tests).
  void waitUntilIdle() const;

 private:
  struct Shared;
  static void Run(const std::shared_ptr<Shared>& shared);
  std::shared_ptr<Shared> shared_;
};

}  // namespace brindlewick
