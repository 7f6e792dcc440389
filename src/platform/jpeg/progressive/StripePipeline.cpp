#include "platform/jpeg/progressive/StripePipeline.h"

#include <exception>
#include <utility>

#include "platform/jpeg/progressive/ScanDecoder.h"
#include "platform/jpeg/progressive/SequentialWriter.h"
#include "platform/threads/Parallel.h"

namespace brindlewick {

StripePipeline::StripePipeline(ScanDecoder first, ScanDecoder rest, SequentialWriter writer,
                               const StripeLayout& layout, std::stop_source stop)
    : layout_(layout), stop_(std::move(stop)), stripes_(kStripesHeld, CoefficientStripe(layout)) {
  // Each stage's object lives in its task, so no other thread can reach it.
  StartLongLived(
      [this, scans = std::move(first)]() mutable { run([&] { return decodeFirst(scans); }); });
  StartLongLived(
      [this, scans = std::move(rest)]() mutable { run([&] { return decodeRest(scans); }); });
  StartLongLived(
      [this, writer = std::move(writer)]() mutable { run([&] { return write(writer); }); });
}

StripePipeline::~StripePipeline() {
  stop_.request_stop();
  stagesEnded_.wait();
}

bool StripePipeline::take(QByteArray& out) {
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [&] { return !pieces_.empty() || ended_ || failed_; });
  if (failed_ || pieces_.empty()) return false;
  out = std::move(pieces_.front());
  pieces_.pop_front();
  lock.unlock();
  changed_.notify_all();  // the writer may be waiting for room
  return true;
}

void StripePipeline::run(const std::function<bool()>& stage) {
  bool ended = false;
  try {
    ended = stage();
  } catch (const std::exception&) {
  }
  if (!ended) {
    const std::lock_guard lock(mutex_);
    failed_ = true;
  }
  changed_.notify_all();
  stagesEnded_.count_down();  // the last touch: the pipeline may be gone after it
}

// Waits until the condition holds; false when the stream is stopped or failed meanwhile.
template <typename Condition>
bool StripePipeline::waitFor(Condition condition) {
  std::unique_lock lock(mutex_);
  return changed_.wait(lock, stop_.get_token(), [&] { return condition() || failed_; }) && !failed_;
}

// Holds each stripe as the writing frees one.
bool StripePipeline::decodeFirst(ScanDecoder& scans) {
  for (int k = 0; k < layout_.stripes(); ++k) {
    if (!waitFor([&] { return k - done_[2] < int(kStripesHeld); })) return false;
    stripe(k).hold(layout_.top(k), layout_.bottom(k));
    if (!scans.decode(stripe(k), layout_.bottom(k))) return false;
    done(0, k);
  }
  return true;
}

bool StripePipeline::decodeRest(ScanDecoder& scans) {
  for (int k = 0; k < layout_.stripes(); ++k) {
    if (!waitFor([&] { return done_[0] > k; })) return false;
    if (!scans.decode(stripe(k), layout_.bottom(k))) return false;
    done(1, k);
  }
  return true;
}

bool StripePipeline::write(SequentialWriter& writer) {
  QByteArray piece;
  writer.writeHeaders(piece);
  if (!push(std::move(piece))) return false;
  for (int k = 0; k < layout_.stripes(); ++k) {
    if (!waitFor([&] { return done_[1] > k; })) return false;
    piece = QByteArray();
    if (!writer.writeStripe(stripe(k), layout_.top(k), layout_.bottom(k), piece)) return false;
    if (k + 1 == layout_.stripes()) writer.finish(piece);
    if (!push(std::move(piece))) return false;
    done(2, k);
  }
  const std::lock_guard lock(mutex_);
  ended_ = true;
  return true;
}

void StripePipeline::done(int stage, int k) {
  {
    const std::lock_guard lock(mutex_);
    done_[size_t(stage)] = k + 1;
  }
  changed_.notify_all();
}

// Waits for the reader to take all but a piece or so, whatever libjpeg's pace.
bool StripePipeline::push(QByteArray piece) {
  if (!waitFor([&] { return pieces_.size() < kPiecesQueued; })) return false;
  {
    const std::lock_guard lock(mutex_);
    pieces_.push_back(std::move(piece));
  }
  changed_.notify_all();
  return true;
}

}  // namespace brindlewick
