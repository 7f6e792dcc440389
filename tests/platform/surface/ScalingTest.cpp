#include "platform/surface/Scaling.h"

#include <gtest/gtest.h>

#include <QImage>

#include "platform/surface/Picture.h"
#include "support/TestFiles.h"

namespace brindlewick {
namespace {

QImage Filled(int w, int h, QRgb colour) {
  QImage image(w, h, QImage::Format_RGB32);
  image.fill(colour);
  return image;
}

// One-pixel black and white stripes: the detail a shrink must average, not sample.
QImage Stripes(int w, int h) {
  QImage image(w, h, QImage::Format_RGB32);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) image.setPixel(x, y, x % 2 ? qRgb(255, 255, 255) : qRgb(0, 0, 0));
  }
  return image;
}

TEST(ShrinkByAreaAverage, AveragesWholeBlocksExactly) {
  QImage source(4, 2, QImage::Format_RGB32);
  const QRgb pixels[] = {qRgb(0, 0, 0),   qRgb(100, 10, 0), qRgb(8, 8, 8),   qRgb(0, 0, 0),
                         qRgb(20, 2, 40), qRgb(80, 0, 4),   qRgb(0, 0, 200), qRgb(4, 4, 4)};
  for (int i = 0; i < 8; ++i) source.setPixel(i % 4, i / 4, pixels[i]);
  const QImage out = ShrinkByAreaAverage(source, {2, 1});
  EXPECT_EQ(out.pixel(0, 0), qRgb(50, 3, 11));  // (0+100+20+80)/4, (0+10+2+0)/4, (0+0+40+4)/4
  EXPECT_EQ(out.pixel(1, 0), qRgb(3, 3, 53));
}

TEST(ShrinkByAreaAverage, KeepsAFlatColourFlatAtAnyRatio) {
  for (QSize target : {QSize(7, 5), QSize(13, 9), QSize(1, 1), QSize(30, 20)}) {
    const QImage out = ShrinkByAreaAverage(Filled(31, 23, qRgb(91, 17, 230)), target);
    ASSERT_EQ(out.size(), target);
    for (int y = 0; y < out.height(); ++y) {
      for (int x = 0; x < out.width(); ++x) ASSERT_EQ(out.pixel(x, y), qRgb(91, 17, 230));
    }
  }
}

TEST(ShrinkByAreaAverage, FineDetailBecomesItsAverageInsteadOfAliasing) {
  // 300 stripes into 73 columns: every output pixel covers about four stripes.
  const QImage out = ShrinkByAreaAverage(Stripes(300, 10), {73, 5});
  for (int x = 0; x < out.width(); ++x) {
    const int grey = qRed(out.pixel(x, 2));
    EXPECT_NEAR(grey, 128, 20) << "column " << x;
  }
}

TEST(ScalePixels, LeavesTheSameSizeAloneAndEnlargesSmoothly) {
  const QImage pattern = test::PatternImage(10, 10);
  EXPECT_EQ(ScalePixels(pattern, {10, 10}), pattern);
  const QImage bigger = ScalePixels(Filled(4, 4, qRgb(9, 99, 199)), {12, 6});
  ASSERT_EQ(bigger.size(), QSize(12, 6));
  EXPECT_EQ(bigger.pixel(6, 3), qRgb(9, 99, 199));
}

TEST(PictureScaledTo, ScalesOnceForTwoPaintsAtOneSize) {
  const Picture picture(test::SmoothImage(200, 100));
  const QImage first = picture.scaledTo({50, 25});
  const Picture copy = picture;  // copies share what was scaled
  EXPECT_EQ(copy.scaledTo({50, 25}).constBits(), first.constBits());
  EXPECT_NE(picture.scaledTo({40, 20}).constBits(), first.constBits());
}

}  // namespace
}  // namespace brindlewick
