#pragma once

#include <QtGlobal>

#include <atomic>
#include <optional>
#include <stop_token>
#include <type_traits>
#include <vector>

#include "platform/jpeg/bands/BandCoding.h"

namespace brindlewick {

// Where a band starts: its first MCU row, the bit there and the DC predictions before it.
struct BandStart {
  qint64 row = 0;
  qint64 position = 0;
  DcPredictors dc{};
};

// The bands' starts as the walker finds them, and how far it has walked, for the bands' decoders
// to wait on.
class BandStarts {
 public:
  BandStarts(int bands, qsizetype data) : starts_(size_t(bands)), decodedTo_(size_t(bands)) {
    starts_[0].position = data * 8;
  }

  int bands() const { return int(starts_.size()); }
  int found() const { return found_.load(std::memory_order_acquire); }
  const BandStart& operator[](int band) const { return starts_[size_t(band)]; }

  // The picture's MCU row up to which a band's decoder has got, for the walker to weigh what it
  // has left; told by the decoders, to whom the rest is read-only.
  void decodedTo(int band, qint64 row) const {
    decodedTo_[size_t(band)].store(row, std::memory_order_relaxed);
  }
  qint64 decodedTo(int band) const {
    return decodedTo_[size_t(band)].load(std::memory_order_relaxed);
  }

  void publish(const BandStart& start) {
    const int band = found_.load(std::memory_order_relaxed);
    starts_[size_t(band)] = start;
    decodedTo(band, start.row);
    found_.store(band + 1, std::memory_order_release);
    walkedTo(start.row);
  }
  void walkedTo(qint64 row) {
    walked_.store(row, std::memory_order_release);
    tell();
  }
  void fail() {
    found_.store(-1, std::memory_order_release);
    tell();
  }

  // Whether band `band`'s start is found, once it is; false once the walk failed.
  bool started(int band) const {
    return waitUntil([&]() -> std::optional<bool> {
      const int found = this->found();
      if (found < 0 || found > band) return found > band;
      return std::nullopt;
    });
  }

  // How far band `band`'s rows are known to be its own: the next band's first MCU row, which is
  // its end, or once the walk has passed `seen`, the MCU row it has got to; -1 once the walk
  // failed.
  struct Known {
    qint64 row;
    bool end;
  };
  Known known(int band, qint64 seen, qint64 total) const {
    return waitUntil([&]() -> std::optional<Known> {
      const int found = this->found();
      if (found < 0) return Known{-1, true};
      if (band + 1 == bands()) return Known{total, true};
      if (found > band + 1) return Known{starts_[size_t(band) + 1].row, true};
      const qint64 walked = walked_.load(std::memory_order_acquire);
      if (walked > seen) return Known{walked, false};
      return std::nullopt;
    });
  }

 private:
  // Every change counts news, which a decoder reads before it looks, and waits on if what it looks
  // for is not there: a change between the two ends the wait at once.
  void tell() {
    news_.fetch_add(1, std::memory_order_release);
    news_.notify_all();
  }
  template <typename Ready>
  auto waitUntil(Ready ready) const -> typename std::invoke_result_t<Ready>::value_type {
    for (;;) {
      const int news = news_.load(std::memory_order_acquire);
      if (auto answer = ready()) return *answer;
      news_.wait(news, std::memory_order_acquire);
    }
  }

  std::vector<BandStart> starts_;
  mutable std::vector<std::atomic<qint64>> decodedTo_;  // never resized: atomics stay in place
  std::atomic<int> found_{1};
  std::atomic<qint64> walked_{0};
  std::atomic<int> news_{0};
};

// Walks the data from its start and publishes each later band's start, at the first MCU row on
// whose first MCU WriteFirstMcu succeeds, once BandCutDue says the band before should end there.
// Returns once the last band's start is published; false for data that is not clean, ends first,
// or once the stop is asked.
bool FindStarts(const BandCoding& coding, BandStarts& starts, const std::stop_token& stop);

// Ends the walk for the bands' decoders waiting on it, however it ends.
struct WalkOver {
  BandStarts& starts;
  ~WalkOver() {
    if (starts.found() != starts.bands()) starts.fail();
  }
};

// Whether the walker should end the band before the next where it is, `here` of the work done:
// that band's decoder has `left` of the work to go up to here, and has done `decoded` while the
// walker went `walked`. Each of the `toStart` bands still to start (the walker's own last among
// them) begins as the walker reaches it; for all to end when the band before does, each is 1 - w
// times as long as the one before, w being the walk's cost against the decode as just seen. Weighed
// from where the decoders are, the cuts need no constant for what the walk costs on the machine,
// and a decoder that starts late gets a shorter band.
bool BandCutDue(double here, double left, double decoded, double walked, int toStart);

}  // namespace brindlewick
