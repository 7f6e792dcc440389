#pragma once

#include <optional>

#include <QByteArrayView>
#include <QImage>

#include "platform/jpeg/session/DecodeRequest.h"

namespace brindlewick {

class JpegSession;

// Decodes a baseline or extended sequential Huffman-coded file of one scan without restart markers
// for the first view (1/8) on the request's cores: its data cut into parts of equal bytes
// (SplitSequentialScan), each decoded from its cut, into a stream of the coefficients the view
// reads, which libjpeg decodes in bands of restart intervals, giving its own pixels of the whole
// file at that scale (RGB32, as stored, not turned upright). `header` has read the file's header.
// None for data that is anything but clean, and once the stop is asked: the caller then decodes
// the whole file, or gives up.
std::optional<QImage> DecodeBaselineSplit(JpegSession& header, QByteArrayView jpeg,
                                          const DecodeRequest& request);

}  // namespace brindlewick
