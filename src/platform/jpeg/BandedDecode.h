#pragma once

#include "platform/jpeg/JpegDecoder.h"

class QByteArray;
class QImage;

namespace brindlewick {

// Decodes a baseline JPEG whose restart markers cut it into bands of whole MCU rows on all cores
// at once: each band is a JPEG of its own, decoded at the given DCT scale straight into its rows
// of `into` (RGB32, the whole picture's size at that scale). The pixels are exactly those of a
// decode of the whole file on one thread. Returns false, `into` then being undefined, for a file
// that cannot be cut so (no usable markers, anything unexpected, anything the decoder so much as
// warns about), on a one-core machine, and off the GUI thread, where a background decode should
// leave the other cores alone: the caller then decodes the whole file. `bands` 0 means one per
// core; tests ask for more.
bool DecodeInBands(const QByteArray& jpeg, DecodeScale scale, QImage& into, int bands = 0);

}  // namespace brindlewick
