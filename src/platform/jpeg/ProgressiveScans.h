#pragma once

#include <cstdint>
#include <optional>

class QByteArray;

namespace brindlewick {

// The block size (1..8) of the inverse DCT that libjpeg-turbo runs for one component when it
// decodes at eighths/8: a subsampled component is enlarged by a larger IDCT rather than by
// upsampling wherever the sampling factors allow it.
int ComponentIdctSize(int eighths, int h, int v, int maxH, int maxV);

// The coefficients that libjpeg-turbo's inverse DCT of the given block size reads, as a mask of
// zigzag positions (bit k = position k). Its 2x2 and 4x4 IDCTs read odd rows and columns up to
// 7, not only the top-left corner.
uint64_t CoefficientsRead(int idctSize);

// The same progressive JPEG stream without the scans that contribute nothing to the
// coefficients a decode at eighths/8 reads. nullopt when no scan can go, or when the file does
// anything the pruning cannot vouch for (another coding process, more than three components, a
// progression libjpeg would warn about, coefficients left unrefined so that libjpeg would
// smooth blocks, data cut short, unknown markers, more scans than the decoder allows): the
// caller then decodes the whole file.
std::optional<QByteArray> PruneProgressiveScans(const QByteArray& jpeg, int eighths);

}  // namespace brindlewick
