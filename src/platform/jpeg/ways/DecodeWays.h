#pragma once

#include <optional>

#include <QByteArrayView>
#include <QImage>

#include "platform/jpeg/session/CodingFacts.h"
#include "platform/jpeg/session/DecodeRequest.h"

namespace brindlewick {

class JpegSession;

// The first way of decoding, in the table's order, that takes a file of these facts at the scale
// on `threads` cores, and how many of them it keeps busy (the calling thread's included): libjpeg's
// own decode of the whole file, on one, where no other does.
struct ChosenWay {
  DecodeWay way = DecodeWay::Whole;
  int cores = 1;
};
ChosenWay ChooseWay(const CodingFacts& facts, DecodeScale scale, int threads);

// Whether `way` gives libjpeg's own pixels of a file of these facts at the scale.
bool WayTakes(DecodeWay way, const CodingFacts& facts, DecodeScale scale);

// Decodes the file at the request's scale the way `way` does, on the request's cores; where that
// way does not take a file of these facts (a plan made by hand), or cannot vouch for its pixels,
// the whole file, unless the stop has been asked. `header` has read the file's header; the whole
// file is decoded with it, and when that fails, none is given and `header` says why. The pixels
// are as stored (RGB32, or CMYK as the request asks).
std::optional<QImage> DecodeTheWay(DecodeWay way, const CodingFacts& facts, JpegSession& header,
                                   QByteArrayView file, const DecodeRequest& request);

}  // namespace brindlewick
