#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "platform/jpeg/session/DecodeRequest.h"

namespace brindlewick {

class JpegSession;

// The coefficients that libjpeg-turbo's inverse DCT of the given block size reads, as a mask of
// zigzag positions (bit k = position k). Its 2x2 and 4x4 IDCTs read odd rows and columns up to
// 7, not only the top-left corner.
uint64_t CoefficientsRead(int idctSize);

// Per component, the coefficients read by IDCTs of the given sizes (one per component, as
// libjpeg chose them: DCT_scaled_size).
std::vector<uint64_t> CoefficientsRead(const std::vector<int>& idctSizes);

// The size of the IDCT libjpeg runs for each component at the scale, as jpeg_calc_output_dimensions
// chooses it (DCT_scaled_size); none when the header does not let it say.
std::optional<std::vector<int>> IdctSizes(JpegSession& header, DecodeScale scale);

}  // namespace brindlewick
