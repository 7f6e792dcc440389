#pragma once

#include <optional>

#include <QImage>

class QByteArray;

namespace brindlewick {

struct DecodeScale;

// Decodes a progressive JPEG at a reduced DCT scale from only the scans whose coefficients that
// scale reads, giving the pixels (RGB32, as stored, not turned upright) of decoding the whole
// file at that scale. nullopt whenever that cannot be vouched for — not progressive, nothing to
// skip, anything unusual, a warning from the decoder — so the caller decodes the whole file.
std::optional<QImage> DecodeProgressivePruned(const QByteArray& jpeg, DecodeScale scale);

}  // namespace brindlewick
