#include <gtest/gtest.h>

#include <atomic>
#include <stop_token>

#include "JpegVariants.h"
#include "platform/errors/RuntimeError.h"
#include "platform/jpeg/JpegDecoder.h"
#include "platform/jpeg/kits/PieceSource.h"
#include "platform/threads/Parallel.h"
#include "support/Decoding.h"
#include "support/TestFiles.h"

namespace brindlewick {
namespace {

// Pieces handed to libjpeg during one decode; the stop is asked for at the `stopAt`th.
std::atomic<int> piecesSeen{0}, stopAt{0};
std::atomic<std::stop_source*> stopping{nullptr};

void CountPiece() {
  if (++piecesSeen == stopAt) stopping.load()->request_stop();
}

// A stop asked for in the middle of a scan, from inside the source as libjpeg reads: the decode
// gives up within a few pieces, never falls back on another way, and frees the threads it took.
TEST(DecodeJpeg, AStopAskedInTheMiddleOfAScanEndsTheDecodeThere) {
  const QImage photo = test::SmoothImage(256, 1024);
  variants::LibjpegEncoding restarts;
  restarts.restartRows = 1;
  const struct {
    const char* name;
    QByteArray jpeg;
    int stopAt;     // the stripes' pieces (33), the bands' (four bands, six or seven pieces each)
    int mostAfter;  // the queued pieces and the one libjpeg is in; the pieces of bands under way
  } files[] = {
      {"progressive, three threads",
       test::JpegBytes(photo, {90, ChromaSubsampling::Quarter420, true, true}), 10, 3},
      {"restart markers, in bands", variants::LibjpegJpeg(photo, restarts), 6, 14},
  };
  // The library check, run once before the first progressive decode, reads pieces of its own.
  test::DecodeJpeg(test::JpegBytes(test::SmoothImage(32, 32), {90, {}, true, true}));
  for (const auto& file : files) {
    SCOPED_TRACE(file.name);
    std::stop_source stop;
    piecesSeen = 0;
    stopAt = file.stopAt;
    stopping = &stop;
    ObservePiecesForTest(CountPiece);
    try {
      test::DecodeJpeg(file.jpeg,
                       {[](QSize natural) { return QSizeF(natural); }, 3, stop.get_token()});
      ADD_FAILURE() << "decoded";
    } catch (const RuntimeError& e) {
      EXPECT_EQ(e.description(), "Invalid picture: the decode was stopped");
    }
    ObservePiecesForTest(nullptr);
    WaitForLongLivedTasksForTest();
    EXPECT_GE(piecesSeen, file.stopAt);
    EXPECT_LE(piecesSeen - file.stopAt, file.mostAfter);
  }
}

}  // namespace
}  // namespace brindlewick
