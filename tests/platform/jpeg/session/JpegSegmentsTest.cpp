#include "platform/jpeg/session/JpegSegments.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <optional>
#include <vector>

#include <jpeglib.h>

#include "JpegVariants.h"
#include "support/TestFiles.h"

namespace brindlewick {
namespace {

// The markers of a whole walk, scans stepped over.
std::vector<int> Walk(const QByteArray& jpeg) {
  std::vector<int> markers;
  JpegSegments segments(jpeg);
  while (const std::optional<JpegSegment> segment = segments.next()) {
    markers.push_back(segment->marker);
    if (segment->marker == M_SOS && !segments.skipEntropyCodedData()) break;
  }
  return markers;
}

TEST(JpegSegments, StepsOverRestartMarkersAndStuffedBytesInsideAScan) {
  variants::LibjpegEncoding restarts;
  restarts.restartRows = 1;
  const QByteArray jpeg = variants::LibjpegJpeg(test::SmoothImage(64, 64), restarts);
  ASSERT_TRUE(jpeg.contains(QByteArray("\xff\xd0", 2)));
  const std::vector<int> markers = Walk(jpeg);
  EXPECT_EQ(std::count(markers.begin(), markers.end(), M_SOS), 1);
  EXPECT_EQ(markers.back(), JPEG_EOI);
}

TEST(JpegSegments, StopsCleanlyWhereverTheDataEnds) {
  const QByteArray jpeg = test::JpegBytes(test::SmoothImage(40, 30));
  for (qsizetype cut = 0; cut < jpeg.size(); ++cut) {
    const std::vector<int> markers = Walk(jpeg.left(cut));
    EXPECT_TRUE(markers.empty() || markers.back() != JPEG_EOI) << cut;
  }
  EXPECT_TRUE(Walk(QByteArray("\xff\xd8\xff\xda\x00\x01", 6)).empty());  // a length below two
  EXPECT_TRUE(Walk("not a picture").empty());
}

}  // namespace
}  // namespace brindlewick
