#include "platform/jpeg/JpegDecoder.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <stop_token>

#include <QBuffer>
#include <QDir>
#include <QFile>

#include "JpegVariants.h"
#include "PhotoSynth.h"
#include "platform/errors/RuntimeError.h"
#include "support/Decoding.h"
#include "support/TestFiles.h"

namespace brindlewick {
namespace {

using test::JpegBytes;

// The plan names the way each kind of file decodes at a scale and the cores it keeps busy, from
// the header's facts alone: a way it names takes the file, so the cores it counts on are kept busy.
TEST(PlanDecode, NamesTheWayOfEachKindOfFileAndTheCoresItKeepsBusy) {
  const QImage small = SynthesizePhoto(800, 600, 4), large = SynthesizePhoto(1400, 1000, 11);
  const QByteArray baseline = variants::LibjpegJpeg(large, {.quality = 97});
  const QByteArray arithmetic =
      variants::LibjpegJpeg(small, {.progressive = true, .arithmetic = true});
  const struct {
    const char* name;
    QByteArray file;
    double scale;  // of the painted size
    int threads;
    DecodeWay way;
    int cores;
  } cases[] = {
      {"long baseline at 1/8", baseline, 1 / 8., 2, DecodeWay::Split, 2},
      {"long baseline at 1/8 on 8", baseline, 1 / 8., 8, DecodeWay::Split, 8},
      {"long baseline at 1/4", baseline, 1 / 4., 2, DecodeWay::Bands, 2},
      {"long baseline at 5/8", baseline, 5 / 8., 2, DecodeWay::Whole, 1},
      {"long baseline on one core", baseline, 1 / 8., 1, DecodeWay::Whole, 1},
      {"short baseline", variants::LibjpegJpeg(small, {}), 1 / 8., 2, DecodeWay::Whole, 1},
      {"long CMYK", variants::CmykJpeg(large, 97), 1 / 8., 2, DecodeWay::Whole, 1},
      {"long 4:4:0 at 1/4", variants::LibjpegJpeg(large, {.lumaH = 1, .quality = 97}), 1 / 4., 2,
       DecodeWay::Whole, 1},
      {"restart markers every row", variants::LibjpegJpeg(small, {.restartRows = 1}), 1 / 4., 2,
       DecodeWay::RestartBands, 2},
      {"restart markers inside rows", variants::LibjpegJpeg(small, {.restartMcus = 5}), 1 / 4., 2,
       DecodeWay::Whole, 1},
      {"progressive", variants::LibjpegJpeg(small, {.progressive = true}), 1 / 4., 2,
       DecodeWay::ProgressiveStream, 2},
      {"progressive on 8", variants::LibjpegJpeg(small, {.progressive = true}), 1 / 4., 8,
       DecodeWay::ProgressiveStream, 4},
      {"progressive at full size on one core", variants::LibjpegJpeg(small, {.progressive = true}),
       1, 1, DecodeWay::Whole, 1},
      {"progressive, arithmetic", arithmetic, 1 / 4., 2, DecodeWay::ProgressivePruned, 1},
  };
  for (const auto& c : cases) {
    const JpegHeader header = ReadJpegHeader(c.file);
    const DecodePlan plan = PlanDecode(header, QSizeF(header.natural) * c.scale, c.threads);
    EXPECT_EQ(plan.way, c.way) << c.name;
    EXPECT_EQ(plan.cores, c.cores) << c.name;
    EXPECT_EQ(plan.threads, c.threads) << c.name;
  }
}

// A CMYK photo with a colour profile shows the same colours in the first view on two cores as on
// one: its pixels go to the profile as stored, whichever the cores.
TEST(DecodeJpeg, KeepsCmykAsStoredForItsProfileOnEveryCore) {
  QFile profile(QStringLiteral("/usr/share/color/icc/ghostscript/default_cmyk.icc"));
  if (!profile.open(QIODevice::ReadOnly)) GTEST_SKIP() << "no CMYK profile installed";
  const QByteArray jpeg =
      variants::WithSegmentsFirst(variants::CmykJpeg(SynthesizePhoto(1400, 1000, 4), 97, 200),
                                  variants::IccSegments(profile.readAll()));
  const JpegHeader header = ReadJpegHeader(jpeg);
  const QSizeF eighth = QSizeF(header.natural) / 8;
  EXPECT_EQ(DecodeJpeg(jpeg, header, PlanDecode(header, eighth, 2)).pixels(),
            DecodeJpeg(jpeg, header, PlanDecode(header, eighth, 1)).pixels());
}

using test::Psnr;
using test::SmoothImage;

// The luma that JPEG keeps of a colour picture.
QImage Grayscale(const QImage& image) {
  QImage gray(image.size(), QImage::Format_RGB32);
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) {
      const QRgb p = image.pixel(x, y);
      const int l = int(0.299 * qRed(p) + 0.587 * qGreen(p) + 0.114 * qBlue(p) + 0.5);
      gray.setPixel(x, y, qRgb(l, l, l));
    }
  }
  return gray;
}

