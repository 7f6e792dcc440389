#pragma once

#include <array>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <latch>
#include <mutex>
#include <stop_token>
#include <vector>

#include <QByteArray>

#include "platform/jpeg/progressive/CoefficientStripes.h"

namespace brindlewick {

class ScanDecoder;
class SequentialWriter;

// The sequential stream made by three stages on long-lived threads of the pool, for the one
// thread that reads it: the first part of the needed scans, the rest of them, and the writing of
// the blocks, each a stripe behind the one before (every scan depends only on those before it, so
// the first part of a stripe is complete before the second begins on it). Each stage owns the one
// object it is handed and touches nothing else but the stripe it has been passed; the stripes go
// round from stage to stage, a few held at once, and the pieces wait for the reader, at most
// kPiecesQueued of them, so the stream holds a few stripes whatever the reader's pace.
class StripePipeline {
 public:
  // Starts the stages. `stop` is the stream's: asked for, every stage ends at its next row or wait.
  StripePipeline(ScanDecoder first, ScanDecoder rest, SequentialWriter writer,
                 const StripeLayout& layout, std::stop_source stop);
  // Asks the stages to stop and waits for their end.
  ~StripePipeline();
  StripePipeline(const StripePipeline&) = delete;
  StripePipeline& operator=(const StripePipeline&) = delete;

  // The next piece, waiting for it; false once the stream is over or a stage failed.
  bool take(QByteArray& out);

 private:
  static constexpr size_t kStripesHeld = 4;
  static constexpr size_t kPiecesQueued = 2;

  void run(const std::function<bool()>& stage);
  bool decodeFirst(ScanDecoder& scans);
  bool decodeRest(ScanDecoder& scans);
  bool write(SequentialWriter& writer);
  CoefficientStripe& stripe(int k) { return stripes_[size_t(k) % kStripesHeld]; }
  template <typename Condition>
  bool waitFor(Condition condition);
  void done(int stage, int k);
  bool push(QByteArray piece);

  const StripeLayout layout_;
  std::stop_source stop_;
  std::vector<CoefficientStripe> stripes_;
  std::mutex mutex_;
  std::condition_variable_any changed_;
  std::array<int, 3> done_{};  // stripes each stage has finished
  std::deque<QByteArray> pieces_;
  bool ended_ = false;
  bool failed_ = false;
  std::latch stagesEnded_{3};
};

}  // namespace brindlewick
