#pragma once

#include <functional>
#include <stop_token>
#include <utility>

#include <QSize>
#include <QSizeF>

namespace brindlewick {

// Tells a loader how large a picture of the given natural (upright) size is going to be painted,
// so that it may decode at a reduced scale that still covers that size. An empty size, or no
// function at all, asks for full size.
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

}  // namespace brindlewick