struct FormatCase {
  const char* name;
  JpegEncoding encoding;
  bool gray;
};

class DecodeFormats : public ::testing::TestWithParam<FormatCase> {};

TEST_P(DecodeFormats, DecodesToThePicturesPixels) {
  const QImage source = SmoothImage(64, 48);
  const Picture picture = test::DecodeJpeg(JpegBytes(source, GetParam().encoding));
  EXPECT_EQ(picture.naturalSize(), QSize(64, 48));
  ASSERT_EQ(picture.pixels().size(), QSize(64, 48));
  EXPECT_GT(Psnr(picture.pixels(), GetParam().gray ? Grayscale(source) : source), 32);
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, DecodeFormats,
    ::testing::Values(
        FormatCase{"baseline444", {95, ChromaSubsampling::Full444, false, true}, false},
        FormatCase{"baseline422", {95, ChromaSubsampling::Half422, false, true}, false},
        FormatCase{"baseline420", {95, ChromaSubsampling::Quarter420, false, true}, false},
        FormatCase{"progressive420", {95, ChromaSubsampling::Quarter420, true, true}, false},
        FormatCase{"grayscale", {95, ChromaSubsampling::Gray, false, true}, true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(DecodeJpeg, DecodesCmyk) {
  const QImage source = SmoothImage(40, 30);
  const Picture picture = test::DecodeJpeg(variants::CmykJpeg(source, 95));
  ASSERT_EQ(picture.pixels().size(), QSize(40, 30));
  EXPECT_GT(Psnr(picture.pixels(), source), 30);
}

// Four solid quadrants: red, green / blue, white.
QImage Quadrants() {
  QImage image(32, 16, QImage::Format_RGB32);
  for (int y = 0; y < 16; ++y) {
    for (int x = 0; x < 32; ++x) {
      const bool right = x >= 16, bottom = y >= 8;
      image.setPixel(x, y,
                     bottom ? (right ? qRgb(255, 255, 255) : qRgb(0, 0, 255))
                            : (right ? qRgb(0, 255, 0) : qRgb(255, 0, 0)));
    }
  }
  return image;
}

char Colour(QRgb p) {
  if (qRed(p) > 128 && qGreen(p) > 128) return 'W';
  if (qRed(p) > 128) return 'R';
  if (qGreen(p) > 128) return 'G';
  return 'B';
}

struct OrientationCase {
  int orientation;
  QSize size;
  const char* quadrants;  // top-left, top-right, bottom-left, bottom-right
};

class ExifOrientations : public ::testing::TestWithParam<OrientationCase> {};

TEST_P(ExifOrientations, ShowsThePictureUpright) {
  const QByteArray jpeg = variants::WithExifOrientation(
      JpegBytes(Quadrants(), {95, ChromaSubsampling::Full444, false, true}),
      GetParam().orientation);
  const Picture picture = test::DecodeJpeg(jpeg);
  const QImage& p = picture.pixels();
  ASSERT_EQ(p.size(), GetParam().size);
  EXPECT_EQ(picture.naturalSize(), GetParam().size);
  const int w = p.width(), h = p.height();
  const std::string seen{Colour(p.pixel(w / 4, h / 4)), Colour(p.pixel(3 * w / 4, h / 4)),
                         Colour(p.pixel(w / 4, 3 * h / 4)), Colour(p.pixel(3 * w / 4, 3 * h / 4))};
  EXPECT_EQ(seen, GetParam().quadrants);
}

INSTANTIATE_TEST_SUITE_P(
    AllEight, ExifOrientations,
    ::testing::Values(OrientationCase{1, {32, 16}, "RGBW"}, OrientationCase{2, {32, 16}, "GRWB"},
                      OrientationCase{3, {32, 16}, "WBGR"}, OrientationCase{4, {32, 16}, "BWRG"},
                      OrientationCase{5, {16, 32}, "RBGW"}, OrientationCase{6, {16, 32}, "BRWG"},
                      OrientationCase{7, {16, 32}, "WGBR"}, OrientationCase{8, {16, 32}, "GWRB"}));

TEST(DecodeJpeg, ShowsWhatCouldBeDecodedOfAFileThatEndsEarly) {
  const QByteArray full = JpegBytes(SmoothImage(64, 64));
  const Picture picture = test::DecodeJpeg(full.left(full.size() * 2 / 3));
  EXPECT_EQ(picture.pixels().size(), QSize(64, 64));
  // The top rows came through.
  EXPECT_GT(Psnr(picture.pixels().copy(0, 0, 64, 16), SmoothImage(64, 64).copy(0, 0, 64, 16)), 30);
}

// A decode asked to stop gives up in whichever way it was going to decode the file, and never
// falls back on another: a background decode no longer wanted makes way for the one that is.
TEST(DecodeJpeg, EveryWayOfDecodingHearsAStop) {
  const QImage photo = SmoothImage(64, 48);
  variants::LibjpegEncoding arithmetic, restarts;
  arithmetic.progressive = arithmetic.arithmetic = true;
  restarts.restartRows = 1;
  const QByteArray progressive = JpegBytes(photo, {90, ChromaSubsampling::Quarter420, true, true});
  const struct {
    const char* name;
    QByteArray jpeg;
    QSizeF painted;
  } files[] = {
      {"baseline", JpegBytes(photo), {64, 48}},
      {"progressive, pruned", progressive, {8, 6}},
      {"progressive, whole", progressive, {64, 48}},
      {"progressive arithmetic", variants::LibjpegJpeg(photo, arithmetic), {64, 48}},
      {"restart markers, in bands", variants::LibjpegJpeg(photo, restarts), {32, 24}},
      {"CMYK", variants::CmykJpeg(photo, 90), {64, 48}},
  };
  for (const auto& file : files) {
    SCOPED_TRACE(file.name);
    std::stop_source stop;
    // Asked once the header is read, before any pixel is decoded.
    const PaintSizeFor painted = [&](QSize) {
      stop.request_stop();
      return file.painted;
    };
    try {
      test::DecodeJpeg(file.jpeg, {painted, 4, stop.get_token()});
      ADD_FAILURE() << "decoded";
    } catch (const RuntimeError& e) {
      EXPECT_EQ(e.description(), "Invalid picture: the decode was stopped");
    }
    EXPECT_EQ(
        test::DecodeJpeg(file.jpeg, {[&](QSize) { return file.painted; }, 4, {}}).naturalSize(),
        QSize(64, 48));
  }
}

TEST(DecodeJpeg, RefusesAPictureTooLargeToHold) {
  const QByteArray jpeg = variants::WithDeclaredSize(JpegBytes(SmoothImage(16, 16)), 60000, 60000);
  try {
    test::DecodeJpeg(jpeg);
    FAIL();
  } catch (const RuntimeError& e) {
    EXPECT_EQ(e.number(), ErrorNumber::InvalidPicture);
    EXPECT_EQ(e.description(),
              "Invalid picture: 60000 x 60000 pixels is more than this program can hold "
              "(at most 268435456 pixels)");
  }
  // Just under the cap is still a picture (the data ends early: only a warning).
  const QByteArray large = variants::WithDeclaredSize(JpegBytes(SmoothImage(16, 16)), 16384, 16384);
  EXPECT_EQ(test::DecodeJpeg(large, {[](QSize) { return QSizeF(100, 100); }}).naturalSize(),
            QSize(16384, 16384));
}

TEST(DecodeJpeg, RefusesAProgressivePictureThatWouldSwallowMemory) {
  // Full colour, stored progressively: 16384 x 16384 would need 1.5 GiB of coefficients.
  const QByteArray progressive =
      JpegBytes(SmoothImage(16, 16), {80, ChromaSubsampling::Full444, true, true});
  try {
    test::DecodeJpeg(variants::WithDeclaredSize(progressive, 16384, 16384),
                     {[](QSize) { return QSizeF(100, 100); }});
    FAIL();
  } catch (const RuntimeError& e) {
    EXPECT_EQ(e.number(), ErrorNumber::InvalidPicture);
    EXPECT_EQ(e.description(),
              "Invalid picture: 16384 x 16384 pixels stored progressively need more memory than "
              "this program allows (1024 MiB)");
  }
}

TEST(DecodeJpeg, RefusesProgressiveFilesWithAbsurdlyManyScans) {
  const QByteArray progressive =
      JpegBytes(SmoothImage(32, 32), {80, ChromaSubsampling::Quarter420, true, true});
  // A few repeats are only warnings: the picture still shows.
  EXPECT_EQ(test::DecodeJpeg(variants::WithRepeatedLastScan(progressive, 20)).pixels().size(),
            QSize(32, 32));
  try {
    test::DecodeJpeg(variants::WithRepeatedLastScan(progressive, 600));
    FAIL();
  } catch (const RuntimeError& e) {
    EXPECT_EQ(e.number(), ErrorNumber::InvalidPicture);
    EXPECT_EQ(e.description(),
              "Invalid picture: decompressing the picture: JPEG image has more than 500 scans");
  }
}

TEST(DecodeJpeg, ReadsTheOrientationOfAnExifDirectoryThatLoopsWithoutHanging) {
  // The directory says "rotate a quarter turn", then points back at itself.
  const Picture picture =
      test::DecodeJpeg(variants::WithExifOrientation(JpegBytes(Quadrants()), 6, true));
  EXPECT_EQ(picture.naturalSize(), QSize(16, 32));
}

TEST(DecodeJpeg, DecodesAtAReducedScaleThatStillCoversThePaintedSize) {
  const QByteArray jpeg = JpegBytes(SmoothImage(800, 600));
  const Picture eighth = test::DecodeJpeg(jpeg, {[](QSize) { return QSizeF(100, 75); }});
  EXPECT_EQ(eighth.pixels().size(), QSize(100, 75));
  EXPECT_EQ(eighth.naturalSize(), QSize(800, 600));

  const Picture quarter = test::DecodeJpeg(jpeg, {[](QSize) { return QSizeF(150.5, 112.9); }});
  EXPECT_EQ(quarter.pixels().size(), QSize(200, 150));

  const Picture full =
      test::DecodeJpeg(jpeg, {[](QSize natural) { return QSizeF(natural) * 1.2; }});
  EXPECT_EQ(full.pixels().size(), QSize(800, 600));
}

class LoadFailures : public ::testing::Test {
 protected:
  void expectFailure(const QString& path, int number, const QString& description) {
    try {
      loader.LoadPicture(path, {});
      FAIL() << "loaded " << path.toStdString();
    } catch (const RuntimeError& e) {
      EXPECT_EQ(e.number(), number);
      EXPECT_EQ(e.description(), description);
    }
  }
  test::TempFolder folder;
  test::JpegFileLoader loader;
};

TEST_F(LoadFailures, NameWhatIsWrong) {
  const QString missing = folder.path("missing.jpg");
  expectFailure(missing, ErrorNumber::FileNotFound, "File not found: " + missing);
  expectFailure(folder.path("missing/inside.jpg"), ErrorNumber::FileNotFound,
                "File not found: " + folder.path("missing/inside.jpg"));

  test::WriteBytes(folder.path("empty.jpg"), {});
  expectFailure(folder.path("empty.jpg"), ErrorNumber::InvalidPicture,
                "Invalid picture: the file is empty");

  QDir().mkpath(folder.path("folder.jpg"));
  expectFailure(folder.path("folder.jpg"), ErrorNumber::PathFileAccess,
                "Cannot read \"" + folder.path("folder.jpg") + "\": it is a folder");

  // A pipe nobody writes to must not hang the program.
  ASSERT_EQ(::mkfifo(QFile::encodeName(folder.path("pipe.jpg")).constData(), 0600), 0);
  expectFailure(folder.path("pipe.jpg"), ErrorNumber::PathFileAccess,
                "Cannot read \"" + folder.path("pipe.jpg") + "\": it is not a regular file");
}

TEST_F(LoadFailures, SayWhyDataIsNotAPicture) {
  QImage image = SmoothImage(8, 8);
  QByteArray png;
  QBuffer buffer(&png);
  buffer.open(QIODevice::WriteOnly);
  image.save(&buffer, "PNG");
  test::WriteBytes(folder.path("fake.jpg"), png);
  try {
    loader.LoadPicture(folder.path("fake.jpg"), {});
    FAIL();
  } catch (const RuntimeError& e) {
    EXPECT_EQ(e.number(), ErrorNumber::InvalidPicture);
    EXPECT_TRUE(
        e.description().startsWith("Invalid picture: reading the JPEG header: Not a JPEG file"))
        << e.description().toStdString();
  }
}

TEST(DecodeJpeg, NamesTheFatalErrorNotTheWarningsBeforeIt) {
  // Stray bytes, then the data ends inside the tables: two warnings, then no picture at all.
  const QByteArray jpeg = variants::WithStrayBytesAfterFirstSegment(JpegBytes(SmoothImage(16, 16)));
  try {
    test::DecodeJpeg(jpeg.left(40));
    FAIL();
  } catch (const RuntimeError& e) {
    EXPECT_EQ(e.number(), ErrorNumber::InvalidPicture);
    EXPECT_EQ(e.description(),
              "Invalid picture: reading the JPEG header: JPEG datastream contains no image");
  }
}

TEST_F(LoadFailures, AnEmptyPathIsNoPicture) {
  EXPECT_TRUE(loader.LoadPicture({}, {}).picture.isNone());
}

}  // namespace
}  // namespace brindlewick
