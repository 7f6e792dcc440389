#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include "platform/jpeg/frame/JpegFrame.h"

namespace brindlewick {

// The headers of a sequential stream of the frame, with EncodingTable's tables: the file's APP
// segments, a quantisation table per component, an extended sequential frame (so that sixteen-bit
// quantisation tables pass), the Huffman tables and the start of one interleaved scan of every
// coefficient; a restart interval of that many MCUs when above 0.
void WriteSequentialHeaders(QByteArray& out, QByteArrayView jpeg, const JpegFrame& p,
                            int restartInterval = 0);

}  // namespace brindlewick
