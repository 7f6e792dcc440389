#pragma once

#include <pthread.h>
#include <sched.h>

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <set>
#include <utility>
#include <vector>

#include "platform/errors/RuntimeError.h"
#include "platform/loading/DecodeJobs.h"
#include "platform/loading/PictureCodec.h"
#include "support/PrepareThread.h"

namespace brindlewick::test {

// The JPEG codec, whose decodes the test holds until it lets them go, with a record of each. A
// decode is a display's when it runs on the thread that loads, a head start's when it runs on the
// decode jobs' worker and a prepare's on the prepare's thread; each kind is numbered in the order
// its decodes start. Plans keep every core busy, or half of them, as the test says.
class GatedCodec : public JpegCodec {
 public:
  enum Kind { Display, Worker, Prepare };
  struct Decode {
    Kind kind = Display;
    DecodePlan plan;
    int policy = SCHED_OTHER;  // the thread's scheduling policy as the decode started
    int stoppedBefore = 0;     // earlier decodes asked to stop by then
    bool stopped = false;
    int policyOnStop = SCHED_OTHER;
    bool ended = false;
  };

  // A held decode that hears stops ends when it is stopped.
  bool hearStop = true;
  bool everyCore = false;

  JpegHeader readHeader(const QByteArray& file) const override {
    const std::lock_guard lock(mutex_);
    ++headers_;
    return JpegCodec::readHeader(file);
  }
  DecodePlan plan(const JpegHeader& header, QSizeF painted, int threads) const override {
    DecodePlan plan = JpegCodec::plan(header, painted, threads);
    plan.cores = everyCore ? threads : std::max(1, threads / 2);
    return plan;
  }
  Picture decode(const QByteArray& file, const JpegHeader& header, const DecodePlan& plan,
                 const std::stop_token& stop) const override {
    std::unique_lock lock(mutex_);
    char thread[16] = {};
    pthread_getname_np(pthread_self(), thread, sizeof thread);
    const Kind kind = KindOf(thread);
    const size_t index = decodes_.size();
    const int nth = int(of(kind).size());
    const int stoppedBefore = int(std::count_if(tokens_.begin(), tokens_.end(),
                                                [](const auto& t) { return t.stop_requested(); }));
    decodes_.push_back({kind, plan, sched_getscheduler(0), stoppedBefore});
    tokens_.push_back(stop);
    changed_.notify_all();
    changed_.wait(lock, hearStop ? stop : std::stop_token(), [&] {
      return !held_.count({kind, nth});
    });
    const auto end = [&] {
      decodes_[index].ended = true;
      changed_.notify_all();
    };
    if (stop.stop_requested()) {
      decodes_[index].stopped = true;
      decodes_[index].policyOnStop = sched_getscheduler(0);
      end();
      throw RuntimeError(ErrorNumber::InvalidPicture, "Invalid picture: the decode was stopped");
    }
    lock.unlock();
    Picture picture = JpegCodec::decode(file, header, plan, stop);
    lock.lock();
    end();
    return picture;
  }

  // Holds the nth decode of the kind until it is released.
  void hold(Kind kind, int nth) {
    const std::lock_guard lock(mutex_);
    held_.insert({kind, nth});
  }
  void release(Kind kind, int nth) {
    const std::lock_guard lock(mutex_);
    held_.erase({kind, nth});
    changed_.notify_all();
  }
  void waitUntilStarted(Kind kind, size_t decodes) const {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return of(kind).size() >= decodes; });
  }
  void waitUntilEnded(Kind kind, int nth) const {
    std::unique_lock lock(mutex_);
    changed_.wait(lock,
                  [&] { return of(kind).size() > size_t(nth) && of(kind)[size_t(nth)].ended; });
  }
  std::vector<Decode> decodes(Kind kind) const {
    const std::lock_guard lock(mutex_);
    return of(kind);
  }
  int headers() const {
    const std::lock_guard lock(mutex_);
    return headers_;
  }

 private:
  mutable std::mutex mutex_;
  mutable std::condition_variable_any changed_;
  std::vector<Decode> of(Kind kind) const {
    std::vector<Decode> chosen;
    for (const Decode& decode : decodes_) {
      if (decode.kind == kind) chosen.push_back(decode);
    }
    return chosen;
  }

  static Kind KindOf(const char* thread) {
    if (std::strcmp(thread, DecodeJobs::kWorkerName) == 0) return Worker;
    return std::strcmp(thread, PrepareThread::kName) == 0 ? Prepare : Display;
  }

  std::set<std::pair<Kind, int>> held_;
  mutable std::vector<Decode> decodes_;
  mutable std::vector<std::stop_token> tokens_;
  mutable int headers_ = 0;
};

}  // namespace brindlewick::test
