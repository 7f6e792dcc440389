// Writes the benchmark's photo-like JPEGs into a folder, skipping those already there. The
// progressive ones use libjpeg's default scan script, the CMYK one is written as Adobe writes
// them, and two are tagged with an Adobe RGB profile; bench/run makes the other variants from the
// baseline ones with jpegtran.
//   bench-data <folder>
#include <cstdio>

#include <QDir>
#include <QFile>
#include <QImage>

#include "JpegVariants.h"
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

// Written beside, then moved into place: an interrupted run leaves no half file.
bool WriteWhole(const QString& path, const QByteArray& bytes) {
  QFile file(path + QStringLiteral(".part"));
  if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size()) return false;
  file.close();
  return QFile::rename(path + QStringLiteral(".part"), path);
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
    const QByteArray jpeg = photo.cmyk ? brindlewick::variants::CmykJpeg(image, 90)
                                       : brindlewick::EncodeJpeg(image, encoding);
    if (!WriteWhole(path, jpeg)) return 1;
  }
  // The same pixels tagged with an Adobe RGB profile, as a camera set to Adobe RGB writes them.
  QFile adobe(QStringLiteral("/usr/share/color/icc/colord/AdobeRGB1998.icc"));
  if (!adobe.open(QIODevice::ReadOnly)) return 1;
  const QByteArray profile = brindlewick::variants::IccSegments(adobe.readAll());
  for (const char* name : {"photo24", "photo48"}) {
    const QString from = folder + QLatin1Char('/') + QLatin1String(name) + QStringLiteral(".jpg");
    const QString to = folder + QLatin1Char('/') + QLatin1String(name) + QStringLiteral("a.jpg");
    if (QFile::exists(to)) continue;
    QFile untagged(from);
    if (!untagged.open(QIODevice::ReadOnly)) return 1;
    if (!WriteWhole(to, brindlewick::variants::WithSegmentsFirst(untagged.readAll(), profile))) {
      return 1;
    }
  }
  return 0;
}
