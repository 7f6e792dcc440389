#pragma once

#include <csetjmp>
#include <cstdio>  // jpeglib.h needs FILE and size_t declared before it
#include <optional>
#include <stop_token>
#include <vector>

#include <QByteArrayView>
#include <QImage>

#include <jpeglib.h>

#include "platform/jpeg/session/DecodeRequest.h"

namespace brindlewick {

// TurboJPEG's limit, kept: a progressive file with thousands of scans takes minutes to decode for
// nothing, each repeated scan being only a warning.
inline constexpr int kMaxScans = 500;

// The error handling that every call into libjpeg here goes through, compressing or
// decompressing. A fatal error keeps the library's text and jumps back out of the step that
// failed. A warning is counted; a decode that must give exactly what another gives (the quicker
// ways of decoding a file) fails on it instead, since what a warning leaves behind cannot be
// vouched for.
class LibjpegErrors {
 public:
  enum class OnWarning { Count, Fail };
  explicit LibjpegErrors(OnWarning onWarning = OnWarning::Count) : onWarning_(onWarning) {}
  LibjpegErrors(const LibjpegErrors&) = delete;
  LibjpegErrors& operator=(const LibjpegErrors&) = delete;

  // Makes this the error manager of a compressor or decompressor not yet created.
  void attach(jpeg_common_struct& info);

  // Runs one step of calls into libjpeg; false when the library failed it (message() says why).
  // A failure jumps back into this frame over the library's and the step's, so the step may hold
  // nothing that needs destroying (a lambda over references and plain values) and keeps what it
  // changes outside its own frame; and this frame stays its own, never inlined into a caller
  // whose objects would share it.
  template <typename Step>
  [[gnu::noinline]] bool run(Step&& step) {
    if (setjmp(jump_) != 0) return false;
    step();
    return true;
  }

  // The library's text of the failure, or ours for a stop or too many scans.
  const char* message() const { return message_; }

  // For tests only: the warnings counted.
  long warningsForTest() const { return manager_.num_warnings; }

 protected:
  static LibjpegErrors& Of(j_common_ptr info);
  [[noreturn]] void failWith(const char* text);

 private:
  [[noreturn]] static void Fail(j_common_ptr info);
  static void Message(j_common_ptr info, int level);

  jpeg_error_mgr manager_{};
  std::jmp_buf jump_{};
  char message_[JMSG_LENGTH_MAX] = {};
  OnWarning onWarning_;
};

// One libjpeg decompressor with the shared error handling. Its progress monitor, which libjpeg
// calls for every row it puts out and every row of blocks of every scan it takes in, fails the
// step as soon as the decode is asked to stop or has read more scans than any real file holds.
class JpegSession : public LibjpegErrors {
 public:
  explicit JpegSession(std::stop_token stop = {}, OnWarning onWarning = OnWarning::Count);
  ~JpegSession();

  // Reads the header of a file in memory, which must outlive the session. `keepSegments` keeps
  // the APP1 and APP2 segments before the picture's data (EXIF, colour profiles) for
  // savedSegment().
  bool readHeader(QByteArrayView file, bool keepSegments = false);
  // Reads the header from a source of the caller's, which must outlive the session.
  bool readHeader(jpeg_source_mgr& source);

  // Works out the output size and each component's IDCT size (DCT_scaled_size) at the scale,
  // without starting to decompress.
  bool calcOutputDimensions(DecodeScale scale);
  // Starts decompressing at the scale into Qt's 32-bit pixels, alpha opaque. Smoothing guesses
  // the coefficients of a progressive file that never arrived; a stream that leaves out
  // coefficients nobody reads must not have them guessed.
  bool start(DecodeScale scale, bool smoothing = true, CmykPixels cmyk = CmykPixels::ToRgb);
  // Reads the next output row into `line`, a row of the output's width in 32-bit pixels. Only
  // inside run().
  void readRow(unsigned char* line);
  // Starts at the scale and reads every row: the picture as stored; none when libjpeg failed.
  std::optional<QImage> decode(DecodeScale scale, bool smoothing = true,
                               CmykPixels cmyk = CmykPixels::ToRgb);

  // The ICC colour profile the header's APP2 segments carry, joined by libjpeg; empty when there
  // is none, a chunk is missing or out of place, or it would be larger than `maxBytes`. Only after
  // readHeader() with the segments kept.
  QByteArray iccProfile(qsizetype maxBytes);

  // The body of the first kept segment with the marker whose body starts with `prefix`, in file
  // order; empty when there is none.
  QByteArrayView savedSegment(int marker, QByteArrayView prefix) const;

  jpeg_decompress_struct& info() { return info_; }
  const jpeg_decompress_struct& info() const { return info_; }
  bool cmyk() const {
    return info_.jpeg_color_space == JCS_CMYK || info_.jpeg_color_space == JCS_YCCK;
  }
  bool stopped() const { return stopped_; }

 private:
  static void Monitor(j_common_ptr info);

  jpeg_decompress_struct info_{};
  jpeg_progress_mgr progress_{};
  std::stop_token stop_;
  bool created_ = false;
  bool stopped_ = false;
  std::vector<unsigned char> cmykRow_;
};

}  // namespace brindlewick
