#pragma once

#include <cstdint>
#include <optional>
#include <stop_token>

#include <QByteArrayView>

namespace brindlewick {

// The marker codes the readers of segments look for, named as libjpeg's own reader (jdmarker.c)
// names them; jpeglib.h publishes only JPEG_RST0, JPEG_EOI, JPEG_APP0 and JPEG_COM.
enum JpegMarker : uint8_t {
  M_SOF0 = 0xC0,
  M_SOF1 = 0xC1,
  M_SOF2 = 0xC2,
  M_DHT = 0xC4,
  M_DAC = 0xCC,
  M_SOF10 = 0xCA,
  M_SOI = 0xD8,
  M_SOS = 0xDA,
  M_DQT = 0xDB,
  M_DRI = 0xDD,
  M_TEM = 0x01,
};

// One segment of a JPEG file: its marker, where the marker starts, and its body (what follows
// the two length bytes). Markers that stand alone (SOI, EOI, RSTn, TEM) have an empty body.
struct JpegSegment {
  uint8_t marker = 0;
  qsizetype at = 0;
  qsizetype body = 0;
  qsizetype end = 0;                     // just past the body
  const unsigned char* bytes = nullptr;  // the body
  int length() const { return int(end - body); }
};

// Reads the segments of a JPEG file in order, never past the data. The reading is strict:
// it starts at SOI and ends (gives none) at EOI or wherever the data does not go on as a JPEG file
// does: a byte other than a marker where one is due, a length that runs past the data.
class JpegSegments {
 public:
  explicit JpegSegments(QByteArrayView file);

  // The next segment, fill bytes before its marker skipped; EOI is the last one given.
  std::optional<JpegSegment> next();
  // After a scan's header: steps over its entropy-coded data, stuffed bytes and restart markers
  // included, to the marker that ends it; false when the data ends first or a stop is asked.
  bool skipEntropyCodedData(const std::stop_token& stop = {});
  // Where the reader stands: the next byte it reads.
  qsizetype position() const { return pos_; }

 private:
  const unsigned char* bytes_;
  qsizetype size_;
  qsizetype pos_ = 0;
  bool ended_ = false;
};

}  // namespace brindlewick
