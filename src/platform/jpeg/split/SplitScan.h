#pragma once

#include <optional>
#include <stop_token>
#include <vector>

#include <QByteArray>
#include <QByteArrayView>

namespace brindlewick {

struct JpegFrame;

// How a scan's data is cut: into `parts` of equal bytes at most, none shorter than
// `minPartBytes`, decoded on `threads`, each part recording its first `marks` block starts for
// the part before it to meet.
struct SplitOptions {
  int parts = 2;
  int threads = 2;
  qsizetype minPartBytes = qsizetype(256) << 10;
  int marks = 4096;
  int intervals = 1;  // restart intervals of whole MCU rows in the stream made
};

// A sequential stream made from parts, in pieces: its headers (SOI up to the end of the scan
// header) and each restart interval's data, every one but the last followed by its marker; how
// many parts the data was cut into, and whose work it holds (fewer where a part never fell into
// step, and the one before decoded it too).
struct SplitStream {
  QByteArray headers;
  std::vector<QByteArray> bodies;
  int parts = 0;
  int used = 0;

  // The whole stream in one, with the end of the image.
  QByteArray joined() const;
};

// The sequential stream that libjpeg decodes to exactly the pixels it decodes from `jpeg`, a file
// of one sequential Huffman-coded scan without restart markers (ReadSequentialFrame), with IDCTs of
// the given sizes (one per component, as libjpeg chose them for the scale): the same frame and
// blocks, each with its DC difference and only the coefficients those IDCTs read, coded with
// EncodingTable's tables. The data is cut into parts decoded side by side, each from its cut;
// where a part never falls into step with the true blocks, the part before decodes it too.
// None when the data is anything but clean (a bad code, a coefficient past a block's end, data cut
// short or running on past the last block) and once the stop is asked: the caller then decodes
// the whole file, or gives up.
std::optional<SplitStream> SplitSequentialScan(QByteArrayView jpeg, const JpegFrame& scan,
                                               const std::vector<int>& idctSizes,
                                               const SplitOptions& options,
                                               const std::stop_token& stop = {});

}  // namespace brindlewick
