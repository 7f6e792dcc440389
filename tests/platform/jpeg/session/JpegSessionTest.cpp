#include "platform/jpeg/session/JpegSession.h"

#include <gtest/gtest.h>

#include <stop_token>

#include "JpegVariants.h"
#include "platform/threads/Parallel.h"
#include "support/TestFiles.h"

namespace brindlewick {
namespace {

// A stopped decode of a large progressive file leaves libjpeg's whole-picture buffers to the pool
// to free: they must be freed once, all of them (the sanitized builds check both), and a decode of
// the same file afterwards is as good as ever.
TEST(JpegSession, AStoppedLargeDecodeFreesItsBuffersOnThePool) {
  QImage picture(2048, 2048, QImage::Format_RGB32);
  picture.fill(Qt::darkCyan);
  variants::LibjpegEncoding arithmetic;
  arithmetic.progressive = arithmetic.arithmetic = true;
  const QByteArray jpeg = variants::LibjpegJpeg(picture, arithmetic);
  std::stop_source stop;
  stop.request_stop();
  for (int i = 0; i < 2; ++i) {
    JpegSession session(stop.get_token());
    ASSERT_TRUE(session.readHeader(jpeg));
    EXPECT_FALSE(session.start(DecodeScale{}));
    EXPECT_TRUE(session.stopped());
    EXPECT_STREQ(session.message(), "the decode was stopped");
  }
  WaitForLongLivedTasksForTest();
  JpegSession session;
  ASSERT_TRUE(session.readHeader(jpeg));
  const std::optional<QImage> decoded = session.decode(DecodeScale{1, 8});
  ASSERT_TRUE(decoded);
  EXPECT_EQ(decoded->size(), QSize(256, 256));
}

}  // namespace
}  // namespace brindlewick
