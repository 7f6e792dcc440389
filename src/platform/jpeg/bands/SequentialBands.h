#pragma once

#include <optional>

#include <QByteArrayView>
#include <QImage>

#include "platform/jpeg/session/DecodeRequest.h"

namespace brindlewick {

class JpegSession;
struct JpegFrame;

// Decodes a baseline or extended sequential Huffman-coded file of one scan without restart
// markers, gray or three components, at 2/8 to 4/8, where no output row reads its neighbours' (see
// ways/DecodeWays.cpp), in horizontal bands of whole MCU rows, one per core the request gives,
// each decoded by libjpeg at the request's scale straight into its rows of the picture (RGB32, as
// stored: no EXIF orientation applied). The pixels are exactly those of a decode of the whole file
// on one thread.
//
// A band's data starts where no marker says, so one thread walks the data from its start, reading
// codes past without keeping them, and marks where each band's first MCU row starts: its bit and
// the DC predictions there. The first band is decoded from the file as it is at once; each later
// one from a stream made as libjpeg reads it: the file's headers with the band's height, its first
// MCU written again with whole DC values (a stream starts its predictions afresh), then the file's
// bits after it, shifted into place. The walker, done, decodes the last band.
//
// `header` has read the file's header. None for data that is anything but clean, for a file too
// short for two MCU rows a band, and once the stop is asked: the caller then decodes the whole
// file, or gives up.
std::optional<QImage> DecodeSequentialBands(JpegSession& header, QByteArrayView jpeg,
                                            const DecodeRequest& request);

// The same for the file's scan as read, in `bands` bands on the request's threads (more bands than
// threads only for tests).
std::optional<QImage> DecodeSequentialBands(QByteArrayView jpeg, const JpegFrame& scan,
                                            const DecodeRequest& request, int bands);

}  // namespace brindlewick
