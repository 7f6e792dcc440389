// Files as other programs write them, made at test time with libjpeg-turbo's own tools, must
// decode to exactly what djpeg makes of them (turned upright where their EXIF says so).
#include <gtest/gtest.h>

#include <QStandardPaths>
#include <QTransform>

#include "JpegVariants.h"
#include "PhotoSynth.h"
#include "platform/jpeg/JpegDecoder.h"
#include "support/Decoding.h"
#include "support/Programs.h"
#include "support/TestFiles.h"

namespace brindlewick {
namespace {

using variants::ExifSegment;
using variants::XmpSegment;

// The tool's standard output; djpeg's exit status 2 means it only warned.
QByteArray RunTool(const QString& program, const QStringList& arguments) {
  const test::ProgramRun run = test::RunProgram(program, arguments);
  EXPECT_TRUE(run.exitCode == 0 || run.exitCode == 2)
      << program.toStdString() << ": " << run.err.toStdString();
  return run.out;
}

struct Variant {
  const char* name;
  QStringList cjpeg;         // how the file is written
  QByteArray segments = {};  // then put first in the file
  int degrees = 0;           // the turn that makes djpeg's picture upright
  const char* scale = "1/1";
  bool strayBytes = false;
};

void PrintTo(const Variant& variant, std::ostream* out) { *out << variant.name; }

class RealWorldJpeg : public ::testing::TestWithParam<Variant> {};

TEST_P(RealWorldJpeg, DecodesExactlyAsDjpegDoes) {
  if (QStandardPaths::findExecutable("djpeg").isEmpty()) {
    GTEST_SKIP() << "djpeg (libjpeg-turbo-progs) is not installed";
  }
  const Variant& v = GetParam();
  test::TempFolder folder;
  ASSERT_TRUE(test::PatternImage(61, 37).save(folder.path("in.ppm")));
  QByteArray jpeg = RunTool(
      "cjpeg", QStringList{"-quality", "85"} + v.cjpeg + QStringList{folder.path("in.ppm")});
  jpeg = variants::WithSegmentsFirst(jpeg, v.segments);
  if (v.strayBytes) jpeg = variants::WithStrayBytesAfterFirstSegment(jpeg);
  test::WriteBytes(folder.path("in.jpg"), jpeg);
  const QImage theirs =
      QImage::fromData(RunTool("djpeg", {"-scale", v.scale, folder.path("in.jpg")}))
          .transformed(QTransform().rotate(v.degrees))
          .convertToFormat(QImage::Format_RGB32);
  ASSERT_FALSE(theirs.isNull());

  const QStringList scale = QString::fromLatin1(v.scale).split('/');
  const PaintSizeFor scaled = [&](QSize natural) {
    return QSizeF(natural) * scale[0].toDouble() / scale[1].toDouble();
  };
  const Picture ours = test::DecodeJpeg(jpeg, {scaled, 4, {}});
  ASSERT_EQ(ours.pixels().size(), theirs.size());
  EXPECT_TRUE(ours.pixels() == theirs);
}

INSTANTIATE_TEST_SUITE_P(
    Variants, RealWorldJpeg,
    ::testing::Values(Variant{"Sampling4x2", {"-sample", "4x2"}},
                      Variant{"Sampling3x1", {"-sample", "3x1"}},
                      Variant{"Sampling1x4", {"-sample", "1x4"}},
                      Variant{"Sampling2x1", {"-sample", "2x1"}},
                      Variant{"Sampling1x2", {"-sample", "1x2"}},
                      Variant{"Sampling444", {"-sample", "1x1"}}, Variant{"Gray", {"-grayscale"}},
                      Variant{"Progressive4x2", {"-progressive", "-sample", "4x2"}},
                      Variant{"Sampling3x1AtAQuarter", {"-sample", "3x1"}, {}, 0, "1/4"},
                      Variant{"Sampling4x2AtThreeEighths", {"-sample", "4x2"}, {}, 0, "3/8"},
                      Variant{"StrayBytesAfterApp0", {}, {}, 0, "1/1", true},
                      Variant{"OrientationShortBigEndian", {}, ExifSegment(6, {3, false}), 90},
                      Variant{"OrientationShortLittleEndian", {}, ExifSegment(8, {3, true}), 270},
                      Variant{"OrientationLongBigEndian", {}, ExifSegment(6, {4, false}), 90},
                      Variant{"OrientationLongLittleEndian", {}, ExifSegment(3, {4, true}), 180},
                      Variant{"OrientationSLongBigEndian", {}, ExifSegment(8, {9, false}), 270},
                      Variant{"OrientationSLongLittleEndian", {}, ExifSegment(6, {9, true}), 90},
                      Variant{"XmpBeforeExif", {}, XmpSegment() + ExifSegment(6), 90},
                      Variant{"OrientationOutOfRange", {}, ExifSegment(65542, {4, true})}),
    [](const auto& info) { return std::string(info.param.name); });

// Files long enough for every quicker way (the split at 1/8, the bands above it, the bands of
// restart intervals, the progressive stream), a q100 checkerboard whose bands start inside bytes
// 0xFF and a file with a stray restart marker, decoded as planned for 3, 4 and 8 cores: where a
// band or a part is cut depends on how many there are, and every count gives djpeg's pixels.
TEST(RealWorldJpegOnCores, EveryWayOfDecodingGivesDjpegsPixels) {
  if (QStandardPaths::findExecutable("djpeg").isEmpty()) {
    GTEST_SKIP() << "djpeg (libjpeg-turbo-progs) is not installed";
  }
  test::TempFolder folder;
  ASSERT_TRUE(SynthesizePhoto(1400, 1000, 11).save(folder.path("in.ppm")));
  const auto cjpeg = [&](const QStringList& options) {
    return RunTool("cjpeg", options + QStringList{"-quality", "97", folder.path("in.ppm")});
  };
  const QByteArray baseline = cjpeg({});
  const struct {
    const char* name;
    QByteArray jpeg;
  } files[] = {
      {"baseline", baseline},
      {"restart every row", cjpeg({"-restart", "1"})},
      {"progressive", cjpeg({"-progressive"})},
      {"checkerboard", variants::CheckerboardJpeg(1024, 768)},
      {"stray marker", variants::WithStrayRestartMarker(baseline, 0.85)},
  };
  for (const auto& [name, jpeg] : files) {
    test::WriteBytes(folder.path("in.jpg"), jpeg);
    const JpegHeader header = ReadJpegHeader(jpeg);
    for (const int eighths : {1, 2, 3, 4}) {
      const QImage djpegs =
          QImage::fromData(RunTool("djpeg", {"-scale", QStringLiteral("%1/8").arg(eighths),
                                             folder.path("in.jpg")}))
              .convertToFormat(QImage::Format_RGB32);
      for (const int cores : {3, 4, 8}) {
        SCOPED_TRACE(testing::Message() << name << " at " << eighths << "/8 on " << cores);
        const DecodePlan plan = PlanDecode(header, QSizeF(header.natural) * eighths / 8, cores);
        EXPECT_TRUE(DecodeJpeg(jpeg, header, plan).pixels() == djpegs);
      }
    }
  }
}

}  // namespace
}  // namespace brindlewick
