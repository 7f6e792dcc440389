#pragma once

#include <optional>

#include <QtGlobal>

class QByteArray;

namespace brindlewick {

struct Progression;

// A sequential JPEG stream that libjpeg decodes at eighths/8 to exactly the pixels it decodes
// from the progressive file at that scale. Only the scans that scale needs are entropy-decoded,
// into a store of just the coefficients its IDCTs read (plus, where a later refinement must know
// whether a coefficient is zero, a bit for each); one interleaved sequential scan then carries
// them, and libjpeg decodes that a row of blocks at a time instead of holding 128 bytes for every
// block of the picture. At 1/8, a 4:2:0 picture's store is about 2 bytes per luma block and 58 per
// chroma block. The store holds a stripe of rows of at most `storeBytes` (one MCU row at least) at
// a time, each scan resuming where it stopped, so every scan's data is still read once; the
// stream is the same whatever the stripes.
//
// When every scan is needed, the stream is made only for a picture large enough that the store
// (what the IDCTs read, a stripe at a time) saves much of what libjpeg would hold: every
// coefficient of the picture; smaller ones give nullopt.
//
// nullopt when the file is arithmetic-coded, has more blocks per MCU than a sequential scan
// allows, holds values a sequential stream cannot carry, or its entropy-coded data is anything
// but clean (a bad code, data cut short, a restart out of place): the caller
// then takes another path, which lets libjpeg have its say about the file.
inline constexpr qint64 kStripeStoreBytes = qint64(8) << 20;
std::optional<QByteArray> SequentialForScale(const QByteArray& jpeg, const Progression& progression,
                                             int eighths, qint64 storeBytes = kStripeStoreBytes);

}  // namespace brindlewick
