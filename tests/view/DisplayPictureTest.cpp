#include "support/Decoding.h"
#include "view/DisplayPicture.h"

#include <gtest/gtest.h>

#include <QPainter>

#include "PhotoSynth.h"
#include "platform/errors/Trap.h"
#include "platform/jpeg/JpegDecoder.h"
#include "platform/surface/Scaling.h"
#include "support/Fakes.h"
#include "support/TestFiles.h"

namespace brindlewick {
namespace {

constexpr QRgb kWhite = 0xFFFFFFFF;

struct FitCase {
  const char* name;
  QSize picture;
  QSize view;
  QRect painted;  // where the picture lands in the view, in whole pixels
};

void PrintTo(const FitCase& c, std::ostream* os) { *os << c.name; }

class DisplayPictureFit : public ::testing::TestWithParam<FitCase> {
 protected:
  test::TempFolder folder;
  test::Form1Harness h;
};

// What the view must show: background, and the picture scaled to the rectangle and clipped.
QImage Expected(const FitCase& c, const QImage& pattern) {
  QImage expected(c.view, QImage::Format_RGB32);
  expected.fill(kWhite);
  QPainter painter(&expected);
  painter.drawImage(c.painted.topLeft(), ScalePixels(pattern, c.painted.size()));
  return expected;
}

TEST_P(DisplayPictureFit, FitsByTheLongerSideAndCentres) {
  const FitCase c = GetParam();
  const QImage pattern = test::PatternImage(c.picture.width(), c.picture.height());
  h.loader.fake = [&](const QString&, const PictureRequest&) { return Picture(pattern); };
  const QString path = folder.path("p.jpg");
  test::WriteBytes(path, QByteArray(c.picture.width() * c.picture.height() * 3 / 10, 'x'));
  h.layOut(c.view.width() + 15, c.view.height() + 15);

  DisplayPicture(h.display, path, h.doc.Picture1);

  EXPECT_TRUE(h.errors.reports.empty());
  EXPECT_EQ(h.doc.JPGQuality, 91);  // compression ratio 10
  EXPECT_TRUE(h.doc.viewShowsPicture());
  ASSERT_EQ(QSize(h.doc.Picture1.width(), h.doc.Picture1.height()), c.view);
  EXPECT_EQ(h.doc.Picture1.canvas(), Expected(c, pattern));
  // The clean copy is the same size and the same pixels.
  EXPECT_EQ(h.doc.picLoad.canvas(), h.doc.Picture1.canvas());
  EXPECT_EQ(h.doc.picLoad.picture().pixels(), h.doc.Picture1.canvas());
  EXPECT_EQ(h.doc.picDraw.picture().naturalSize(), c.picture);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DisplayPictureFit,
    ::testing::Values(
        FitCase{"SmallerIsCentredAtNaturalSize", {100, 50}, {400, 300}, {150, 125, 100, 50}},
        FitCase{"ExactlyTheViewIsNotScaled", {400, 300}, {400, 300}, {0, 0, 400, 300}},
        FitCase{"LandscapeTakesTheViewWidth", {800, 400}, {400, 300}, {0, 50, 400, 200}},
        FitCase{"LandscapeTooTallIsCutTopAndBottom", {800, 700}, {400, 300}, {0, -25, 400, 350}},
        FitCase{"SquareTakesTheViewHeight", {600, 600}, {400, 300}, {50, 0, 300, 300}},
        FitCase{"PortraitTakesTheViewHeight", {200, 600}, {400, 300}, {150, 0, 100, 300}},
        // Wider than the view but taller than wide: scaled up by 1.2, 140 cut on each side.
        FitCase{"TallerSideRatioCanEnlarge", {900, 1000}, {800, 1200}, {-140, 0, 1080, 1200}},
        // Centred on a half pixel: edges round to even.
        FitCase{"OddMarginsRoundEachEdge", {101, 51}, {400, 300}, {150, 124, 101, 51}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(DisplayPicture, AMissingFileIsReportedAt104And106AndLeavesABlankViewThatCounts) {
  test::TempFolder folder;
  test::Form1Harness h;
  h.layOut();
  const QString missing = folder.path("gone.jpg");

  DisplayPicture(h.display, missing, h.doc.Picture1);

  ASSERT_EQ(h.errors.reports.size(), 2u);
  EXPECT_EQ(h.errors.reports[0],
            FailureReport("File not found: " + missing, "Form1", "DisplayPicture", 104));
  EXPECT_EQ(h.errors.reports[1],
            FailureReport("File not found: " + missing, "Form1", "DisplayPicture", 106));
  EXPECT_TRUE(h.doc.viewShowsPicture());
  EXPECT_TRUE(h.doc.picDraw.picture().isNone());
  QImage blank(h.doc.Picture1.canvas().size(), QImage::Format_RGB32);
  blank.fill(kWhite);
  EXPECT_EQ(h.doc.Picture1.canvas(), blank);
  EXPECT_EQ(h.doc.picLoad.canvas(), blank);
}

TEST(DisplayPicture, EveryDisplayEstimatesAgainAndAFailedEstimateKeepsTheLastQuality) {
  test::TempFolder folder;
  test::Form1Harness h;
  h.layOut();
  h.loader.fake = [](const QString&, const PictureRequest&) {
    return Picture(QImage(100, 100, QImage::Format_RGB32));
  };
  const QString path = folder.path("p.jpg");
  test::WriteBytes(path, QByteArray(2000, 'x'));  // ratio 15: estimate 86

  DisplayPicture(h.display, path, h.doc.Picture1);
  EXPECT_EQ(h.doc.JPGQuality, 86);
  EXPECT_EQ(h.doc.PrevQuality, 86);

  h.doc.JPGQuality = 60;  // a fixed quality holds only until the next display
  DisplayPicture(h.display, path, h.doc.Picture1);
  EXPECT_EQ(h.doc.JPGQuality, 86);

  const QString empty = folder.path("empty.jpg");
  test::WriteBytes(empty, {});
  h.doc.JPGQuality = 42;
  DisplayPicture(h.display, empty, h.doc.Picture1);
  ASSERT_EQ(h.errors.reports.size(), 1u);
  EXPECT_EQ(h.errors.reports[0], FailureReport("Division by zero", "Form1", "DisplayPicture", 106));
  EXPECT_EQ(h.doc.JPGQuality, 42);
  EXPECT_EQ(h.doc.PrevQuality, 42);
}

TEST(DisplayPicture, ShowsARealJpegFitted) {
  test::TempFolder folder;
  test::Form1Harness h;
  h.layOut(700, 500);
  const QString path = test::WriteJpeg(folder.path("wide.jpg"), test::SmoothImage(1370, 600));

  DisplayPicture(h.display, path, h.doc.Picture1);

  EXPECT_TRUE(h.errors.reports.empty());
  // 1370 x 600 in 685 x 485: half size, 300 high, centred with 92.5 rows above.
  const QImage& view = h.doc.Picture1.canvas();
  EXPECT_EQ(view.pixel(342, 80), kWhite);
  EXPECT_NE(view.pixel(342, 100), kWhite);
  EXPECT_NE(view.pixel(342, 384), kWhite);
  EXPECT_EQ(view.pixel(342, 400), kWhite);
  EXPECT_EQ(h.doc.picLoad.canvas(), view);
}

TEST(DisplayPicture, ShrinkOnLoadShowsWhatAFullDecodeWouldWithinTheFilter) {
  test::TempFolder folder;
  test::Form1Harness h;
  h.layOut(700, 500);
  const QString path =
      test::WriteJpeg(folder.path("photo.jpg"), SynthesizePhoto(3000, 2000, 7), {90});

  DisplayPicture(h.display, path, h.doc.Picture1);

  // The decoder took a reduced scale; the geometry still came from the natural size.
  const Picture& decoded = h.doc.picDraw.picture();
  EXPECT_EQ(decoded.naturalSize(), QSize(3000, 2000));
  EXPECT_EQ(decoded.pixels().size(), QSize(750, 500));
  // Against the full decode and the same scaler: 3000 x 2000 into 685 x 485 is 685 x 456.67.
  const Picture full = test::JpegFileLoader().LoadPicture(path, {}).picture;
  const QImage reference = ScalePixels(full.pixels(), {685, 457});
  const QImage shown = h.doc.Picture1.canvas().copy(0, 14, 685, 457);
  EXPECT_GE(test::Psnr(shown, reference), 33);
}

TEST(PaintStretched, RepaintsTheWholeTargetFromThePicture) {
  Surface target;
  target.setSize(6, 4);
  target.drawBox(0, 0, 5, 3, qRgb(255, 0, 0));
  const QImage pattern = test::PatternImage(6, 4);
  PaintStretched(target, Picture(pattern));
  EXPECT_EQ(target.canvas(), pattern);
}

}  // namespace
}  // namespace brindlewick
