#include "platform/surface/Surface.h"

#include <gtest/gtest.h>

#include <functional>
#include <utility>
#include <vector>

#include "platform/errors/RuntimeError.h"
#include "support/TestFiles.h"

namespace brindlewick {
namespace {

constexpr QRgb kBack = 0xFF102030;

TEST(Surface, ShowsItsPictureAtTheTopLeftOnItsBackground) {
  Surface s(kBack);
  s.setSize(10, 8);
  const QImage pattern = test::PatternImage(4, 3);
  s.setPicture(Picture(pattern));
  EXPECT_EQ(s.canvas().copy(0, 0, 4, 3), pattern);
  EXPECT_EQ(s.canvas().pixel(4, 0), kBack);
  EXPECT_EQ(s.canvas().pixel(0, 3), kBack);
  EXPECT_FALSE(s.picture().isNone());

  s.setPicture(Picture());
  EXPECT_TRUE(s.picture().isNone());
  EXPECT_EQ(s.canvas().pixel(0, 0), kBack);
}

TEST(Surface, ClearBringsBackThePictureAndDropsDrawing) {
  Surface s(kBack);
  s.setSize(6, 6);
  const QImage pattern = test::PatternImage(6, 6);
  s.setPicture(Picture(pattern));
  s.drawBox(1, 1, 4, 4, qRgb(255, 0, 0));
  EXPECT_NE(s.canvas(), pattern);
  s.cls();
  EXPECT_EQ(s.canvas(), pattern);
}

TEST(Surface, PaintsAtNaturalSizeWithoutResampling) {
  Surface s(kBack);
  s.setSize(20, 20);
  const QImage pattern = test::PatternImage(8, 6);
  s.paintPicture(Picture(pattern), 6, 7, 8, 6);
  EXPECT_EQ(s.canvas().copy(6, 7, 8, 6), pattern);
  EXPECT_EQ(s.canvas().pixel(5, 7), kBack);
}

TEST(Surface, ClipsAPaintThatOverflowsEquallyOnBothSides) {
  Surface s(kBack);
  s.setSize(6, 4);
  const QImage pattern = test::PatternImage(10, 4);
  s.paintPicture(Picture(pattern), -2, 0, 10, 4);
  EXPECT_EQ(s.canvas(), pattern.copy(2, 0, 6, 4));
}

TEST(Surface, PaintingNoPictureDrawsNothing) {
  Surface s(kBack);
  s.setSize(6, 4);
  const QImage pattern = test::PatternImage(6, 4);
  s.paintPicture(Picture(pattern), 0, 0, 6, 4);
  s.paintPicture(Picture(), 0, 0, 6, 4);
  s.paintPicture(Picture(), 1, 1, 2, 2, 0, 0, 2, 2);
  EXPECT_EQ(s.canvas(), pattern);
}

TEST(Surface, CopiesASourceRectangleUnchanged) {
  Surface s(kBack);
  s.setSize(5, 4);
  const QImage pattern = test::PatternImage(12, 10);
  s.paintPicture(Picture(pattern), 0, 0, 5, 4, 3, 2, 5, 4);
  EXPECT_EQ(s.canvas(), pattern.copy(3, 2, 5, 4));
}

TEST(Surface, CopyFillsWhatLiesOutsideTheSourceWithBackground) {
  Surface s(kBack);
  s.setSize(6, 6);
  const QImage pattern = test::PatternImage(4, 4);
  s.paintPicture(Picture(pattern), 0, 0, 6, 6, -1, -2, 6, 6);
  for (int y = 0; y < 6; ++y) {
    for (int x = 0; x < 6; ++x) {
      const int sx = x - 1, sy = y - 2;
      const bool inside = sx >= 0 && sy >= 0 && sx < 4 && sy < 4;
      EXPECT_EQ(s.canvas().pixel(x, y), inside ? pattern.pixel(sx, sy) : kBack) << x << "," << y;
    }
  }
}

TEST(Surface, ResizeKeepsTheTopLeftContent) {
  Surface s(kBack);
  s.setSize(4, 4);
  const QImage pattern = test::PatternImage(4, 4);
  s.paintPicture(Picture(pattern), 0, 0, 4, 4);
  s.setWidth(6);
  s.setHeight(2.5);  // halves go to even
  EXPECT_EQ(s.width(), 6);
  EXPECT_EQ(s.height(), 2);
  EXPECT_EQ(s.canvas().copy(0, 0, 4, 2), pattern.copy(0, 0, 4, 2));
  EXPECT_EQ(s.canvas().pixel(5, 1), kBack);
}

// Resizes in a row, read only after the last: what any of them cut stays cut, and the area they
// opened shows the background picture on the background colour.
TEST(Surface, ResizesInARowKeepOnlyWhatEveryOneKept) {
  Surface s(kBack);
  const QImage background = test::SmoothImage(6, 6), drawn = test::PatternImage(4, 4);
  s.setPicture(Picture(background));
  s.setSize(4, 4);
  s.paintPicture(Picture(drawn), 0, 0, 4, 4);
  s.setWidth(3);
  s.setWidth(7);
  s.setHeight(8);
  ASSERT_EQ(s.canvas().size(), QSize(7, 8));
  for (int y = 0; y < 8; ++y) {
    for (int x = 0; x < 7; ++x) {
      const QRgb expected = x < 3 && y < 4   ? drawn.pixel(x, y)
                            : x < 6 && y < 6 ? background.pixel(x, y)
                                             : kBack;
      EXPECT_EQ(s.canvas().pixel(x, y), expected) << x << "," << y;
    }
  }
}

// After resizes not yet read, a change that draws the whole canvas anew leaves nothing of what was
// drawn before them: the same pixels as a surface given that size from the start.
TEST(Surface, ResizesThenANewBackgroundShowNothingDrawnBefore) {
  const QImage background = test::SmoothImage(5, 3);
  const std::vector<std::pair<const char*, std::function<void(Surface&)>>> changes{
      {"a new picture", [&](Surface& s) { s.setPicture(Picture(background)); }},
      {"a clear", [](Surface& s) { s.cls(); }},
  };
  for (const auto& [name, change] : changes) {
    Surface s(kBack), fresh(kBack);
    for (Surface* surface : {&s, &fresh}) surface->setPicture(Picture(background));
    s.setSize(4, 4);
    s.paintPicture(Picture(test::PatternImage(4, 4)), 0, 0, 4, 4);
    s.setWidth(8);
    s.setHeight(6);
    fresh.setSize(8, 6);
    change(s);
    change(fresh);
    EXPECT_EQ(s.canvas(), fresh.canvas()) << name;
  }
}

TEST(Surface, MayHaveNoAreaAndStillKeepsItsSize) {
  Surface s(kBack);
  s.setSize(0, 7);
  EXPECT_EQ(s.width(), 0);
  EXPECT_EQ(s.height(), 7);
  const Picture snapshot = s.image();
  EXPECT_FALSE(snapshot.isNone());
  EXPECT_EQ(snapshot.naturalSize(), QSize(0, 7));
}

TEST(Surface, RefusesANegativeSize) {
  Surface s(kBack);
  s.setSize(4, 4);
  try {
    s.setWidth(-1);
    FAIL();
  } catch (const RuntimeError& e) {
    EXPECT_EQ(e.number(), ErrorNumber::InvalidPropertyValue);
  }
  EXPECT_EQ(s.width(), 4);
}

TEST(Surface, SnapshotIsWhatItShows) {
  Surface s(kBack);
  s.setSize(5, 5);
  s.setPicture(Picture(test::PatternImage(3, 3)));
  s.drawBox(0, 0, 4, 4, qRgb(0, 255, 0));
  EXPECT_EQ(s.image().pixels(), s.canvas());
  EXPECT_EQ(s.canvas().pixel(4, 4), qRgb(0, 255, 0));
  // Taken as the background, the snapshot is what shows, and what a clear brings back; drawing
  // afterwards changes neither it nor the background.
  const QImage shown = s.canvas().copy();
  s.setPicture(s.image());
  EXPECT_EQ(s.canvas(), shown);
  const Picture background = s.picture();
  s.drawBox(1, 1, 2, 2, qRgb(255, 0, 0));
  EXPECT_EQ(background.pixels(), shown);
  s.cls();
  EXPECT_EQ(s.canvas(), shown);
}

}  // namespace
}  // namespace brindlewick
