#include "platform/jpeg/bands/RestartBands.h"

#include <gtest/gtest.h>

#include <QImage>

#include "JpegVariants.h"
#include "platform/jpeg/JpegDecoder.h"
#include "platform/jpeg/session/JpegSession.h"
#include "support/Decoding.h"
#include "support/TestFiles.h"

namespace brindlewick {
namespace {

using variants::RestartEncoding;
using variants::RestartJpeg;

// The whole file on one thread, as the decoder does it without bands.
QImage WholeDecode(const QByteArray& jpeg, DecodeScale scale) {
  return test::DecodeJpegAtScale(jpeg, scale);
}

// A null image when the bands were refused.
QImage Banded(const QByteArray& jpeg, DecodeScale scale, int bands) {
  JpegSession header;
  if (!header.readHeader(jpeg)) return {};
  return DecodeRestartBands(header, jpeg, {scale, 2, {}}, bands).value_or(QImage());
}

struct Layout {
  const char* name;
  RestartEncoding encoding;
  int mcuWidth;
};

constexpr Layout kLayouts[] = {
    {"420", {2, 2, false, 0, 90}, 16}, {"422", {2, 1, false, 0, 90}, 16},
    {"440", {1, 2, false, 0, 90}, 8},  {"444", {1, 1, false, 0, 90}, 8},
    {"gray", {1, 1, true, 0, 90}, 8},
};
constexpr DecodeScale kScales[] = {{1, 8}, {1, 4}, {3, 8}, {1, 2}, {7, 8}, {1, 1}};

// Odd sizes, so the last MCU column and row are partial.
constexpr int kWidth = 203, kHeight = 181;

QByteArray Photo(const Layout& layout, int restartRows) {
  RestartEncoding encoding = layout.encoding;
  encoding.restartMcus = restartRows * ((kWidth + layout.mcuWidth - 1) / layout.mcuWidth);
  return RestartJpeg(test::SmoothImage(kWidth, kHeight), encoding);
}

TEST(DecodeRestartBands, GivesTheWholeFileDecodesPixelsForEveryLayoutScaleAndSpacing) {
  for (const Layout& layout : kLayouts) {
    for (const int restartRows : {1, 3}) {
      const QByteArray jpeg = Photo(layout, restartRows);
      for (const DecodeScale scale : kScales) {
        for (const int bands : {2, 3, 5}) {
          SCOPED_TRACE(testing::Message()
                       << layout.name << " every " << restartRows << " rows at " << scale.num << "/"
                       << scale.denom << " in " << bands << " bands");
          const QImage banded = Banded(jpeg, scale, bands);
          ASSERT_FALSE(banded.isNull());
          EXPECT_TRUE(banded == WholeDecode(jpeg, scale));
        }
      }
    }
  }
}

// The offset of the n-th restart marker's code byte.
qsizetype RestartMarker(const QByteArray& jpeg, int n) {
  qsizetype at = jpeg.indexOf(QByteArray("\xff\xda", 2));
  for (int seen = -1; seen < n; ++seen) {
    do {
      at = jpeg.indexOf(char(0xFF), at + 1);
    } while ((uchar(jpeg[at + 1]) & 0xF8) != 0xD0);
  }
  return at + 1;
}

TEST(DecodeRestartBands, LeavesFilesItCannotCutExactlyToTheWholeFileDecode) {
  const Layout& layout = kLayouts[0];
  const QByteArray good = Photo(layout, 1);
  QByteArray missing = good;
  missing.remove(RestartMarker(good, 4) - 1, 2);
  QByteArray misnumbered = good;
  misnumbered[RestartMarker(good, 4)] = char(0xD7);
  QByteArray flipped = good;  // a corrupt byte inside an interval: a warning, then refused
  flipped[RestartMarker(good, 6) + 9] = char(0xFF);
  RestartEncoding offRow = layout.encoding;
  offRow.restartMcus = 5;  // 13 MCUs to a row: the markers cut rows
  JpegEncoding progressive;
  progressive.progressive = true;
  const QImage photo = test::SmoothImage(kWidth, kHeight);

  const struct {
    const char* name;
    QByteArray jpeg;
  } refused[] = {
      {"no markers", test::JpegBytes(photo)},
      {"markers inside rows", RestartJpeg(photo, offRow)},
      {"progressive", test::JpegBytes(photo, progressive)},
      {"CMYK", variants::CmykJpeg(photo, 90)},
      {"marker missing", missing},
      {"marker misnumbered", misnumbered},
      {"corrupt data", flipped},
      {"truncated", good.left(good.size() * 2 / 3)},
  };
  for (const auto& file : refused) {
    SCOPED_TRACE(file.name);
    const QImage banded = Banded(file.jpeg, {1, 1}, 2);
    const bool corrupt = file.name == std::string("corrupt data");
    // Corrupt data that decodes without a single warning is the same in bands: then either holds.
    EXPECT_TRUE(banded.isNull() || (corrupt && banded == WholeDecode(file.jpeg, {1, 1})));
    // The decoder takes the whole-file path and shows exactly what that gives.
    if (file.name != std::string("CMYK")) {
      EXPECT_TRUE(test::DecodeJpeg(file.jpeg, {{}, 4, {}}).pixels() ==
                  WholeDecode(file.jpeg, {1, 1}));
    }
  }
}

TEST(DecodeRestartBands, IsWhatTheDecoderShowsForAFileWithMarkers) {
  const QByteArray jpeg = Photo(kLayouts[0], 1);
  const Picture shown = test::DecodeJpeg(jpeg, {[](QSize) { return QSizeF(60, 50); }, 4, {}});
  EXPECT_TRUE(shown.pixels() == WholeDecode(jpeg, {3, 8}));
  EXPECT_EQ(shown.naturalSize(), QSize(kWidth, kHeight));
}

}  // namespace
}  // namespace brindlewick
