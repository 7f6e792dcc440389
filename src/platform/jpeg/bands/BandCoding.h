#pragma once

#include <QtGlobal>

#include <optional>
#include <vector>

#include <QByteArrayView>

#include "platform/jpeg/frame/JpegFrame.h"
#include "platform/jpeg/kits/BaselineCodes.h"
#include "platform/jpeg/kits/BitWriter.h"
#include "platform/jpeg/kits/EncodingTable.h"

namespace brindlewick {

// What the walker and the bands' streams share: the data, its MCUs with nothing kept after DC,
// and the file's codes for each block of an MCU.
struct BandCoding {
  const unsigned char* bytes = nullptr;
  qsizetype data = 0, end = 0;
  McuShape shape;
  std::vector<EncodingTable> dc, ac;  // the file's own, per block of the MCU
  int height = 0;                     // image rows
  int mcuHeight = 0;                  // image rows per MCU row

  // None for a table libjpeg refuses, or more blocks to an MCU than it allows.
  static std::optional<BandCoding> For(QByteArrayView jpeg, const JpegFrame& scan);
};

// Reads one MCU from `in` and writes it into `out` (if given) with the file's codes, the DC of
// each component's first block whole rather than a difference, as a stream that starts here needs
// it; every other code comes out as it went in, read as libjpeg reads it. False where the file's
// table has no code for a whole DC value, or `in` does not hold a clean MCU.
bool WriteFirstMcu(BitReader& in, DcPredictors dc, const BandCoding& coding, BitWriter* out);

}  // namespace brindlewick
