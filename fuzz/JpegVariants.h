#pragma once

#include <QByteArray>

class QImage;

namespace brindlewick::variants {

// Variants of JPEG files that the tests and the fuzzers' seeds need and our encoder does not
// write by itself.

// How an EXIF directory stores the orientation: TIFF type SHORT is the standard's, but some
// writers use LONG or SLONG; either byte order.
struct ExifOrientationEntry {
  int type = 3;  // 3 SHORT, 4 LONG, 9 SLONG
  bool littleEndian = false;
  bool looping = false;  // the directory then points back at itself, as a hostile file might
};

// An APP1 segment with an EXIF block whose only entry is the given orientation.
QByteArray ExifSegment(qint64 orientation, const ExifOrientationEntry& entry = {});

// An APP1 segment with a small XMP packet, as editors write one before or after the EXIF block.
QByteArray XmpSegment();

// The APP2 segments that carry an ICC profile, in chunks of at most `chunkBytes`, numbered from 1
// of their count as the ICC's rule for JPEG has it.
QByteArray IccSegments(const QByteArray& profile, int chunkBytes = 65519);

// The JPEG with the segments inserted right after its start-of-image marker.
QByteArray WithSegmentsFirst(const QByteArray& jpeg, const QByteArray& segments);

// The same JPEG with an EXIF block carrying the given orientation (1..8), as the first segment.
QByteArray WithExifOrientation(const QByteArray& jpeg, int orientation, bool looping = false);

// The JPEG with two stray bytes after its first segment (its JFIF APP0): libjpeg warns about
// "extraneous bytes before marker" and decodes it all the same.
QByteArray WithStrayBytesAfterFirstSegment(const QByteArray& jpeg);

// libjpeg's encoder with what our encoder does not offer.
struct LibjpegEncoding {
  int lumaH = 2;  // luma sampled this many times as often as the chroma (1 x 1 is 4:4:4)
  int lumaV = 2;
  bool gray = false;
  bool progressive = false;
  bool arithmetic = false;
  int restartMcus = 0;  // a restart marker every this many MCUs
  int restartRows = 0;  // or every this many rows of MCUs
  int quality = 85;
  int cmykBlack = -1;     // 0..255: CMYK as below, with this black
  bool optimise = false;  // Huffman tables made for the picture
};
QByteArray LibjpegJpeg(const QImage& image, const LibjpegEncoding& encoding);

// The picture as a CMYK JPEG the way Adobe writes it (inverted): C, M and Y carry R, G and B,
// and every pixel has the given amount of (inverted) black.
QByteArray CmykJpeg(const QImage& image, int quality, int black = 255);

// The picture encoded by libjpeg with the given sampling factors for luma (chroma 1x1), such as
// 4x2 or 3x1, which TurboJPEG's encoder cannot write.
QByteArray SampledJpeg(const QImage& image, int horizontal, int vertical, bool progressive);

// A progressive JPEG whose last scan is repeated: each repeat is only a warning to the decoder,
// so without a limit it would decode scan after scan for as long as the file goes on.
QByteArray WithRepeatedLastScan(const QByteArray& progressiveJpeg, int copies);

// A baseline JPEG with a restart marker every `restartMcus` MCUs, written by libjpeg, with the
// luma sampled `lumaH` x `lumaV` times as often as the chroma (1 x 1 is 4:4:4), or gray.
struct RestartEncoding {
  int lumaH = 2;
  int lumaV = 2;
  bool gray = false;
  int restartMcus = 0;
  int quality = 90;
};
QByteArray RestartJpeg(const QImage& image, const RestartEncoding& encoding);

// The same JPEG declaring another size in its frame header.
QByteArray WithDeclaredSize(const QByteArray& jpeg, int width, int height);

// A checkerboard of 16-pixel squares, an MCU each, dark and light, over a checkerboard of 2-pixel
// squares in the chroma, with a little noise, at quality 100 and 4:2:0: every MCU's Cr block ends
// with its last coefficient, in bits that are as often ones as not, and the next MCU starts with
// the code of a large DC difference, so that many MCUs end inside a data byte 0xFF.
QByteArray CheckerboardJpeg(int width, int height);

// The baseline JPEG with the first stuffed zero from `share` of its entropy-coded data on turned
// into RST3, a restart marker where none is due; unchanged where there is none.
QByteArray WithStrayRestartMarker(const QByteArray& jpeg, double share);

// The JPEG's segments up to and with its first scan's header, then the end of the image: a file
// that declares its size and holds no picture data at all.
QByteArray WithoutScanData(const QByteArray& jpeg);

}  // namespace brindlewick::variants
