#include "JpegVariants.h"

// clang-format off
#include <cstdio>  // jpeglib.h needs FILE first
#include <jpeglib.h>
// clang-format on
#include <turbojpeg.h>

#include <cstdlib>
#include <vector>

#include <QImage>

namespace brindlewick::variants {

QByteArray WithExifOrientation(const QByteArray& jpeg, int orientation, bool looping) {
  // Big-endian TIFF header; one directory at offset 8 with one entry, Orientation (0x0112) as a
  // SHORT; then the offset of the next directory: none, or this one again.
  QByteArray tiff("MM\x00\x2a\x00\x00\x00\x08\x00\x01\x01\x12\x00\x03\x00\x00\x00\x01", 18);
  tiff += char(0);
  tiff += char(orientation);
  tiff += QByteArray(2, '\0');
  tiff += looping ? QByteArray("\x00\x00\x00\x08", 4) : QByteArray(4, '\0');
  const QByteArray payload = QByteArray("Exif\0\0", 6) + tiff;
  QByteArray segment("\xff\xe1", 2);
  segment += char((payload.size() + 2) >> 8);
  segment += char((payload.size() + 2) & 0xff);
  return jpeg.left(2) + segment + payload + jpeg.mid(2);
}

QByteArray CmykJpeg(const QImage& image, int quality, int black) {
  std::vector<unsigned char> cmyk;
  cmyk.reserve(size_t(image.width()) * image.height() * 4);
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) {
      const QRgb p = image.pixel(x, y);
      cmyk.insert(cmyk.end(), {uchar(qRed(p)), uchar(qGreen(p)), uchar(qBlue(p)), uchar(black)});
    }
  }
  tjhandle handle = tjInitCompress();
  unsigned char* out = nullptr;
  unsigned long size = 0;
  QByteArray bytes;
  if (tjCompress2(handle, cmyk.data(), image.width(), 0, image.height(), TJPF_CMYK, &out, &size,
                  TJSAMP_444, quality, 0) == 0) {
    bytes = QByteArray(reinterpret_cast<const char*>(out), qsizetype(size));
  }
  tjFree(out);
  tjDestroy(handle);
  return bytes;
}

QByteArray WithRepeatedLastScan(const QByteArray& progressiveJpeg, int copies) {
  const qsizetype lastScan = progressiveJpeg.lastIndexOf(QByteArray("\xff\xda", 2));
  const qsizetype end = progressiveJpeg.lastIndexOf(QByteArray("\xff\xd9", 2));
  if (lastScan < 0 || end < lastScan) return progressiveJpeg;
  const QByteArray scan = progressiveJpeg.mid(lastScan, end - lastScan);
  return progressiveJpeg.left(end) + scan.repeated(copies) + progressiveJpeg.mid(end);
}

QByteArray RestartJpeg(const QImage& image, const RestartEncoding& encoding) {
  const QImage rgb32 = image.convertToFormat(QImage::Format_RGB32);
  jpeg_compress_struct info{};
  jpeg_error_mgr errors;
  info.err = jpeg_std_error(&errors);  // a failure here is a broken test setup: libjpeg exits
  jpeg_create_compress(&info);
  unsigned char* out = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&info, &out, &size);
  info.image_width = JDIMENSION(rgb32.width());
  info.image_height = JDIMENSION(rgb32.height());
  info.input_components = 4;
  info.in_color_space = Q_BYTE_ORDER == Q_LITTLE_ENDIAN ? JCS_EXT_BGRX : JCS_EXT_XRGB;
  jpeg_set_defaults(&info);
  if (encoding.gray) jpeg_set_colorspace(&info, JCS_GRAYSCALE);
  jpeg_set_quality(&info, encoding.quality, TRUE);
  info.comp_info[0].h_samp_factor = encoding.gray ? 1 : encoding.lumaH;
  info.comp_info[0].v_samp_factor = encoding.gray ? 1 : encoding.lumaV;
  info.restart_interval = unsigned(encoding.restartMcus);
  jpeg_start_compress(&info, TRUE);
  while (info.next_scanline < info.image_height) {
    auto* row = const_cast<JSAMPLE*>(rgb32.constScanLine(int(info.next_scanline)));
    jpeg_write_scanlines(&info, &row, 1);
  }
  jpeg_finish_compress(&info);
  jpeg_destroy_compress(&info);
  const QByteArray bytes(reinterpret_cast<const char*>(out), qsizetype(size));
  std::free(out);
  return bytes;
}

QByteArray WithDeclaredSize(const QByteArray& jpeg, int width, int height) {
  QByteArray out = jpeg;
  for (const char* frame : {"\xff\xc0", "\xff\xc1", "\xff\xc2"}) {
    const qsizetype at = out.indexOf(QByteArray(frame, 2));
    if (at < 0) continue;
    // Marker, length (2), precision (1), then height and width, big-endian.
    out[at + 5] = char(height >> 8);
    out[at + 6] = char(height & 0xff);
    out[at + 7] = char(width >> 8);
    out[at + 8] = char(width & 0xff);
    break;
  }
  return out;
}

}  // namespace brindlewick::variants
