#pragma once

#include <optional>

#include <QImage>

#include "platform/jpeg/JpegDecoder.h"

class QByteArray;

namespace brindlewick {

// Decodes a baseline JPEG whose restart markers cut it into bands of whole MCU rows on all cores
// at once: each band is a JPEG of its own, decoded at the given DCT scale straight into its rows
// of the picture (RGB32, as stored: no EXIF orientation applied). The pixels are exactly those of
// a decode of the whole file on one thread. Where no output row depends on its neighbouring MCU
// rows, every interval is a band; otherwise there are `bands` of them, each reaching an interval
// beyond its own rows (0 means two per core, so that a thread that starts late does not hold up
// the rest). None for a file that cannot be cut so (no usable markers, anything unexpected,
// anything the decoder so much as warns about), on a one-core machine, and off the GUI thread,
// where a background decode should leave the other cores alone: the caller then decodes the whole
// file.
std::optional<QImage> DecodeInBands(const QByteArray& jpeg, DecodeScale scale, int bands = 0);

}  // namespace brindlewick
