#include "platform/jpeg/frame/FrameReader.h"

#include <gtest/gtest.h>

#include <optional>
#include <vector>

#include "PhotoSynth.h"
#include "platform/jpeg/JpegDecoder.h"
#include "platform/jpeg/frame/IdctReads.h"
#include "platform/jpeg/progressive/ProgressiveDecoder.h"
#include "platform/jpeg/progressive/ProgressiveTranscoder.h"
#include "platform/jpeg/progressive/ScanPruning.h"
#include "platform/jpeg/session/JpegSession.h"
#include "platform/jpeg/ways/PruningCheck.h"
#include "support/Decoding.h"
#include "support/Programs.h"
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
  const test::ProgramRun run = test::RunProgram(program, arguments, input);
  EXPECT_EQ(run.exitCode, 0) << program.toStdString() << ": " << run.err.toStdString();
  return run.out;
}

// The whole file decoded at eighths/8, every scan of it.
QImage WholeFile(const QByteArray& jpeg, int eighths) {
  return test::DecodeJpegAtScale(jpeg, {eighths, 8});
}

// The progressive stream, or the file pruned, at eighths/8 on the threads given; none when it was
// refused.
std::optional<QImage> Pruned(const QByteArray& jpeg, int eighths, int threads = 1) {
  JpegSession header;
  if (!header.readHeader(jpeg)) return std::nullopt;
  return DecodeProgressiveStream(header, jpeg, {{eighths, 8}, threads, {}});
}

