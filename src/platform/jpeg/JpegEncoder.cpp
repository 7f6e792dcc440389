#include "platform/jpeg/JpegEncoder.h"

#include <algorithm>
#include <memory>
#include <new>
#include <utility>

#include <QImage>
#include <QString>

#include <jerror.h>

#include "platform/errors/RuntimeError.h"
#include "platform/jpeg/session/JpegSession.h"

namespace brindlewick {
namespace {

// Qt's 32-bit pixels in memory order, the fourth byte ignored.
constexpr J_COLOR_SPACE kRgb32 = Q_BYTE_ORDER == Q_LITTLE_ENDIAN ? JCS_EXT_BGRX : JCS_EXT_XRGB;

struct Sampling {
  int lumaH, lumaV;
};

Sampling SamplingOf(ChromaSubsampling subsampling) {
  switch (subsampling) {
    case ChromaSubsampling::Half422:
      return {2, 1};
    case ChromaSubsampling::Quarter420:
      return {2, 2};
    case ChromaSubsampling::Full444:
    case ChromaSubsampling::Gray:
      return {1, 1};
  }
  return {2, 2};
}

// The file being written, in a buffer of ours that doubles as it fills.
struct Destination {
  jpeg_destination_mgr manager{};  // first: libjpeg hands back a pointer to it
  QByteArray bytes;
};

Destination& DestinationOf(j_compress_ptr info) {
  return *reinterpret_cast<Destination*>(info->dest);
}

// Makes room after the first `used` bytes; false when there is no memory for it.
bool Grow(Destination& destination, qsizetype used) noexcept {
  try {
    destination.bytes.resize(std::max<qsizetype>(qsizetype(1) << 16, 2 * destination.bytes.size()));
  } catch (const std::bad_alloc&) {
    return false;
  }
  auto* data = reinterpret_cast<JOCTET*>(destination.bytes.data());
  destination.manager.next_output_byte = data + used;
  destination.manager.free_in_buffer = size_t(destination.bytes.size() - used);
  return true;
}

void StartWriting(j_compress_ptr info) {
  if (!Grow(DestinationOf(info), 0)) ERREXIT1(info, JERR_OUT_OF_MEMORY, 10);
}

// Called when the whole buffer is written; libjpeg-turbo's Huffman encoder may leave the
// manager's pointer and count pointing into a buffer of its own by then, so they are not read.
boolean BufferFull(j_compress_ptr info) {
  Destination& destination = DestinationOf(info);
  if (!Grow(destination, destination.bytes.size())) ERREXIT1(info, JERR_OUT_OF_MEMORY, 10);
  return TRUE;
}

void FinishWriting(j_compress_ptr info) {
  Destination& destination = DestinationOf(info);
  destination.bytes.truncate(destination.bytes.size() -
                             qsizetype(destination.manager.free_in_buffer));
}

// A compressor writing into a Destination, released however the encode ends.
struct Compressor {
  Compressor() {
    errors.attach(reinterpret_cast<jpeg_common_struct&>(info));
    destination.manager.init_destination = StartWriting;
    destination.manager.empty_output_buffer = BufferFull;
    destination.manager.term_destination = FinishWriting;
  }
  ~Compressor() { jpeg_destroy_compress(&info); }
  Compressor(const Compressor&) = delete;
  Compressor& operator=(const Compressor&) = delete;

  LibjpegErrors errors;
  jpeg_compress_struct info{};
  Destination destination;
};

void SetParameters(jpeg_compress_struct& info, const JpegEncoding& encoding) {
  info.in_color_space = kRgb32;
  info.input_components = 4;
  jpeg_set_defaults(&info);
  info.optimize_coding = encoding.optimizeHuffman ? TRUE : FALSE;
  jpeg_set_quality(&info, encoding.quality, TRUE);
  info.dct_method = encoding.quality >= 96 ? JDCT_ISLOW : JDCT_FASTEST;
  jpeg_set_colorspace(&info,
                      encoding.subsampling == ChromaSubsampling::Gray ? JCS_GRAYSCALE : JCS_YCbCr);
  if (encoding.progressive) jpeg_simple_progression(&info);
  const Sampling sampling = SamplingOf(encoding.subsampling);
  info.comp_info[0].h_samp_factor = sampling.lumaH;
  info.comp_info[0].v_samp_factor = sampling.lumaV;
  for (int c = 1; c < info.num_components; ++c) {
    info.comp_info[c].h_samp_factor = 1;
    info.comp_info[c].v_samp_factor = 1;
  }
}

}  // namespace

QByteArray EncodeJpeg(const QImage& image, const JpegEncoding& encoding) {
  if (image.isNull() || image.width() <= 0 || image.height() <= 0) {
    throw RuntimeError(ErrorNumber::InvalidProcedureCall,
                       QStringLiteral("Cannot encode an empty picture"));
  }
  const QImage rgb32 =
      image.format() == QImage::Format_RGB32 ? image : image.convertToFormat(QImage::Format_RGB32);
  if (rgb32.isNull()) throw std::bad_alloc();
  auto compressor = std::make_unique<Compressor>();
  Compressor& c = *compressor;
  const unsigned char* const bits = rgb32.constBits();
  const qsizetype stride = rgb32.bytesPerLine();
  if (!c.errors.run([&] {
        jpeg_create_compress(&c.info);  // keeps err and client_data
        c.info.dest = &c.destination.manager;
        c.info.image_width = JDIMENSION(rgb32.width());
        c.info.image_height = JDIMENSION(rgb32.height());
        SetParameters(c.info, encoding);
        jpeg_start_compress(&c.info, TRUE);
        while (c.info.next_scanline < c.info.image_height) {
          // libjpeg only reads the rows it is given.
          auto row = const_cast<JSAMPROW>(bits + stride * qsizetype(c.info.next_scanline));
          jpeg_write_scanlines(&c.info, &row, 1);
        }
        jpeg_finish_compress(&c.info);
      })) {
    throw RuntimeError(
        ErrorNumber::InvalidProcedureCall,
        QStringLiteral("Cannot encode the picture: ") + QString::fromLocal8Bit(c.errors.message()));
  }
  return std::move(c.destination.bytes);
}

}  // namespace brindlewick
