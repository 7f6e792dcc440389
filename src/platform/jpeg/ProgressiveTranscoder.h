#pragma once

#include <optional>

class QByteArray;

namespace brindlewick {

struct Progression;

// A sequential JPEG stream that libjpeg decodes at eighths/8 to exactly the pixels it would
// decode from the progressive file at that scale, without block smoothing. Only the scans that
// scale needs are entropy-decoded, into a store of just the coefficients its IDCTs read (plus a
// bit per coefficient where a later refinement must know whether it is zero); the stream then
// carries those coefficients in one interleaved scan, which libjpeg decodes a row of blocks at a
// time instead of holding every coefficient of the picture. For a 4:2:0 picture at 1/8 that is
// about 30 bytes per pixel block row... in short, a fraction of libjpeg's 128 bytes per block.
//
// nullopt when the file is arithmetic-coded, has more blocks per MCU than a sequential scan
// allows, holds values a sequential stream cannot carry, or its entropy-coded data is anything
// but clean (a bad code, data cut short, a restart out of place): the caller then takes another
// path, which lets libjpeg have its say about the file.
std::optional<QByteArray> SequentialForScale(const QByteArray& jpeg, const Progression& progression,
                                             int eighths);

}  // namespace brindlewick
