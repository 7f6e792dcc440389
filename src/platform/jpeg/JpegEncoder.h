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

// Encodes an RGB32 image as a JPEG file in memory with libjpeg-turbo. The quality is passed to
// the encoder as it is. Fails with a RuntimeError naming what went wrong.
QByteArray EncodeJpeg(const QImage& image, const JpegEncoding& encoding);

}  // namespace brindlewick
