#include "JpegVariants.h"

#include <algorithm>
#include <cstdio>  // jpeglib.h needs FILE and size_t declared before it
#include <cstdlib>
#include <vector>

#include <QImage>

#include <jpeglib.h>

namespace brindlewick::variants {

namespace {

QByteArray App1(const QByteArray& payload) {
  QByteArray segment("\xff\xe1", 2);
  segment += char((payload.size() + 2) >> 8);
  segment += char((payload.size() + 2) & 0xff);
  return segment + payload;
}

}  // namespace

QByteArray ExifSegment(qint64 orientation, const ExifOrientationEntry& entry) {
  QByteArray tiff;
  const auto put = [&](quint32 value, int bytes) {
    for (int i = 0; i < bytes; ++i) {
      const int shift = 8 * (entry.littleEndian ? i : bytes - 1 - i);
      tiff += char((value >> shift) & 0xff);
    }
  };
  tiff += entry.littleEndian ? "II" : "MM";
  put(42, 2);
  put(8, 4);  // the first directory follows the header
  put(1, 2);  // one entry: Orientation (0x0112), one value of the given type
  put(0x0112, 2);
  put(quint32(entry.type), 2);
  put(1, 4);
  if (entry.type == 3) {
    put(quint32(orientation), 2);  // a SHORT sits in the first half of the value field
    put(0, 2);
  } else {
    put(quint32(orientation), 4);
  }
  put(entry.looping ? 8 : 0, 4);  // the next directory: none, or this one again
  return App1(QByteArray("Exif\0\0", 6) + tiff);
}

QByteArray XmpSegment() {
  return App1(QByteArray("http://ns.adobe.com/xap/1.0/\0", 29) +
              "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\"/>");
}

QByteArray IccSegments(const QByteArray& profile, int chunkBytes) {
  const int count = int((profile.size() + chunkBytes - 1) / chunkBytes);
  QByteArray segments;
  for (int i = 0; i < count; ++i) {
    const QByteArray chunk = profile.mid(qsizetype(i) * chunkBytes, chunkBytes);
    const qsizetype length = 2 + 12 + 2 + chunk.size();
    segments += QByteArray("\xff\xe2", 2) + char(length >> 8) + char(length & 0xff);
    segments += QByteArray("ICC_PROFILE\0", 12) + char(i + 1) + char(count) + chunk;
  }
  return segments;
}

QByteArray WithSegmentsFirst(const QByteArray& jpeg, const QByteArray& segments) {
  return jpeg.left(2) + segments + jpeg.mid(2);
}

QByteArray WithExifOrientation(const QByteArray& jpeg, int orientation, bool looping) {
  return WithSegmentsFirst(jpeg, ExifSegment(orientation, {3, false, looping}));
}

QByteArray WithStrayBytesAfterFirstSegment(const QByteArray& jpeg) {
  if (jpeg.size() < 6) return jpeg;
  const qsizetype end = 4 + ((qsizetype(uchar(jpeg[4])) << 8) | uchar(jpeg[5]));
  return jpeg.left(end) + QByteArray("\x12\x34", 2) + jpeg.mid(end);
}

QByteArray LibjpegJpeg(const QImage& image, const LibjpegEncoding& encoding) {
  const QImage rgb = image.convertToFormat(QImage::Format_RGB32);
  std::vector<unsigned char> cmyk;
  if (encoding.cmykBlack >= 0) {
    cmyk.reserve(size_t(rgb.width()) * size_t(rgb.height()) * 4);
    for (int y = 0; y < rgb.height(); ++y) {
      for (int x = 0; x < rgb.width(); ++x) {
        const QRgb p = rgb.pixel(x, y);
        cmyk.insert(cmyk.end(),
                    {uchar(qRed(p)), uchar(qGreen(p)), uchar(qBlue(p)), uchar(encoding.cmykBlack)});
      }
    }
  }
  // Valid input only, so libjpeg's default error handling is enough.
  jpeg_compress_struct info{};
  jpeg_error_mgr errors{};
  info.err = jpeg_std_error(&errors);
  jpeg_create_compress(&info);
  unsigned char* out = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&info, &out, &size);
  info.image_width = JDIMENSION(rgb.width());
  info.image_height = JDIMENSION(rgb.height());
  info.input_components = 4;
  info.in_color_space = !cmyk.empty()                     ? JCS_CMYK
                        : Q_BYTE_ORDER == Q_LITTLE_ENDIAN ? JCS_EXT_BGRX
                                                          : JCS_EXT_XRGB;
  jpeg_set_defaults(&info);
  if (!cmyk.empty()) jpeg_set_colorspace(&info, JCS_YCCK);
  if (encoding.gray) jpeg_set_colorspace(&info, JCS_GRAYSCALE);
  jpeg_set_quality(&info, encoding.quality, TRUE);
  for (int c = 0; c < info.num_components; ++c) {
    const bool luma = c == 0 && !encoding.gray && cmyk.empty();
    info.comp_info[c].h_samp_factor = luma ? encoding.lumaH : 1;
    info.comp_info[c].v_samp_factor = luma ? encoding.lumaV : 1;
  }
  info.restart_interval = unsigned(encoding.restartMcus);
  info.restart_in_rows = encoding.restartRows;
  info.arith_code = encoding.arithmetic ? TRUE : FALSE;
  info.optimize_coding = encoding.optimise ? TRUE : FALSE;
  if (encoding.progressive) jpeg_simple_progression(&info);
  jpeg_start_compress(&info, TRUE);
  const qsizetype cmykPitch = qsizetype(rgb.width()) * 4;
  while (info.next_scanline < info.image_height) {
    JSAMPROW row = const_cast<JSAMPROW>(
        cmyk.empty() ? rgb.constScanLine(int(info.next_scanline))
                     : cmyk.data() + cmykPitch * qsizetype(info.next_scanline));
    jpeg_write_scanlines(&info, &row, 1);
  }
  jpeg_finish_compress(&info);
  jpeg_destroy_compress(&info);
  const QByteArray bytes(reinterpret_cast<const char*>(out), qsizetype(size));
  std::free(out);
  return bytes;
}

