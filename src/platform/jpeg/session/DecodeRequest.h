#pragma once

#include <functional>
#include <stop_token>
#include <utility>

#include <QSize>
#include <QSizeF>

namespace brindlewick {

// Tells the decoder how large a picture of the given natural (upright) size is going to be
// painted, so that it may decode at a reduced scale that still covers that size. An empty size,
// or no function at all, asks for full size.
using PaintSizeFor = std::function<QSizeF(QSize naturalSize)>;

// A picture wanted for showing: at which size, on how many cores, and until when.
struct PictureRequest {
  PictureRequest() = default;
  PictureRequest(PaintSizeFor paintSize, int threads = 1, std::stop_token stop = {})
      : paintSize(std::move(paintSize)), threads(threads), stop(std::move(stop)) {}

  PaintSizeFor paintSize;
  // Cores the decode may keep busy, the calling thread's included. A decode in the background
  // takes one, so that the picture on screen keeps the others.
  int threads = 1;
  // Once a stop is asked for, the decode gives up within a row or so with a RuntimeError and
  // never falls back on another way of decoding.
  std::stop_token stop;
};

// The DCT scale (num/denom) of a decode: libjpeg-turbo scales by whole eighths.
struct DecodeScale {
  int num = 1;
  int denom = 1;
  friend bool operator==(const DecodeScale&, const DecodeScale&) = default;
};

// The ways of decoding a file: the pruned or pipelined decode of a progressive file, the bands of a
// file cut by restart markers, a sequential file's data cut into parts that fall into step, and
// libjpeg's own decode of the whole file, which every other way falls back on.
enum class DecodeWay { Progressive, Bands, Split, Whole };

// What every way of decoding a file is handed: the scale chosen for the picture as stored, and
// the request's cores and stop.
struct DecodeRequest {
  DecodeScale scale;
  int threads = 1;
  std::stop_token stop;
};

}  // namespace brindlewick