// Each component's IDCT size at eighths/8, as libjpeg chooses it.
std::vector<int> Idcts(const QByteArray& jpeg, int eighths) {
  JpegSession header;
  EXPECT_TRUE(header.readHeader(jpeg));
  return IdctSizes(header, {eighths, 8}).value_or(std::vector<int>());
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
    const std::optional<JpegFrame> progression = ReadProgressiveFrame(jpeg);
    ASSERT_TRUE(progression.has_value()) << how;
    // Huffman-coded files go through a sequential stream, arithmetic ones are only pruned.
    EXPECT_EQ(progression->arithmetic, std::string(how) == "cjpeg -arithmetic");
    const std::optional<QByteArray> sequential =
        test::SequentialForScale(jpeg, *progression, Idcts(jpeg, 1));
    EXPECT_EQ(sequential.has_value(), !progression->arithmetic);
    // One sequential scan: libjpeg decodes it without holding every coefficient.
    if (sequential) {
      JpegSession stream;
      ASSERT_TRUE(stream.readHeader(*sequential));
      EXPECT_FALSE(jpeg_has_multiple_scans(&stream.info()));
    }
    for (int eighths = 1; eighths <= 7; ++eighths) {
      SCOPED_TRACE(std::string(how) + " at " + std::to_string(eighths) + "/8");
      const std::optional<QImage> pruned = Pruned(jpeg, eighths);
      // At 1/8 every progression leaves scans out (luma's AC at least), and at 3/8 ours leaves
      // out luma's highest band; elsewhere they need not.
      const bool script = std::string(how) == "cjpeg -scans";
      EXPECT_TRUE(pruned.has_value() || !(eighths == 1 || (eighths == 3 && script)));
      if (pruned) {
        EXPECT_EQ(*pruned, WholeFile(jpeg, eighths));
      }
      // Held a row of MCUs at a time, or made on three threads, the picture gives the stream it
      // gives held whole.
      const std::vector<int> idcts = Idcts(jpeg, eighths);
      const std::optional<QByteArray> whole = test::SequentialForScale(jpeg, *progression, idcts);
      EXPECT_EQ(test::SequentialForScale(jpeg, *progression, idcts, 1), whole);
      if (whole) {
        EXPECT_EQ(test::SequentialForScale(jpeg, *progression, idcts, kStripeStoreBytes, 3), whole);
      }
    }
    // On several threads every scale down to full size goes through the stream.
    for (int eighths = 1; eighths <= 8; ++eighths) {
      SCOPED_TRACE(std::string(how) + " on three threads at " + std::to_string(eighths) + "/8");
      const std::optional<QImage> pruned = Pruned(jpeg, eighths, 3);
      EXPECT_TRUE(pruned.has_value() || progression->arithmetic);
      if (pruned) {
        EXPECT_EQ(*pruned, WholeFile(jpeg, eighths));
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Samplings, PrunedDecode,
                         ::testing::Values(Sampling{"s420", "2x2"}, Sampling{"s422", "2x1"},
                                           Sampling{"s440", "1x2"}, Sampling{"s444", "1x1"},
                                           Sampling{"s411", "4x1"}, Sampling{"s14", "1x4"},
                                           Sampling{"s42", "4x2"}, Sampling{"gray", nullptr}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(PrunedDecode, LeavesBrokenAndUnusualFilesToTheWholeFileDecode) {
  const QByteArray jpeg =
      test::JpegBytes(SynthesizePhoto(96, 64, 3), {90, ChromaSubsampling::Quarter420, true, true});
  const std::optional<JpegFrame> progression = ReadProgressiveFrame(jpeg);
  ASSERT_TRUE(progression.has_value());
  const qsizetype sos = jpeg.indexOf(QByteArray("\xff\xda", 2));
  QByteArray unknownComponent = jpeg, badBand = jpeg;
  unknownComponent[sos + 5] = char(0x7f);  // first component selector of the first scan
  badBand[sos + 4 + 2 * 3 + 1] = char(1);  // the DC scan's Ss
  const QByteArray baseline = test::JpegBytes(SynthesizePhoto(96, 64, 3));
  // Luma's AC never refined to its last bit: libjpeg smooths such blocks, and only the whole
  // file gets that right.
  test::TempFolder folder;
  ASSERT_TRUE(SynthesizePhoto(96, 64, 3).save(folder.path(QStringLiteral("photo.ppm"))));
  test::WriteBytes(folder.path(QStringLiteral("scans.txt")),
                   "0,1,2: 0-0, 0, 0; 0: 1-63, 0, 1; 1: 1-63, 0, 0; 2: 1-63, 0, 0;");
  const QByteArray unrefined =
      Tool("cjpeg", {"-scans", folder.path("scans.txt"), folder.path("photo.ppm")}, {});
  for (const QByteArray& file : {jpeg.left(jpeg.size() - 2), jpeg.left(jpeg.size() / 2),
                                 unknownComponent, badBand, baseline, unrefined}) {
    EXPECT_FALSE(ReadProgressiveFrame(file).has_value());
  }
  // A stop asked before the walk ends it; a baseline file is one sequential scan.
  std::stop_source stopped;
  stopped.request_stop();
  EXPECT_FALSE(ReadProgressiveFrame(jpeg, stopped.get_token()).has_value());
  EXPECT_FALSE(ReadSequentialFrame(jpeg).has_value());
  EXPECT_EQ(ReadSequentialFrame(baseline).value_or(JpegFrame{}).scans.size(), 1u);
  // A file cut short is still shown as far as it goes, and broken entropy-coded data decodes
  // as it always did, whichever path takes it.
  std::vector<QByteArray> damaged{jpeg.left(jpeg.size() * 3 / 4), unrefined};
  for (const FrameScan& scan : progression->scans) {
    damaged.push_back(jpeg);
    damaged.back()[(scan.data + scan.end) / 2] ^= char(0x24);
  }
  for (const QByteArray& file : damaged) {
    EXPECT_EQ(test::DecodeJpeg(file, {[](QSize) { return QSizeF(12, 8); }}).pixels(),
              WholeFile(file, 1));
  }
}

TEST(CoefficientsRead, FollowLibjpegTurbosReducedIdcts) {
  EXPECT_EQ(CoefficientsRead(1), 1u);
  EXPECT_EQ(CoefficientsRead(8), ~uint64_t(0));
  EXPECT_EQ(CoefficientsRead(3), 0x11BFu);       // zigzag 0..5, 7, 8, 12
  EXPECT_TRUE(CoefficientsRead(2) >> 63);        // the 2x2 IDCT reads row 7, column 7
  EXPECT_EQ(CoefficientsRead(4) >> 10 & 1, 0u);  // the 4x4 skips row 4 (zigzag 10 is 4, 0)
}

// The pruned decode is trusted only where it matches the library; the check says no to a stream
// that does not come through it at all, and yes to an ordinary one.
TEST(PrunedDecodeMatchesWholeFile, VouchesOnlyForStreamsThatComeThroughAlike) {
  const QByteArray progressive =
      test::JpegBytes(SynthesizePhoto(48, 32, 9), {95, ChromaSubsampling::Quarter420, true, true});
  EXPECT_TRUE(PrunedDecodeMatchesWholeFile(progressive));
  EXPECT_FALSE(PrunedDecodeMatchesWholeFile(test::JpegBytes(SynthesizePhoto(48, 32, 9))));
  EXPECT_FALSE(PrunedDecodeMatchesWholeFile(progressive.left(progressive.size() / 2)));
}

TEST(PrunedDecode, EdgeBlocksOfSmallAndOddSizesMatchTheWholeFile) {
  for (const QSize size : {QSize(1, 1), QSize(9, 7), QSize(16, 16), QSize(33, 17), QSize(8, 70)}) {
    const QByteArray jpeg = test::JpegBytes(SynthesizePhoto(size.width(), size.height(), 5),
                                            {90, ChromaSubsampling::Quarter420, true, true});
    const std::optional<QImage> pruned = Pruned(jpeg, 1);
    ASSERT_TRUE(pruned.has_value()) << size.width() << "x" << size.height();
    EXPECT_EQ(*pruned, WholeFile(jpeg, 1)) << size.width() << "x" << size.height();
  }
}

// A flat picture codes a stripe of its blocks in fewer bits than make a byte, so on several threads
// the stream's pieces may be empty; libjpeg must still get every byte and nothing past them.
TEST(PrunedDecode, FlatSmallGreyPicturesOnSeveralThreadsMatchTheWholeFile) {
  for (const QSize size : {QSize(16, 16), QSize(1, 100), QSize(24, 24), QSize(16, 200)}) {
    QImage flat(size, QImage::Format_RGB32);
    flat.fill(Qt::white);
    const QByteArray jpeg = test::JpegBytes(flat, {90, ChromaSubsampling::Gray, true, true});
    for (const int threads : {2, 3}) {
      for (const int eighths : {1, 8}) {
        SCOPED_TRACE(testing::Message() << size.width() << "x" << size.height() << " on " << threads
                                        << " threads at " << eighths << "/8");
        const std::optional<QImage> pruned = Pruned(jpeg, eighths, threads);
        ASSERT_TRUE(pruned.has_value());
        EXPECT_EQ(*pruned, WholeFile(jpeg, eighths));
      }
    }
  }
}

}  // namespace
}  // namespace brindlewick