QByteArray CmykJpeg(const QImage& image, int quality, int black) {
  LibjpegEncoding encoding;
  encoding.quality = quality;
  encoding.cmykBlack = black;
  return LibjpegJpeg(image, encoding);
}

QByteArray SampledJpeg(const QImage& image, int horizontal, int vertical, bool progressive) {
  LibjpegEncoding encoding;
  encoding.lumaH = horizontal;
  encoding.lumaV = vertical;
  encoding.progressive = progressive;
  return LibjpegJpeg(image, encoding);
}

QByteArray RestartJpeg(const QImage& image, const RestartEncoding& encoding) {
  LibjpegEncoding libjpeg;
  libjpeg.lumaH = encoding.lumaH;
  libjpeg.lumaV = encoding.lumaV;
  libjpeg.gray = encoding.gray;
  libjpeg.restartMcus = encoding.restartMcus;
  libjpeg.quality = encoding.quality;
  return LibjpegJpeg(image, libjpeg);
}

QByteArray WithRepeatedLastScan(const QByteArray& progressiveJpeg, int copies) {
  const qsizetype lastScan = progressiveJpeg.lastIndexOf(QByteArray("\xff\xda", 2));
  const qsizetype end = progressiveJpeg.lastIndexOf(QByteArray("\xff\xd9", 2));
  if (lastScan < 0 || end < lastScan) return progressiveJpeg;
  const QByteArray scan = progressiveJpeg.mid(lastScan, end - lastScan);
  return progressiveJpeg.left(end) + scan.repeated(copies) + progressiveJpeg.mid(end);
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

QByteArray CheckerboardJpeg(int width, int height) {
  QImage board(width, height, QImage::Format_RGB32);
  unsigned seed = 1;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      seed = seed * 1103515245u + 12345u;
      const int noise = int(seed >> 16) % 7 - 3;
      const int level = (x / 16 + y / 16) % 2 ? 215 : 40;
      const int chroma = (x / 2 + y / 2) % 2 ? 1 : -1;
      const auto channel = [&](int value) { return std::clamp(value + noise, 0, 255); };
      board.setPixel(
          x, y, qRgb(channel(level + chroma * 40), channel(level - chroma * 25), channel(level)));
    }
  }
  return LibjpegJpeg(board, {.lumaH = 2, .lumaV = 2, .quality = 100});
}

QByteArray WithStrayRestartMarker(const QByteArray& jpeg, double share) {
  const qsizetype scan = jpeg.lastIndexOf(QByteArray("\xff\xda", 2));
  if (scan < 0 || scan + 4 > jpeg.size()) return jpeg;
  const qsizetype data =
      scan + 2 + ((qsizetype(uchar(jpeg[scan + 2])) << 8) | uchar(jpeg[scan + 3]));
  const qsizetype end = jpeg.size() - 2;  // the end of the image
  const qsizetype stuffed =
      jpeg.indexOf(QByteArray("\xff\x00", 2), data + qsizetype(double(end - data) * share));
  if (stuffed < 0 || stuffed + 2 > end) return jpeg;
  QByteArray out = jpeg;
  out[stuffed + 1] = char(0xD3);
  return out;
}

QByteArray WithoutScanData(const QByteArray& jpeg) {
  // Segment by segment from the start of the image, so a marker's bytes inside a table's data
  // are never taken for it.
  for (qsizetype at = 2; at + 4 <= jpeg.size();) {
    const auto marker = uchar(jpeg[at + 1]);
    const qsizetype length = uchar(jpeg[at + 2]) << 8 | uchar(jpeg[at + 3]);
    at += 2 + length;
    if (marker == 0xda) return jpeg.left(at) + QByteArray("\xff\xd9", 2);
  }
  return jpeg;
}

}  // namespace brindlewick::variants
