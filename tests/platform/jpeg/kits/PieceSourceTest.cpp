#include "platform/jpeg/kits/PieceSource.h"

#include <gtest/gtest.h>

#include <vector>

#include "platform/jpeg/session/JpegSession.h"
#include "support/TestFiles.h"

namespace brindlewick {
namespace {

// The pieces as libjpeg gets them through the source; none when the decode failed or warned.
std::optional<QImage> DecodePieces(std::vector<QByteArray> pieces) {
  size_t next = 0;
  PieceSource source([&](QByteArray& piece) {
    if (next == pieces.size()) return false;
    piece = pieces[next++];
    return true;
  });
  JpegSession session({}, JpegSession::OnWarning::Fail);
  if (!session.readHeader(source.manager())) return std::nullopt;
  return session.decode({1, 1});
}

TEST(PieceSource, PassesOverEmptyPiecesAndEndsAShortStreamWithAWarning) {
  const QByteArray jpeg = test::JpegBytes(test::SmoothImage(40, 24));
  const QImage whole = DecodePieces({jpeg}).value_or(QImage());
  ASSERT_FALSE(whole.isNull());
  const qsizetype half = jpeg.size() / 2;
  // Empty pieces first, between two bytes of a marker segment, in the entropy-coded data and last.
  const std::vector<QByteArray> pieces{{}, jpeg.left(3),   {}, {}, jpeg.mid(3, half - 3),
                                       {}, jpeg.mid(half), {}};
  EXPECT_EQ(DecodePieces(pieces), whole);
  // Cut short, the stream is refused rather than read beyond its last piece.
  EXPECT_EQ(DecodePieces({jpeg.left(half), {}}), std::nullopt);
  EXPECT_EQ(DecodePieces({}), std::nullopt);
}

}  // namespace
}  // namespace brindlewick
