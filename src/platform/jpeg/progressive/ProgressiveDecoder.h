#pragma once

#include <optional>

#include <QByteArrayView>
#include <QImage>

#include "platform/jpeg/session/DecodeRequest.h"

namespace brindlewick {

class JpegSession;

// Decodes a progressive JPEG from only the scans whose coefficients the request's scale reads,
// turned into a sequential stream that libjpeg decodes as it is made (on three threads of the pool
// beside the caller's where the request gives two cores or more), or where that stream cannot be
// made and the scale is reduced, the file without the scans nobody needs: the pixels (RGB32, as
// stored, not turned upright) of decoding the whole file at that scale. `header` has read the
// file's header. None whenever that cannot be vouched for (anything unusual, a warning from the
// decoder) and once the decode was asked to stop: the caller then decodes the whole file, or gives
// up.
std::optional<QImage> DecodeProgressiveStream(JpegSession& header, QByteArrayView jpeg,
                                              const DecodeRequest& request);

// The progressive file without the scans the request's scale leaves out, decoded by libjpeg; none
// where no scan can go, and as above.
std::optional<QImage> DecodeProgressivePruned(JpegSession& header, QByteArrayView jpeg,
                                              const DecodeRequest& request);

}  // namespace brindlewick
