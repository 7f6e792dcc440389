// Writes the benchmark's photo-like JPEGs into a folder, skipping those already there. The
// progressive ones use libjpeg's default scan script, the CMYK one is written as Adobe writes
// them, and two are tagged with an Adobe RGB profile; bench/run makes the other variants from the
// baseline ones with jpegtran. With --giant, instead, the pictures past what the program held
// whole (bench/giant); with --blocks, one picture of simple blocks of any size.
//   bench-data <folder>
//   bench-data --giant <folder>
//   bench-data --blocks <width>x<height> [--progressive] <file>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>

#include "BlockPicture.h"
#include "JpegVariants.h"
#include "PhotoSynth.h"
#include "StreamedJpeg.h"
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

bool WritePhotos(const QString& folder) {
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
    if (!WriteWhole(path, jpeg)) return false;
  }
  // The same pixels tagged with an Adobe RGB profile, as a camera set to Adobe RGB writes them.
  QFile adobe(QStringLiteral("/usr/share/color/icc/colord/AdobeRGB1998.icc"));
  if (!adobe.open(QIODevice::ReadOnly)) return false;
  const QByteArray profile = brindlewick::variants::IccSegments(adobe.readAll());
  for (const char* name : {"photo24", "photo48"}) {
    const QString from = folder + QLatin1Char('/') + QLatin1String(name) + QStringLiteral(".jpg");
    const QString to = folder + QLatin1Char('/') + QLatin1String(name) + QStringLiteral("a.jpg");
    if (QFile::exists(to)) continue;
    QFile untagged(from);
    if (!untagged.open(QIODevice::ReadOnly)) return false;
    if (!WriteWhole(to, brindlewick::variants::WithSegmentsFirst(untagged.readAll(), profile))) {
      return false;
    }
  }
  return true;
}

// A picture too large to hold whole, made by `write` unless it is there; says how long it took.
struct GiantPicture {
  const char* name;
  const char* what;
  std::function<bool(const std::string& folder, const std::string& path)> write;
};

const GiantPicture kGiantPictures[] = {
    {"photo300.jpg", "20000 x 15000 photo, baseline 4:2:0 q90",
     [](const std::string&, const std::string& path) {
       return brindlewick::bench::WriteStreamedPhoto(path, 20000, 15000, 48, 90);
     }},
    {"photo300p.jpg", "its progressive copy",
     [](const std::string& folder, const std::string& path) {
       return brindlewick::bench::WriteProgressiveCopy(folder + "/photo300.jpg", path);
     }},
    {"panorama360.jpg", "60000 x 6000 panorama, baseline 4:2:0 q90",
     [](const std::string&, const std::string& path) {
       return brindlewick::bench::WriteStreamedPhoto(path, 60000, 6000, 48, 90);
     }},
    {"blocks65535.jpg", "65535 x 65535 of simple blocks, baseline",
     [](const std::string&, const std::string& path) {
       return brindlewick::bench::WriteBlockPicture(path, {});
     }},
    {"blocks65535p.jpg", "65535 x 65535 of simple blocks, progressive",
     [](const std::string&, const std::string& path) {
       return brindlewick::bench::WriteBlockPicture(path, {.progressive = true});
     }},
    // The largest libjpeg decodes (JPEG_MAX_DIMENSION), for the peers' figures.
    {"blocks65500.jpg", "65500 x 65500 of simple blocks, baseline",
     [](const std::string&, const std::string& path) {
       return brindlewick::bench::WriteBlockPicture(path, {.width = 65500, .height = 65500});
     }},
    {"hostile65535.jpg", "65535 x 65535 declared, no data",
     [](const std::string&, const std::string& path) {
       return brindlewick::bench::WriteBlockPicture(path, {.mcuLimit = 0});
     }},
    {"hostile65535-few.jpg", "65535 x 65535 declared, 16 MCUs of data",
     [](const std::string&, const std::string& path) {
       return brindlewick::bench::WriteBlockPicture(path, {.mcuLimit = 16});
     }},
};

bool WriteGiantPictures(const std::string& folder) {
  QDir().mkpath(QString::fromStdString(folder));
  for (const GiantPicture& picture : kGiantPictures) {
    const std::string path = folder + "/" + picture.name;
    if (QFile::exists(QString::fromStdString(path))) continue;
    std::printf("making %s (%s)\n", picture.name, picture.what);
    std::fflush(stdout);
    const auto start = std::chrono::steady_clock::now();
    if (!picture.write(folder, path)) return false;
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    std::printf("  %s: %.1f s, %lld bytes\n", picture.name, took.count(),
                static_cast<long long>(QFileInfo(QString::fromStdString(path)).size()));
  }
  return true;
}

// --blocks <width>x<height> [--progressive] <file>
int WriteBlocks(int argc, char* argv[]) {
  brindlewick::bench::BlockPicture picture;
  const bool progressive = argc == 5 && std::strcmp(argv[3], "--progressive") == 0;
  if ((argc != 4 && !progressive) ||
      std::sscanf(argv[2], "%dx%d", &picture.width, &picture.height) != 2 || picture.width < 1 ||
      picture.height < 1 || picture.width > 65535 || picture.height > 65535) {
    std::fprintf(stderr, "usage: %s --blocks <width>x<height> [--progressive] <file>\n", argv[0]);
    return 2;
  }
  picture.progressive = progressive;
  return brindlewick::bench::WriteBlockPicture(argv[argc - 1], picture) ? 0 : 1;
}

}  // namespace

int main(int argc, char* argv[]) {
  if (argc >= 2 && std::strcmp(argv[1], "--blocks") == 0) return WriteBlocks(argc, argv);
  if (argc == 3 && std::strcmp(argv[1], "--giant") == 0) {
    return WriteGiantPictures(argv[2]) ? 0 : 1;
  }
  if (argc != 2) {
    std::fprintf(stderr,
                 "usage: %s <folder>\n       %s --giant <folder>\n"
                 "       %s --blocks <width>x<height> [--progressive] <file>\n",
                 argv[0], argv[0], argv[0]);
    return 2;
  }
  return WritePhotos(QString::fromLocal8Bit(argv[1])) ? 0 : 1;
}
