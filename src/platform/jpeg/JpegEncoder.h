#pragma once

#include <QByteArray>

class QImage;

namespace brindlewick {

enum class ChromaSubsampling { Full444, Half422, Quarter420, Gray };

struct JpegEncoding {
  int quality = 90;
  ChromaSubsampling subsampling = ChromaSubsampling::Quarter420;
  bool progressive = false;
  bool optimizeHuffman = true;
};

// Encodes an RGB32 image as a JPEG file in memory with libjpeg-turbo's libjpeg API, with the
// settings TurboJPEG's tjCompress2 uses for the same quality and sampling (so a file written
// before comes out byte for byte the same): the quality is passed to the encoder as it is, and
// qualities of 96 and up take the accurate DCT. Fails with a RuntimeError naming what went wrong.
QByteArray EncodeJpeg(const QImage& image, const JpegEncoding& encoding);

}  // namespace brindlewick
