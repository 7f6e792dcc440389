// Writes the fuzzers' seed corpus: valid files of every kind the decoder takes, and broken
// versions of them (truncated, bit-flipped), all small so that fuzzing runs fast.
//   fuzz-corpus <folder>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <vector>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>

#include "HandCursor.h"
#include "JpegVariants.h"
#include "PhotoSynth.h"
#include "platform/jpeg/JpegEncoder.h"

namespace {

using namespace brindlewick::variants;
using brindlewick::ChromaSubsampling;
using brindlewick::EncodeJpeg;
using brindlewick::JpegEncoding;

void Write(const QString& folder, const QString& name, const QByteArray& bytes) {
  QDir().mkpath(folder);
  QFile file(folder + QLatin1Char('/') + name);
  if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size()) std::exit(1);
}

// Every seed of one kind, with a truncated and three bit-flipped versions.
void WriteWithBreakage(const QString& folder, const QString& name, const QByteArray& bytes,
                       std::mt19937& random) {
  Write(folder, name, bytes);
  Write(folder, QStringLiteral("half-") + name, bytes.left(bytes.size() / 2));
  for (int flip = 0; flip < 3; ++flip) {
    QByteArray broken = bytes;
    const auto at = qsizetype(random() % uint32_t(broken.size()));
    broken[at] = char(broken[at] ^ (1 << (random() % 8)));
    Write(folder, QStringLiteral("flip%1-").arg(flip) + name, broken);
  }
}

void WriteSettingsSeeds(const QString& folder, std::mt19937& random) {
  const char* files[] = {
      "[Brindlewick]\nOption21=True\nOption22=False\nSlider1=85\n",
      "[Brindlewick]\nOption21=false\nOption22=-1\nSlider1=60.5\n",
      "[Brindlewick]\nOption21=maybe\nOption22=\nSlider1=99999999999\n",
      "; comment\n[Other]\nx=1\n[Brindlewick]\nSlider1=\"12, 13\"\n",
      "[Brindlewick\nOption21\n=True\n",
  };
  int i = 0;
  for (const char* text : files) {
    WriteWithBreakage(folder, QStringLiteral("settings%1.ini").arg(i++), QByteArray(text), random);
  }
}

}  // namespace

