#pragma once

#include <optional>
#include <vector>

#include <QByteArray>

#include <QByteArrayView>
#include <QImage>

#include "platform/jpeg/session/DecodeRequest.h"

namespace brindlewick {

class JpegSession;

// Decodes a baseline JPEG whose restart markers cut it into bands of whole MCU rows on the cores
// the request gives: each band is a JPEG of its own, decoded at the request's scale straight
// into its rows of the picture (RGB32, as stored: no EXIF orientation applied). The pixels are
// exactly those of a decode of the whole file on one thread. Where no output row depends on its
// neighbouring MCU rows, every interval is a band; otherwise there are `bands` of them, each
// reaching an interval beyond its own rows (0 means two per core given, so that a thread that
// starts late does not hold up the rest). `header` has read the file's header. None for a file
// that cannot be cut so (no usable markers, anything unexpected, anything the decoder so much as
// warns about), and once the request is asked to stop: the caller then decodes the whole file, or
// gives up.
std::optional<QImage> DecodeRestartBands(JpegSession& header, QByteArrayView jpeg,
                                         const DecodeRequest& request, int bands = 0);

// The same for a stream held in pieces, as the split baseline decode makes it: `headers` (SOI up to
// the end of the scan header) and each restart interval's data, every one but the last followed by
// its marker. Each interval is let go as soon as the last band that reads it is decoded, so that
// the stream shrinks while the picture fills. `bodies` is left empty once any band has begun, and
// as it was when the stream is refused before.
std::optional<QImage> DecodeIntervalsInBands(JpegSession& header, QByteArrayView headers,
                                             std::vector<QByteArray>& bodies,
                                             const DecodeRequest& request);

}  // namespace brindlewick
