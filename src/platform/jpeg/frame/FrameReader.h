#pragma once

#include <optional>
#include <stop_token>

#include <QByteArrayView>

#include "platform/jpeg/frame/JpegFrame.h"

namespace brindlewick {

// Reads a progressive file, checking as it goes that libjpeg would decode its progression
// without a word of warning and end with every coefficient complete. None when the file does
// anything else: another coding process, more than three components, a progression libjpeg
// would warn about, coefficients left unrefined (libjpeg would smooth blocks), data cut short,
// unknown markers, more scans than the decoder allows; and once `stop` is asked, which the reading
// of each scan's data hears too.
std::optional<JpegFrame> ReadProgressiveFrame(QByteArrayView jpeg, std::stop_token stop = {});

// Reads a baseline or extended sequential Huffman-coded file of one scan carrying every
// coefficient of every component, without restart markers. None for anything else, and once
// `stop` is asked.
std::optional<JpegFrame> ReadSequentialFrame(QByteArrayView jpeg, std::stop_token stop = {});

}  // namespace brindlewick