int main(int argc, char* argv[]) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s <folder>\n", argv[0]);
    return 2;
  }
  const QString root = QString::fromLocal8Bit(argv[1]);
  const QString folder = root + QStringLiteral("/picture");
  QDir().mkpath(folder);
  const QImage photo = brindlewick::SynthesizePhoto(48, 32, 5);

  struct Kind {
    const char* name;
    QByteArray jpeg;
  };
  LibjpegEncoding arithmetic, restarts;
  arithmetic.arithmetic = true;
  restarts.restartRows = 1;
  const Kind kinds[] = {
      {"baseline444", EncodeJpeg(photo, {85, ChromaSubsampling::Full444, false, true})},
      {"baseline422", EncodeJpeg(photo, {85, ChromaSubsampling::Half422, false, true})},
      {"baseline420", EncodeJpeg(photo, {85, ChromaSubsampling::Quarter420, false, false})},
      {"gray", EncodeJpeg(photo, {85, ChromaSubsampling::Gray, false, true})},
      {"progressive", EncodeJpeg(photo, {85, ChromaSubsampling::Quarter420, true, true})},
      {"arithmetic", LibjpegJpeg(photo, arithmetic)},
      {"restarts", LibjpegJpeg(photo, restarts)},
  };
  std::mt19937 random(2021);
  for (const Kind& kind : kinds) {
    const QByteArray& jpeg = kind.jpeg;
    const QString name = QLatin1String(kind.name);
    WriteWithBreakage(folder, name + QStringLiteral(".jpg"), jpeg, random);
    Write(folder, name + QStringLiteral("-exif6.jpg"), WithExifOrientation(jpeg, 6));
  }
  // Hostile kinds the decoder must refuse or survive.
  const QByteArray progressive = EncodeJpeg(photo, {85, ChromaSubsampling::Quarter420, true, true});

  Write(folder, QStringLiteral("hostile-600-scans.jpg"), WithRepeatedLastScan(progressive, 600));
  Write(folder, QStringLiteral("hostile-progressive-16384x16384.jpg"),
        WithDeclaredSize(EncodeJpeg(photo, {85, ChromaSubsampling::Full444, true, true}), 16384,
                         16384));
  Write(folder, QStringLiteral("hostile-60000x60000.jpg"),
        WithDeclaredSize(EncodeJpeg(photo, {}), 60000, 60000));
  // The largest size a JPEG can declare, with a few blocks of data or none: harmless only if
  // nothing is sized by the declaration before data comes.
  for (const auto& [name, jpeg] :
       {std::pair("65535x65535.jpg", EncodeJpeg(photo, {})),
        std::pair("65535x65535-progressive.jpg",
                  EncodeJpeg(photo, {85, ChromaSubsampling::Quarter420, true, true}))}) {
    const QByteArray declared = WithDeclaredSize(jpeg, 65535, 65535);
    Write(folder, QStringLiteral("hostile-") + QLatin1String(name), declared);
    Write(folder, QStringLiteral("hostile-nodata-") + QLatin1String(name),
          WithoutScanData(declared));
  }
  Write(folder, QStringLiteral("hostile-exif-loop.jpg"),
        WithExifOrientation(EncodeJpeg(photo, {}), 6, true));

  Write(folder, QStringLiteral("cmyk.jpg"), CmykJpeg(photo, 85, 200));

  // What other programs write and TurboJPEG's encoder does not: other sampling layouts, stray
  // bytes between segments, orientations stored in other ways and after an XMP block.
  const QByteArray plain = EncodeJpeg(photo, {});
  const struct {
    const char* name;
    QByteArray bytes;
  } written[] = {
      {"sampling42.jpg", SampledJpeg(photo, 4, 2, false)},
      {"sampling31.jpg", SampledJpeg(photo, 3, 1, false)},
      {"sampling14-progressive.jpg", SampledJpeg(photo, 1, 4, true)},
      {"stray-bytes.jpg", WithStrayBytesAfterFirstSegment(plain)},
      {"exif-long-intel.jpg", WithSegmentsFirst(plain, ExifSegment(6, {4, true}))},
      {"exif-slong.jpg", WithSegmentsFirst(plain, ExifSegment(8, {9, false}))},
      {"xmp-then-exif.jpg", WithSegmentsFirst(plain, XmpSegment() + ExifSegment(3))},
  };
  for (const auto& file : written) {
    WriteWithBreakage(folder, QLatin1String(file.name), file.bytes, random);
  }

  // Progressions of every kind for the pruning: default and arithmetic coding, colour and gray,
  // restart markers, and the progressive and hostile ones above.
  const QString pruning = root + QStringLiteral("/progressivescans");
  LibjpegEncoding progressiveArithmetic, progressiveRestarts;
  progressiveArithmetic.lumaV = 1;
  progressiveArithmetic.progressive = progressiveArithmetic.arithmetic = true;
  progressiveRestarts.progressive = true;
  progressiveRestarts.restartRows = 1;
  const Kind progressions[] = {
      {"progressive420", EncodeJpeg(photo, {85, ChromaSubsampling::Quarter420, true, true})},
      {"progressive444", EncodeJpeg(photo, {85, ChromaSubsampling::Full444, true, true})},
      {"progressive-gray", EncodeJpeg(photo, {85, ChromaSubsampling::Gray, true, true})},
      {"progressive-arithmetic", LibjpegJpeg(photo, progressiveArithmetic)},
      {"progressive-restarts", LibjpegJpeg(photo, progressiveRestarts)},
  };
  for (const Kind& kind : progressions) {
    WriteWithBreakage(pruning, QLatin1String(kind.name) + QStringLiteral(".jpg"), kind.jpeg,
                      random);
  }
  // Tiny flat pictures, whose stripes code in a few bits each: mutations of photos never make them.
  for (const QSize size : {QSize(16, 16), QSize(1, 100), QSize(24, 24), QSize(16, 200)}) {
    QImage flat(size, QImage::Format_RGB32);
    flat.fill(Qt::white);
    const QString name = QStringLiteral("flat-%1x%2").arg(size.width()).arg(size.height());
    Write(pruning, name + QStringLiteral("-gray.jpg"),
          EncodeJpeg(flat, {90, ChromaSubsampling::Gray, true, true}));
    Write(pruning, name + QStringLiteral("-420.jpg"),
          EncodeJpeg(flat, {90, ChromaSubsampling::Quarter420, true, true}));
  }
  for (const QString& name : QDir(folder).entryList(QDir::Files)) {
    if (name.startsWith(QStringLiteral("hostile-")) ||
        name.contains(QStringLiteral("progressive"))) {
      QFile::copy(folder + QLatin1Char('/') + name, pruning + QLatin1Char('/') + name);
    }
  }

  // Baseline files in every sampling, standard and optimised tables, for the split.
  const QString split = root + QStringLiteral("/baselinesplit");
  const QImage wide = brindlewick::SynthesizePhoto(120, 56, 9);
  for (const LibjpegEncoding& encoding :
       {LibjpegEncoding{.lumaH = 2, .lumaV = 2, .quality = 90},
        LibjpegEncoding{.lumaH = 2, .lumaV = 1, .quality = 60, .optimise = true},
        LibjpegEncoding{.lumaH = 1, .lumaV = 1, .quality = 100},
        LibjpegEncoding{.gray = true, .quality = 75, .optimise = true},
        LibjpegEncoding{.lumaH = 1, .lumaV = 1, .quality = 80, .cmykBlack = 90}}) {
    WriteWithBreakage(split,
                      QStringLiteral("h%1v%2-q%3.jpg")
                          .arg(encoding.gray ? 0 : encoding.lumaH)
                          .arg(encoding.cmykBlack >= 0 ? 9 : encoding.lumaV)
                          .arg(encoding.quality),
                      LibjpegJpeg(wide, encoding), random);
  }
  // Bands whose first MCU ends inside a data byte 0xFF, a restart marker where none is due, and
  // pictures of an MCU or less.
  WriteWithBreakage(split, QStringLiteral("checkerboard-q100.jpg"), CheckerboardJpeg(64, 256),
                    random);
  const QByteArray dense = LibjpegJpeg(wide, {.lumaH = 2, .lumaV = 2, .quality = 100});
  const QByteArray stray = WithStrayRestartMarker(dense, 0.85);
  if (stray == dense) std::exit(1);
  WriteWithBreakage(split, QStringLiteral("stray-marker.jpg"), stray, random);
  for (const QSize size : {QSize(1, 1), QSize(8, 8), QSize(17, 9)}) {
    const QImage tiny = brindlewick::SynthesizePhoto(size.width(), size.height(), 3);
    const QString name = QStringLiteral("tiny-%1x%2").arg(size.width()).arg(size.height());
    Write(split, name + QStringLiteral("-420.jpg"), LibjpegJpeg(tiny, {}));
    Write(split, name + QStringLiteral("-gray.jpg"), LibjpegJpeg(tiny, {.gray = true}));
  }

  // Restart markers every row and every few rows, in every sampling the bands take.
  const QString bands = root + QStringLiteral("/restartbands");
  const QImage tall = brindlewick::SynthesizePhoto(40, 72, 5);
  for (const RestartEncoding& encoding :
       {RestartEncoding{2, 2, false, 3, 85}, RestartEncoding{2, 1, false, 6, 85},
        RestartEncoding{1, 2, false, 5, 85}, RestartEncoding{1, 1, true, 10, 85}}) {
    WriteWithBreakage(bands,
                      QStringLiteral("h%1v%2-every%3.jpg")
                          .arg(encoding.lumaH)
                          .arg(encoding.gray ? 0 : encoding.lumaV)
                          .arg(encoding.restartMcus),
                      RestartJpeg(tall, encoding), random);
  }

  // Real profiles, split into chunks as cameras and editors write them, for each kind of picture.
  const QString profiles = root + QStringLiteral("/colourprofile");
  const struct {
    char kind;  // 0 colour, 1 gray, 2 CMYK
    const char* profile;
  } tagged[] = {
      {0, "/usr/share/color/icc/colord/AdobeRGB1998.icc"},
      {0, "/usr/share/color/icc/colord/SwappedRedAndGreen.icc"},
      {0, "/usr/share/color/icc/colord/sRGB.icc"},
      {1, "/usr/share/color/icc/ghostscript/sgray.icc"},
      {2, "/usr/share/color/icc/ghostscript/default_cmyk.icc"},
  };
  for (const auto& [kind, path] : tagged) {
    QFile file(QString::fromLatin1(path));
    if (!file.open(QIODevice::ReadOnly)) continue;  // the package is not installed
    const QByteArray profile = file.readAll();
    const int count = 3;
    QByteArray input(1, kind);
    for (int i = 0; i < count; ++i) {
      const QByteArray chunk =
          profile.mid(profile.size() * i / count,
                      profile.size() * (i + 1) / count - profile.size() * i / count);
      input += char(i + 1) + QByteArray(1, char(count)) + char(chunk.size() >> 8) +
               char(chunk.size() & 0xff) + chunk;
    }
    Write(profiles, QFileInfo(file).baseName() + QStringLiteral(".bin"), input);
  }

  // The orientation reader reads the same files.
  QDir().mkpath(root + QStringLiteral("/exiforientation"));
  for (const QString& name : QDir(folder).entryList(QDir::Files)) {
    if (name.contains(QStringLiteral("scans"))) continue;
    QFile::copy(folder + QLatin1Char('/') + name,
                root + QStringLiteral("/exiforientation/") + name);
  }
  WriteSettingsSeeds(root + QStringLiteral("/settingsfile"), random);
  WriteWithBreakage(
      root + QStringLiteral("/cursorfile"), QStringLiteral("hand.cur"),
      brindlewick::CursorFileBytes(brindlewick::RenderHandCursor(), brindlewick::kHandHotSpot),
      random);
  WriteWithBreakage(root + QStringLiteral("/cursorfile"), QStringLiteral("hands.cur"),
                    brindlewick::HandCursorFileBytes(), random);
  return 0;
}
