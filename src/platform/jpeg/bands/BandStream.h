#pragma once

#include <QtGlobal>

#include <QByteArray>
#include <QByteArrayView>

#include "platform/jpeg/bands/BandCoding.h"
#include "platform/jpeg/bands/BandWalk.h"

namespace brindlewick {

// The stream of a later band, made a piece at a time as libjpeg reads it: the file's headers with
// the band's height, its first MCU written again, the file's bits from there on, and at the end of
// the data zeros to a whole byte (what a decoder reading on past the data is fed anyway: where a
// block runs past the data, libjpeg reads the same bits from this stream as from the file) and the
// end of the image.
class BandStream {
 public:
  BandStream(const BandCoding& coding, QByteArray headers, const BandStart& start);

  // Replaces `piece` with the next piece; false once the stream is over, and at a marker in the
  // data, where libjpeg stops with a warning: the band is refused.
  bool next(QByteArray& piece);

 private:
  bool copy(QByteArray& piece);

  const BandCoding& coding_;
  QByteArray headers_;
  const BandStart start_;
  BitReader in_;
  BitWriter out_;
  qsizetype raw_ = -1;  // the next byte of the file to copy, once the first MCU is written
  bool started_ = false, over_ = false;
};

// Where the frame's height lies in the headers before the scan's data; 0 if it is not found.
qsizetype FrameHeightField(QByteArrayView jpeg, qsizetype data);

}  // namespace brindlewick
