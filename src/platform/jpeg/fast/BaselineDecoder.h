#pragma once

#include <optional>

#include <QByteArrayView>
#include <QImage>

#include "platform/jpeg/session/DecodeRequest.h"

struct jpeg_decompress_struct;

namespace brindlewick {

class JpegSession;

// How many cores DecodeBaselineSplit keeps busy, the calling thread's included, for a file whose
// header `header` holds, at the request's scale and cores; 0 when it does not take the file.
int BaselineDecodeCores(const jpeg_decompress_struct& header, const DecodeRequest& request);

// Decodes a baseline or extended sequential Huffman-coded file without restart markers at a
// reduced scale on the request's cores (SplitSequentialScan), giving libjpeg's own pixels of the
// whole file at that scale (RGB32, as stored, not turned upright). `header` has read the file's
// header. None for a file it does not take, one whose data is anything but clean, one too short
// to cut, and once the stop is asked: the caller then decodes the whole file, or gives up.
std::optional<QImage> DecodeBaselineSplit(JpegSession& header, QByteArrayView jpeg,
                                          const DecodeRequest& request);

}  // namespace brindlewick
