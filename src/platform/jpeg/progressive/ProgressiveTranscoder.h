#pragma once

#include <memory>
#include <stop_token>
#include <vector>

#include <QByteArray>
#include <QByteArrayView>

namespace brindlewick {

struct JpegFrame;

// A sequential JPEG stream that libjpeg decodes to exactly the pixels it decodes from the
// progressive file with IDCTs of the given sizes (one per component, as libjpeg chose them for the
// scale). Only the scans those IDCTs need are entropy-decoded, into a store of just the
// coefficients they read (plus, where a later refinement must know whether a coefficient is zero,
// a bit for each); one interleaved sequential scan then carries them, and libjpeg decodes that a
// row of blocks at a time instead of holding 128 bytes for every block of the picture. At 1/8, a
// 4:2:0 picture's store is about 2 bytes per luma block and 58 per chroma block.
//
// The stream comes a stripe of rows at a time: the headers first, then each stripe's blocks, the
// end of the image with the last. The store holds one stripe of at most `storeBytes` (one MCU row
// at least), every scan resuming where it stopped, so every scan's data is still read once; the
// stream is the same whatever the stripes. Given two threads or more, three long-lived threads of
// the pool make it (StripePipeline), two each decoding a part of the scans and one writing the
// blocks, each a stripe behind the one before; the store then holds four smaller stripes, and the
// writing waits for the reader, so the stream holds a few stripes of its bytes however slowly
// libjpeg takes them.
inline constexpr qint64 kStripeStoreBytes = qint64(8) << 20;

class SequentialStream {
 public:
  // None when the file is arithmetic-coded, has more blocks per MCU than a sequential scan
  // allows, or declares more blocks than its data could possibly hold; and when every scan is
  // needed but the picture is small enough that libjpeg's own decode, holding every coefficient,
  // is the quicker.
  static std::unique_ptr<SequentialStream> Open(QByteArrayView jpeg, const JpegFrame& frame,
                                                const std::vector<int>& idctSizes,
                                                qint64 storeBytes = kStripeStoreBytes,
                                                std::stop_token stop = {}, int threads = 1);
  ~SequentialStream();
  SequentialStream(const SequentialStream&) = delete;
  SequentialStream& operator=(const SequentialStream&) = delete;

  // Replaces `out` with the next piece of the stream: the headers, then one stripe after another.
  // False once the stream is over, and when the progressive file's entropy-coded data is
  // anything but clean (a bad code, data cut short, a restart out of place, values a sequential
  // stream cannot carry) or the decode is asked to stop.
  bool next(QByteArray& out);

 private:
  class Transcoder;
  explicit SequentialStream(std::unique_ptr<Transcoder> transcoder);
  std::unique_ptr<Transcoder> transcoder_;
};

}  // namespace brindlewick
