#pragma once

#include <optional>
#include <vector>

#include <QByteArray>

#include <QByteArrayView>
#include <QImage>

#include "platform/jpeg/session/DecodeRequest.h"

struct jpeg_decompress_struct;

namespace brindlewick {

class JpegSession;

// Whether a row of the output at `scale` depends on the rows of its neighbouring MCU rows: only
// when a component is upsampled vertically (the smoothing "fancy" filter looks one row up and
// down). None where libjpeg refuses the scale.
std::optional<bool> NeedsNeighbourRows(JpegSession& header, DecodeScale scale);

// How many cores DecodeInBands keeps busy for a file whose header `header` holds, at the request's
// scale and cores; 0 when it does not take the file. What the decoder plans by.
int BandedDecodeCores(const jpeg_decompress_struct& header, const DecodeRequest& request);

// Decodes a baseline JPEG whose restart markers cut it into bands of whole MCU rows on the cores
// the request allows: each band is a JPEG of its own, decoded at the request's scale straight
// into its rows of the picture (RGB32, as stored: no EXIF orientation applied). The pixels are
// exactly those of a decode of the whole file on one thread. Where no output row depends on its
// neighbouring MCU rows, every interval is a band; otherwise there are `bands` of them, each
// reaching an interval beyond its own rows (0 means two per core allowed, so that a thread that
// starts late does not hold up the rest). `header` has read the file's header. None for a file
// that cannot be cut so (no usable markers, anything unexpected, anything the decoder so much as
// warns about), for a request of one core, and once the request is asked to stop: the caller then
// decodes the whole file, or gives up.
std::optional<QImage> DecodeInBands(JpegSession& header, QByteArrayView jpeg,
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
