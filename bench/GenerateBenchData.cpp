// Writes the benchmark's photo-like JPEGs into a folder, skipping those already there.
//   bench-data <folder>
#include <cstdio>
#include <utility>

#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>

#include "PhotoSynth.h"
#include "platform/jpeg/JpegEncoder.h"

namespace {

struct BenchPhoto {
  const char* name;
  int width, height;
  bool progressive;
};

constexpr BenchPhoto kPhotos[] = {
    {"photo12.jpg", 4000, 3000, false}, {"photo24.jpg", 6000, 4000, false},
    {"photo48.jpg", 8000, 6000, false}, {"photo24p.jpg", 6000, 4000, true},
    {"photo48p.jpg", 8000, 6000, true},
};

// Progressive copies that jpegtran makes of the baseline photos, as a user's tools would.
constexpr std::pair<const char*, const char*> kTranscoded[] = {
    {"photo24.jpg", "photo24pt.jpg"},
    {"photo48.jpg", "photo48pt.jpg"},
};

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
    const QImage image = brindlewick::SynthesizePhoto(photo.width, photo.height, 48);
    brindlewick::JpegEncoding encoding;
    encoding.quality = 90;
    encoding.subsampling = brindlewick::ChromaSubsampling::Quarter420;
    encoding.progressive = photo.progressive;
    const QByteArray jpeg = brindlewick::EncodeJpeg(image, encoding);
    QFile file(path + QStringLiteral(".part"));
    if (!file.open(QIODevice::WriteOnly) || file.write(jpeg) != jpeg.size()) return 1;
    file.close();
    if (!QFile::rename(path + QStringLiteral(".part"), path)) return 1;
  }
  for (const auto& [from, to] : kTranscoded) {
    const QString path = folder + QLatin1Char('/') + QLatin1String(to);
    if (QFile::exists(path)) continue;
    std::printf("transcoding %s to %s\n", from, to);
    std::fflush(stdout);
    QProcess jpegtran;
    jpegtran.setStandardOutputFile(path + QStringLiteral(".part"));
    jpegtran.start(QStringLiteral("jpegtran"), {QStringLiteral("-progressive"),
                                                folder + QLatin1Char('/') + QLatin1String(from)});
    if (!jpegtran.waitForFinished(-1) || jpegtran.exitCode() != 0) return 1;
    if (!QFile::rename(path + QStringLiteral(".part"), path)) return 1;
  }
  return 0;
}
