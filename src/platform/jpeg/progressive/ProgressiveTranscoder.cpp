// The progressive file's needed scans, decoded into a small store and written out again as one
// sequential scan (see ProgressiveTranscoder.h): what decides how, over the parts that do it
// (HuffmanBits, CoefficientStripes, ScanDecoder, SequentialWriter, StripePipeline).
//
// What this and the other quicker ways mirror of libjpeg-turbo's internals, and the version they
// were checked against, is listed once, in ARCHITECTURE.md (decision 5).
#include "platform/jpeg/progressive/ProgressiveTranscoder.h"

#include <algorithm>
#include <optional>
#include <utility>

#include "platform/jpeg/frame/IdctReads.h"
#include "platform/jpeg/frame/JpegFrame.h"
#include "platform/jpeg/progressive/CoefficientStripes.h"
#include "platform/jpeg/progressive/ScanDecoder.h"
#include "platform/jpeg/progressive/ScanPruning.h"
#include "platform/jpeg/progressive/SequentialWriter.h"
#include "platform/jpeg/progressive/StripePipeline.h"

namespace brindlewick {
namespace {

// What libjpeg may hold for a progressive picture's coefficients, 128 bytes a block, when this
// stream would save it no scan; beyond it, the stream's few megabytes are worth its extra time.
constexpr qint64 kWholeCoefficientBytes = qint64(48) << 20;

// On several threads: stripes small enough that the two decoding stages start and end nearly
// together.
constexpr int kPipelineStripes = 32;

// Where the needed scans `scans` are cut in two parts that take about as long each. A byte of a
// refinement scan, a correction bit for every coefficient already nonzero, takes some two and a
// half times as long to decode as a byte of a first scan.
size_t SplitScans(const JpegFrame& p, const std::vector<size_t>& scans) {
  const auto weight = [&](size_t s) {
    const FrameScan& scan = p.scans[scans[s]];
    return (scan.end - scan.data) * (scan.ah > 0 ? 5 : 2);
  };
  qint64 total = 0, first = 0;
  for (size_t s = 0; s < scans.size(); ++s) total += weight(s);
  size_t split = 0;
  while (split + 1 < scans.size() && 2 * (first + weight(split)) <= total) {
    first += weight(split);
    ++split;
  }
  return std::max<size_t>(split, 1);
}

// Every scan needed, on one thread: libjpeg's own decode of the whole file is quicker, where what
// it holds for the picture's coefficients is not too much.
bool WholeFileIsQuicker(const StripeLayout& layout, const std::vector<bool>& needed) {
  if (std::find(needed.begin(), needed.end(), false) != needed.end()) return false;
  qint64 whole = 0;
  for (const ComponentStore& store : layout.components) {
    whole += qint64(store.wide) * store.high * 128;
  }
  return whole <= kWholeCoefficientBytes;
}

// The stream made on the thread that reads it: each stripe decoded and written as it asks.
class OneThread {
 public:
  OneThread(ScanDecoder scans, SequentialWriter writer, const StripeLayout& layout)
      : scans_(std::move(scans)), writer_(std::move(writer)), layout_(layout), stripe_(layout) {}

  bool next(QByteArray& out) {
    out.clear();
    if (!headerWritten_) {
      writer_.writeHeaders(out);
      headerWritten_ = true;
      return true;
    }
    if (k_ == layout_.stripes()) return false;
    stripe_.hold(layout_.top(k_), layout_.bottom(k_));
    if (!scans_.decode(stripe_, layout_.bottom(k_))) return false;
    if (!writer_.writeStripe(stripe_, layout_.top(k_), layout_.bottom(k_), out)) return false;
    if (++k_ == layout_.stripes()) writer_.finish(out);
    return true;
  }

 private:
  ScanDecoder scans_;
  SequentialWriter writer_;
  const StripeLayout layout_;
  CoefficientStripe stripe_;
  bool headerWritten_ = false;
  int k_ = 0;  // the next stripe
};

}  // namespace

// The stream's one stop source, which the caller's stop reaches too, and whichever way makes it.
class SequentialStream::Transcoder {
 public:
  explicit Transcoder(std::stop_token stop) : forwardStop_(std::move(stop), RequestStop{stop_}) {}
  ~Transcoder() { pipeline_.reset(); }

  bool open(QByteArrayView jpeg, const JpegFrame& p, const std::vector<int>& idctSizes,
            qint64 storeBytes, int threads) {
    if (p.arithmetic || idctSizes.size() != p.components.size()) return false;
    const std::vector<uint64_t> read = CoefficientsRead(idctSizes);
    const std::vector<bool> needed = ScansNeeded(p, read);
    std::optional<StripeLayout> layout = LayOutStripes(p, read, needed, storeBytes);
    if (!layout || (threads < 2 && WholeFileIsQuicker(*layout, needed))) return false;
    std::vector<size_t> scans;
    for (size_t s = 0; s < p.scans.size(); ++s) {
      if (needed[s]) scans.push_back(s);
    }
    if (threads < 2 || scans.size() < 2 || layout->rows < 2) {
      std::optional<ScanDecoder> all =
          ScanDecoder::Open(jpeg, p, *layout, scans, stop_.get_token());
      if (!all) return false;
      one_ =
          std::make_unique<OneThread>(std::move(*all), SequentialWriter(jpeg, p, *layout), *layout);
      return true;
    }
    layout->stripeRows = std::min(layout->stripeRows, std::max(1, layout->rows / kPipelineStripes));
    const auto split = scans.begin() + std::ptrdiff_t(SplitScans(p, scans));
    std::optional<ScanDecoder> first =
        ScanDecoder::Open(jpeg, p, *layout, {scans.begin(), split}, stop_.get_token());
    std::optional<ScanDecoder> rest =
        ScanDecoder::Open(jpeg, p, *layout, {split, scans.end()}, stop_.get_token());
    if (!first || !rest) return false;
    pipeline_ = std::make_unique<StripePipeline>(
        std::move(*first), std::move(*rest), SequentialWriter(jpeg, p, *layout), *layout, stop_);
    return true;
  }

  bool next(QByteArray& out) { return pipeline_ ? pipeline_->take(out) : one_->next(out); }

 private:
  struct RequestStop {
    std::stop_source source;
    void operator()() { source.request_stop(); }
  };
  // Asked when the caller's decode is stopped, and when the stream is given up.
  std::stop_source stop_;
  const std::stop_callback<RequestStop> forwardStop_;
  std::unique_ptr<OneThread> one_;
  std::unique_ptr<StripePipeline> pipeline_;
};

SequentialStream::SequentialStream(std::unique_ptr<Transcoder> transcoder)
    : transcoder_(std::move(transcoder)) {}

SequentialStream::~SequentialStream() = default;

std::unique_ptr<SequentialStream> SequentialStream::Open(QByteArrayView jpeg,
                                                         const JpegFrame& frame,
                                                         const std::vector<int>& idctSizes,
                                                         qint64 storeBytes, std::stop_token stop,
                                                         int threads) {
  auto transcoder = std::make_unique<Transcoder>(std::move(stop));
  if (!transcoder->open(jpeg, frame, idctSizes, storeBytes, threads)) return nullptr;
  return std::unique_ptr<SequentialStream>(new SequentialStream(std::move(transcoder)));
}

bool SequentialStream::next(QByteArray& out) { return transcoder_->next(out); }

}  // namespace brindlewick
