#include "platform/jpeg/ProgressiveScans.h"

#include <gtest/gtest.h>

#include <QProcess>

#include "PhotoSynth.h"
#include "platform/jpeg/JpegDecoder.h"
#include "platform/jpeg/ProgressiveDecoder.h"
#include "platform/jpeg/ProgressiveTranscoder.h"
#include "support/TestFiles.h"

namespace brindlewick {
namespace {

// Successive approximation of DC and AC, and spectral bands cut at odd places.
constexpr char kColourScript[] =
    "0,1,2: 0-0, 0, 2; 0: 1-2, 0, 1; 0: 3-9, 0, 1; 2: 1-9, 0, 1; 2: 10-63, 0, 1;"
    "1: 1-63, 0, 0; 0: 10-20, 0, 1; 0: 21-63, 0, 1; 0,1,2: 0-0, 2, 1; 0,1,2: 0-0, 1, 0;"
    "2: 1-63, 1, 0; 0: 1-5, 1, 0; 0: 6-20, 1, 0; 0: 21-63, 1, 0;";
constexpr char kGrayScript[] =
    "0: 0-0, 0, 1; 0: 1-4, 0, 2; 0: 5-20, 0, 1; 0: 21-63, 0, 1; 0: 1-4, 2, 1; 0: 0-0, 1, 0;"
    "0: 1-20, 1, 0; 0: 21-63, 1, 0;";

// Runs a libjpeg-turbo tool with stdin and stdout as given; fails the test when it fails.
QByteArray Tool(const QString& program, const QStringList& arguments, const QByteArray& input) {
  QProcess process;
  process.start(program, arguments);
  process.write(input);
  process.closeWriteChannel();
  EXPECT_TRUE(process.waitForFinished(60000)) << program.toStdString();
  EXPECT_EQ(process.exitCode(), 0) << process.readAllStandardError().toStdString();
  return process.readAllStandardOutput();
}

// The whole file decoded at eighths/8, every scan of it.
QImage WholeFile(const QByteArray& jpeg, int eighths) {
  return DecodeJpegAtScale(jpeg, {eighths, 8});
}

struct Sampling {
  const char* name;
  const char* cjpeg;  // -sample argument, or nullptr for grayscale
};

class PrunedDecode : public ::testing::TestWithParam<Sampling> {};

TEST_P(PrunedDecode, EqualsTheWholeFileAtEveryScaleForEveryKindOfProgression) {
  test::TempFolder folder;
  const QString ppm = folder.path(QStringLiteral("photo.ppm"));
  ASSERT_TRUE(SynthesizePhoto(203, 141, 7).save(ppm));
  const bool gray = !GetParam().cjpeg;
  const QString script = folder.path(QStringLiteral("scans.txt"));
  test::WriteBytes(script, gray ? kGrayScript : kColourScript);
  const QStringList cjpeg =
      QStringList{"-quality", "92"} +
      (gray ? QStringList{"-grayscale"} : QStringList{"-sample", QString(GetParam().cjpeg)});
  const QByteArray none, baseline = Tool("cjpeg", cjpeg + QStringList{ppm}, none);
  const std::pair<const char*, QByteArray> files[] = {
      {"cjpeg -progressive", Tool("cjpeg", cjpeg + QStringList{"-progressive", ppm}, none)},
      {"jpegtran -progressive", Tool("jpegtran", {"-progressive"}, baseline)},
      {"jpegtran -restart", Tool("jpegtran", {"-progressive", "-restart", "1"}, baseline)},
      {"cjpeg -scans", Tool("cjpeg", cjpeg + QStringList{"-scans", script, ppm}, none)},
      {"cjpeg -arithmetic",
       Tool("cjpeg", cjpeg + QStringList{"-arithmetic", "-progressive", ppm}, none)},
  };
  for (const auto& [how, jpeg] : files) {
    const std::optional<Progression> progression = ReadProgression(jpeg);
    ASSERT_TRUE(progression.has_value()) << how;
    // Huffman-coded files go through a sequential stream, arithmetic ones are only pruned.
    EXPECT_EQ(progression->arithmetic, std::string(how) == "cjpeg -arithmetic");
    EXPECT_EQ(SequentialForScale(jpeg, *progression, 1).has_value(), !progression->arithmetic);
    for (int eighths = 1; eighths <= 7; ++eighths) {
      SCOPED_TRACE(std::string(how) + " at " + std::to_string(eighths) + "/8");
      const std::optional<QImage> pruned = DecodeProgressivePruned(jpeg, {eighths, 8});
      // At 1/8 every progression leaves scans out (luma's AC at least), and at 3/8 ours leaves
      // out luma's highest band; elsewhere they need not.
      const bool script = std::string(how) == "cjpeg -scans";
      EXPECT_TRUE(pruned.has_value() || !(eighths == 1 || (eighths == 3 && script)));
      if (pruned) {
        EXPECT_EQ(*pruned, WholeFile(jpeg, eighths));
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Samplings, PrunedDecode,
                         ::testing::Values(Sampling{"s420", "2x2"}, Sampling{"s422", "2x1"},
                                           Sampling{"s440", "1x2"}, Sampling{"s444", "1x1"},
                                           Sampling{"gray", nullptr}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(PrunedDecode, LeavesBrokenAndUnusualFilesToTheWholeFileDecode) {
  const QByteArray jpeg =
      test::JpegBytes(SynthesizePhoto(96, 64, 3), {90, ChromaSubsampling::Quarter420, true, true});
  const std::optional<Progression> progression = ReadProgression(jpeg);
  ASSERT_TRUE(progression.has_value());
  const qsizetype sos = jpeg.indexOf(QByteArray("\xff\xda", 2));
  QByteArray unknownComponent = jpeg, badBand = jpeg;
  unknownComponent[sos + 5] = char(0x7f);  // first component selector of the first scan
  badBand[sos + 4 + 2 * 3 + 1] = char(1);  // the DC scan's Ss
  const QByteArray baseline = test::JpegBytes(SynthesizePhoto(96, 64, 3));
  for (const QByteArray& file : {jpeg.left(jpeg.size() - 2), jpeg.left(jpeg.size() / 2),
                                 unknownComponent, badBand, baseline}) {
    EXPECT_FALSE(ReadProgression(file).has_value());
  }
  // A file cut short is still shown as far as it goes, and broken entropy-coded data decodes
  // as it always did, whichever path takes it.
  std::vector<QByteArray> damaged{jpeg.left(jpeg.size() * 3 / 4)};
  for (const ProgressiveScan& scan : progression->scans) {
    damaged.push_back(jpeg);
    damaged.back()[(scan.data + scan.end) / 2] ^= char(0x24);
  }
  for (const QByteArray& file : damaged) {
    EXPECT_EQ(DecodeJpeg(file, [](QSize) { return QSizeF(12, 8); }).pixels(), WholeFile(file, 1));
  }
}

TEST(CoefficientsRead, FollowLibjpegTurbosReducedIdcts) {
  EXPECT_EQ(CoefficientsRead(1), 1u);
  EXPECT_EQ(CoefficientsRead(8), ~uint64_t(0));
  EXPECT_EQ(CoefficientsRead(3), 0x11BFu);       // zigzag 0..5, 7, 8, 12
  EXPECT_TRUE(CoefficientsRead(2) >> 63);        // the 2x2 IDCT reads row 7, column 7
  EXPECT_EQ(CoefficientsRead(4) >> 10 & 1, 0u);  // nor does the 4x4 read row 4 (zigzag 10)
  // 4:2:0 chroma at 1/8 goes through the 2x2 IDCT instead of being upsampled; 4:2:2's does not.
  EXPECT_EQ(ComponentIdctSize(1, 1, 1, 2, 2), 2);
  EXPECT_EQ(ComponentIdctSize(1, 1, 1, 2, 1), 1);
  EXPECT_EQ(ComponentIdctSize(3, 1, 1, 2, 2), 6);
}

}  // namespace
}  // namespace brindlewick
