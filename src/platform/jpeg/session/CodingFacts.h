#pragma once

#include <QByteArrayView>
#include <QtGlobal>

#include "platform/jpeg/session/DecodeRequest.h"

namespace brindlewick {

class JpegSession;

// What a file's header tells of how its picture is coded: every fact a way of decoding looks at to
// say whether it takes the file and on how many cores, so that a plan never counts on cores its
// way would then refuse.
struct CodingFacts {
  int width = 0, height = 0;
  int components = 0;
  bool progressive = false;
  bool arithmetic = false;
  bool eightBit = false;
  // The first scan carries every component, interleaved: one scan holds the whole picture.
  bool oneScan = false;
  // The gray of a one-component file is coded as plain 8 x 8 blocks, whatever sampling it declares.
  bool plainGray = false;
  int blocksPerMcu = 0;  // of an MCU of a scan of every component (one, for one component)
  int mcuRows = 0;
  unsigned restartInterval = 0;  // MCUs
  // MCU rows per restart interval, where the interval is a whole number of them; 0 otherwise.
  int restartRows = 0;
  // From the first scan's entropy-coded data to the end of the file.
  qint64 dataBytes = 0;
  // Bit n - 1 set where, decoded at n/8, an output row reads the MCU rows above and below its own
  // (a component upsampled vertically: the smoothing filter looks a row up and down).
  unsigned neighbourRows = 0;

  // Gray or three components.
  bool grayOrColour() const { return components == 1 || components == 3; }
  bool needsNeighbourRows(DecodeScale scale) const;
};

// The facts of the file in memory whose header `header` has read from `file`.
CodingFacts ReadCodingFacts(JpegSession& header, QByteArrayView file);

// Whether an output row at `scale` depends on the MCU rows next to its own: where a component is
// upsampled vertically (libjpeg's smoothing "fancy" upsampling reads a row up and down), and where
// libjpeg refuses the scale.
bool NeedsNeighbourRows(JpegSession& header, DecodeScale scale);

}  // namespace brindlewick
