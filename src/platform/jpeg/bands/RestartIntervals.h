#pragma once

#include <optional>
#include <utility>
#include <vector>

#include <QByteArrayView>

namespace brindlewick {

class JpegSession;

// Where the restart intervals of a one-scan baseline JPEG lie, when every interval is a whole
// number of MCU rows. Each interval's entropy-coded data decodes on its own (the DC predictions
// start afresh at every restart marker), so a run of intervals plus the file's headers is a valid
// JPEG of that horizontal band.
struct RestartIntervals {
  int width = 0;
  int height = 0;
  int mcuHeight = 0;           // image rows per MCU row: 8 or 16
  int mcuRows = 0;             // MCU rows in the picture
  int rowsPerInterval = 0;     // MCU rows per restart interval
  qsizetype headerEnd = 0;     // the headers: SOI up to the end of the SOS segment
  qsizetype frameHeight = 0;   // offset of the frame header's height field
  qsizetype restartField = 0;  // offset of the restart interval's field (in the DRI segment)
  // Entropy-coded data of each interval: begin and end offsets, markers and fill bytes excluded.
  std::vector<std::pair<qsizetype, qsizetype>> data;

  int intervals() const { return int(data.size()); }
  // How many intervals the picture's MCU rows make.
  int expected() const;
  // Image rows from the top of the picture to the start of an interval (or the end, for the
  // index one past the last).
  int rowOf(int interval) const;
};

// The layout that the headers of a file (SOI up to the end of its scan header), which `header`
// has read, give its intervals; their data not yet found. None as below.
std::optional<RestartIntervals> ReadRestartLayout(const JpegSession& header,
                                                  QByteArrayView headers);

// The layout of the file whose header `header` has read, without decoding; none unless the file
// is baseline or extended sequential Huffman-coded, 8-bit, gray or three components, in one
// interleaved scan, with a restart interval of whole MCU rows, every restart marker where and in
// the order it must be, and the end of the image right after the last interval.
std::optional<RestartIntervals> ReadRestartIntervals(const JpegSession& header,
                                                     QByteArrayView jpeg);

}  // namespace brindlewick
