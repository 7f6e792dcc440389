#pragma once

#include <optional>
#include <vector>

#include <QByteArrayView>
#include <QImage>

#include "platform/jpeg/session/DecodeRequest.h"

struct jpeg_decompress_struct;

namespace brindlewick {

class JpegSession;

// Whether this build's libjpeg-turbo is one whose internals the pruned decode was checked
// against (see ProgressiveTranscoder.cpp).
bool PruningCheckedAgainstThisLibrary();

// The size of the IDCT libjpeg runs for each component at the scale, as jpeg_calc_output_dimensions
// chooses it (DCT_scaled_size); none when the header does not let it say.
std::optional<std::vector<int>> IdctSizes(JpegSession& header, DecodeScale scale);

// How many cores DecodeProgressivePruned keeps busy, the calling thread's included, for a file
// whose header `header` holds, at the request's scale and cores; 0 when it does not take the file.
// What the decoder plans by.
int ProgressiveDecodeCores(const jpeg_decompress_struct& header, const DecodeRequest& request);

// Decodes a progressive JPEG at a reduced DCT scale from only the scans whose coefficients that
// scale reads, giving the pixels (RGB32, as stored, not turned upright) of decoding the whole
// file at that scale. `header` has read the file's header. nullopt whenever that cannot be
// vouched for (not progressive, nothing to skip, anything unusual, a warning from the decoder)
// and when the decode was asked to stop: the caller then decodes the whole file, or gives up.
std::optional<QImage> DecodeProgressivePruned(JpegSession& header, QByteArrayView jpeg,
                                              const DecodeRequest& request);

// Whether the pruned decode of a progressive file gives libjpeg's whole-file pixels at every
// reduced scale, leaving scans out at 1/8 at least: the check, once per run, that the library the
// program runs on decodes as the one it was checked against.
bool PrunedDecodeMatchesWholeFile(QByteArrayView progressive);

}  // namespace brindlewick
