#include "modules/SaveAsJPG.h"

#include <gtest/gtest.h>

#include "platform/errors/RuntimeError.h"
#include "platform/surface/Surface.h"
#include "support/TestFiles.h"

namespace brindlewick {
namespace {

struct RatioCase {
  double width, height;
  qint64 bytes;
  int quality;
};

class QualityFromRatioTest : public ::testing::TestWithParam<RatioCase> {};

TEST_P(QualityFromRatioTest, EstimatesFromTheCompressionRatio) {
  const RatioCase c = GetParam();
  EXPECT_EQ(QualityFromRatio(c.width, c.height, c.bytes), c.quality);
}

INSTANTIATE_TEST_SUITE_P(
    Ratios, QualityFromRatioTest,
    ::testing::Values(RatioCase{100, 100, 2000, 86},    // ratio 15
                      RatioCase{160, 100, 3125, 86},    // 15.36 gives 85.64
                      RatioCase{120, 100, 2500, 87},    // 14.4 gives 86.6
                      RatioCase{100, 100, 30000, 100},  // ratio 1
                      RatioCase{100, 100, 60000, 100},  // 0.5 gives 100.5: even 100
                      RatioCase{100, 100, 15000, 99},   // ratio 2
                      RatioCase{100, 100, 200, 1},      // ratio 150 gives -49
                      RatioCase{0, 0, 1, 100},          // no picture
                      RatioCase{100, 100, 2105, 87},    // 14.25 gives 86.75
                      RatioCase{2, 1, 4, 100},          // 1.5 gives 99.5: even 100
                      RatioCase{9, 1, 2, 88},           // 13.5 gives 87.5: even 88
                      RatioCase{29, 1, 6, 86},          // 14.5 gives 86.5: even 86
                      RatioCase{67, 1, 2, 1}));         // 100.5 gives 0.5: even 0, then 1

TEST(QualityFromRatio, OverflowsBeyondSixteenBits) {
  try {
    QualityFromRatio(60000, 60000, 1);
    FAIL() << "expected an overflow";
  } catch (const RuntimeError& e) {
    EXPECT_EQ(e.number(), ErrorNumber::Overflow);
    EXPECT_EQ(e.description(), "Overflow");
  }
  // -32768 itself still fits, and clamps to 1.
  EXPECT_EQ(QualityFromRatio(32869, 1, 3), 1);
}

class DetectJPGQualityTest : public ::testing::Test {
 protected:
  test::TempFolder folder;
  Surface box;
};

TEST_F(DetectJPGQualityTest, MeasuresTheLoadedPictureAgainstTheFileLength) {
  const QString path = folder.path("q.jpg");
  test::WriteBytes(path, QByteArray(2000, 'x'));
  box.setPicture(Picture(QImage(100, 100, QImage::Format_RGB32)));
  EXPECT_EQ(DetectJPGQuality(box, path), 86);

  box.setPicture(Picture());  // a file that failed to load as a picture
  EXPECT_EQ(DetectJPGQuality(box, path), 100);
}

TEST_F(DetectJPGQualityTest, FailsForAMissingOrEmptyFile) {
  const QString missing = folder.path("missing.jpg");
  try {
    DetectJPGQuality(box, missing);
    FAIL();
  } catch (const RuntimeError& e) {
    EXPECT_EQ(e.number(), ErrorNumber::FileNotFound);
    EXPECT_EQ(e.description(), "File not found: " + missing);
  }
  const QString empty = folder.path("empty.jpg");
  test::WriteBytes(empty, {});
  try {
    DetectJPGQuality(box, empty);
    FAIL();
  } catch (const RuntimeError& e) {
    EXPECT_EQ(e.number(), ErrorNumber::DivisionByZero);
    EXPECT_EQ(e.description(), "Division by zero");
  }
}

}  // namespace
}  // namespace brindlewick
