#pragma once

#include <QByteArray>

class QImage;

namespace brindlewick::variants {

// Variants of JPEG files that the tests and the fuzzers' seeds need and our encoder does not
// write by itself.

// The same JPEG with an EXIF block carrying the given orientation (1..8). When `looping`, the
// EXIF directory then points back at itself, as a hostile file might.
QByteArray WithExifOrientation(const QByteArray& jpeg, int orientation, bool looping = false);

// The picture as a CMYK JPEG the way Adobe writes it (inverted): C, M and Y carry R, G and B,
// and every pixel has the given amount of (inverted) black.
QByteArray CmykJpeg(const QImage& image, int quality, int black = 255);

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

}  // namespace brindlewick::variants
