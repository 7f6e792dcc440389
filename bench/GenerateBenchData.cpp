// Writes the benchmark's photo-like JPEGs into a folder, skipping those already there. The
// progressive ones use libjpeg's default scan script, the CMYK one is written as Adobe writes
// them; bench/run makes the other variants from the baseline ones with jpegtran.
//   bench-data <folder>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include <QDir>
#include <QFile>
#include <QImage>

#include <jpeglib.h>

#include "PhotoSynth.h"
#include "platform/jpeg/JpegEncoder.h"

namespace {

struct BenchPhoto {
  const char* name;
  int width, height;
  bool progressive;
  bool cmyk = false;
};

constexpr BenchPhoto kPhotos[] = {
    {"photo12.jpg", 4000, 3000, false}, {"photo24.jpg", 6000, 4000, false},
    {"photo48.jpg", 8000, 6000, false}, {"photo24p.jpg", 6000, 4000, true},
    {"photo48p.jpg", 8000, 6000, true}, {"photo48c.jpg", 8000, 6000, false, true},
};

// A CMYK JPEG as Adobe writes it (inverted), C, M and Y carrying R, G and B, no black.
QByteArray CmykJpeg(const QImage& image) {
  std::vector<unsigned char> cmyk;
  cmyk.reserve(size_t(image.width()) * size_t(image.height()) * 4);
  for (int y = 0; y < image.height(); ++y) {
    const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
    for (int x = 0; x < image.width(); ++x) {
      cmyk.insert(cmyk.end(), {uchar(qRed(line[x])), uchar(qGreen(line[x])), uchar(qBlue(line[x])),
                               uchar(255)});
    }
  }
  jpeg_compress_struct info{};
  jpeg_error_mgr errors{};
  info.err = jpeg_std_error(&errors);
  jpeg_create_compress(&info);
  unsigned char* out = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&info, &out, &size);
  info.image_width = JDIMENSION(image.width());
  info.image_height = JDIMENSION(image.height());
  info.input_components = 4;
  info.in_color_space = JCS_CMYK;
  jpeg_set_defaults(&info);
  jpeg_set_colorspace(&info, JCS_YCCK);
  jpeg_set_quality(&info, 90, TRUE);
  jpeg_start_compress(&info, TRUE);
  while (info.next_scanline < info.image_height) {
    JSAMPROW row = cmyk.data() + size_t(info.next_scanline) * size_t(image.width()) * 4;
    jpeg_write_scanlines(&info, &row, 1);
  }
  jpeg_finish_compress(&info);
  jpeg_destroy_compress(&info);
  const QByteArray bytes(reinterpret_cast<const char*>(out), qsizetype(size));
  std::free(out);
  return bytes;
}

}  // namespace

int main(int argc, char* argv[]) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s <folder>\n", argv[0]);
    return 2;
  }
  const QString folder = QString::fromLocal8Bit(argv[1]);
  QDir().mkpath(folder);
  for (const BenchPhoto& photo : kPhotos) {
    const QString path = folder + QLatin1Char('/') + QLatin1String(photo.name);
    if (QFile::exists(path)) continue;
    std::printf("drawing %s (%d x %d)\n", photo.name, photo.width, photo.height);
    std::fflush(stdout);
    const QImage image = brindlewick::SynthesizePhoto(photo.width, photo.height, 48)
                             .convertToFormat(QImage::Format_RGB32);
    brindlewick::JpegEncoding encoding;
    encoding.quality = 90;
    encoding.subsampling = brindlewick::ChromaSubsampling::Quarter420;
    encoding.progressive = photo.progressive;
    const QByteArray jpeg = photo.cmyk ? CmykJpeg(image) : brindlewick::EncodeJpeg(image, encoding);
    QFile file(path + QStringLiteral(".part"));
    if (!file.open(QIODevice::WriteOnly) || file.write(jpeg) != jpeg.size()) return 1;
    file.close();
    if (!QFile::rename(path + QStringLiteral(".part"), path)) return 1;
  }
  return 0;
}
