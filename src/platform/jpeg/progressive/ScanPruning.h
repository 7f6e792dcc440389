#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include <QByteArray>
#include <QByteArrayView>

#include "platform/jpeg/frame/JpegFrame.h"

namespace brindlewick {

// The scans a decode that reads only `read` (per component, bits of zigzag positions) needs:
// those that add bits to a coefficient read, or to one whose bits a later needed scan refines.
std::vector<bool> ScansNeeded(const JpegFrame& frame, std::vector<uint64_t> read);

// The same progressive JPEG stream without the scans that IDCTs of the given sizes do not need.
// None when no scan can go: the caller then decodes the whole file.
std::optional<QByteArray> PruneProgressiveScans(QByteArrayView jpeg, const JpegFrame& frame,
                                                const std::vector<int>& idctSizes);

}  // namespace brindlewick
