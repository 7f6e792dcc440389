#include "platform/jpeg/JpegEncoder.h"

#include <turbojpeg.h>

#include <cstdlib>
#include <cstring>
#include <memory>

#include <QImage>
#include <QString>

#include "platform/errors/RuntimeError.h"
#include "platform/jpeg/TurboJpegHandle.h"

namespace brindlewick {
namespace {

int TjSubsampling(ChromaSubsampling subsampling) {
  switch (subsampling) {
    case ChromaSubsampling::Full444:
      return TJSAMP_444;
    case ChromaSubsampling::Half422:
      return TJSAMP_422;
    case ChromaSubsampling::Quarter420:
      return TJSAMP_420;
    case ChromaSubsampling::Gray:
      return TJSAMP_GRAY;
  }
  return TJSAMP_420;
}

}  // namespace

QByteArray EncodeJpeg(const QImage& image, const JpegEncoding& encoding) {
  if (image.isNull() || image.width() <= 0 || image.height() <= 0) {
    throw RuntimeError(ErrorNumber::InvalidProcedureCall,
                       QStringLiteral("Cannot encode an empty picture"));
  }
  const QImage rgb32 =
      image.format() == QImage::Format_RGB32 ? image : image.convertToFormat(QImage::Format_RGB32);
  TjHandle handle(tjInitCompress());
  if (!handle) throw std::bad_alloc();

  // TurboJPEG 2.1 has no flag for optimised Huffman tables; it reads this variable on every
  // compression instead. The program sets it once before any thread starts (main), so this only
  // writes the environment when a caller wants the other kind.
  const char* wanted = encoding.optimizeHuffman ? "1" : "0";
  const char* current = std::getenv("TJ_OPTIMIZE");
  if (!current || std::strcmp(current, wanted) != 0) setenv("TJ_OPTIMIZE", wanted, 1);
  int flags = 0;
  if (encoding.progressive) flags |= TJFLAG_PROGRESSIVE;
  unsigned char* out = nullptr;
  unsigned long outSize = 0;
  const int pixelFormat = Q_BYTE_ORDER == Q_LITTLE_ENDIAN ? TJPF_BGRX : TJPF_XRGB;
  const int status = tjCompress2(
      handle.get(), rgb32.constBits(), rgb32.width(), int(rgb32.bytesPerLine()), rgb32.height(),
      pixelFormat, &out, &outSize, TjSubsampling(encoding.subsampling), encoding.quality, flags);
  TjBuffer owner(out);
  if (status != 0) {
    throw RuntimeError(ErrorNumber::InvalidProcedureCall,
                       QStringLiteral("Cannot encode the picture: ") +
                           QString::fromLocal8Bit(tjGetErrorStr2(handle.get())));
  }
  return QByteArray(reinterpret_cast<const char*>(out), qsizetype(outSize));
}

}  // namespace brindlewick
