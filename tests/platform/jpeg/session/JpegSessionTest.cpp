#include "platform/jpeg/session/JpegSession.h"

#include <gtest/gtest.h>

#include <stop_token>

#include "JpegVariants.h"
#include "platform/threads/Parallel.h"

namespace brindlewick {
namespace {

// A stopped decode of a large progressive file leaves libjpeg's whole-picture buffers to the pool
// to free: once, all of them (the sanitized builds check both).
TEST(JpegSession, AStoppedLargeDecodeFreesItsBuffersOnThePool) {
  QImage picture(2048, 2048, QImage::Format_RGB32);
  picture.fill(Qt::darkCyan);
  variants::LibjpegEncoding arithmetic;
  arithmetic.progressive = arithmetic.arithmetic = true;
  const QByteArray jpeg = variants::LibjpegJpeg(picture, arithmetic);
  std::stop_source stop;
  stop.request_stop();
  {
    JpegSession session(stop.get_token());
    ASSERT_TRUE(session.readHeader(jpeg));
    EXPECT_FALSE(session.start(DecodeScale{}));
    EXPECT_TRUE(session.stopped());
    EXPECT_STREQ(session.message(), "the decode was stopped");
  }
  WaitForLongLivedTasksForTest();
}

}  // namespace
}  // namespace brindlewick
