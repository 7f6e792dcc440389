#include "platform/jpeg/JpegMarkers.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "JpegVariants.h"
#include "support/TestFiles.h"

namespace brindlewick {
namespace {

using test::JpegBytes;
using test::SmoothImage;

TEST(ReadJpegLayout, TellsSequentialFromProgressiveAndCountsScans) {
  const JpegLayout baseline = ReadJpegLayout(JpegBytes(SmoothImage(40, 30)));
  EXPECT_FALSE(baseline.progressive);
  EXPECT_EQ(baseline.scans, 1);
  EXPECT_FALSE(baseline.keepsAllCoefficients());

  const QByteArray progressive =
      JpegBytes(SmoothImage(40, 30), {80, ChromaSubsampling::Quarter420, true, true});
  const JpegLayout layout = ReadJpegLayout(progressive);
  EXPECT_TRUE(layout.progressive);
  EXPECT_GT(layout.scans, 4);
  EXPECT_TRUE(layout.keepsAllCoefficients());

  EXPECT_EQ(ReadJpegLayout(variants::WithRepeatedLastScan(progressive, 600)).scans,
            layout.scans + 600);
}

TEST(ReadJpegLayout, StepsOverRestartMarkersAndStuffedBytesInsideAScan) {
  setenv("TJ_RESTART", "1", 1);  // a restart marker after every row of blocks
  const QByteArray withRestarts = JpegBytes(SmoothImage(64, 64));
  unsetenv("TJ_RESTART");
  ASSERT_TRUE(withRestarts.contains(QByteArray("\xff\xd0", 2)));
  EXPECT_EQ(ReadJpegLayout(withRestarts).scans, 1);
}

TEST(ReadJpegLayout, StopsCleanlyAtTheEndOfBrokenData) {
  const QByteArray jpeg = JpegBytes(SmoothImage(40, 30));
  for (qsizetype cut : {qsizetype(0), qsizetype(1), qsizetype(2), qsizetype(5), qsizetype(21),
                        jpeg.size() / 2, jpeg.size() - 1}) {
    const JpegLayout layout = ReadJpegLayout(jpeg.left(cut));
    EXPECT_LE(layout.scans, 1) << cut;
    EXPECT_FALSE(layout.progressive) << cut;
  }
  EXPECT_EQ(ReadJpegLayout(QByteArray("\xff\xd8\xff\xda\x00\x01", 6)).scans, 0);  // bad length
  EXPECT_EQ(ReadJpegLayout("not a picture").scans, 0);
}

}  // namespace
}  // namespace brindlewick
