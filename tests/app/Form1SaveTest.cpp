#include <gtest/gtest.h>

#include <cmath>

#include <QAction>
#include <QFile>
#include <QMenuBar>
#include <QMouseEvent>
#include <QScreen>
#include <QTest>
#include <QWindow>

#include "app/Form1.h"
#include "platform/jpeg/JpegDecoder.h"
#include "platform/surface/PictureBox.h"
#include "settings/Application.h"
#include "support/Decoding.h"
#include "support/Fakes.h"
#include "support/Form1Fixture.h"
#include "support/TestFiles.h"

namespace brindlewick {
namespace {

using Form1SaveTest = test::Form1Fixture;

TEST_F(Form1SaveTest, SaveImageWritesTheShownSampleUnderTheChosenName) {
  test::WriteJpeg(folder.path("Samples/sample1.jpg"), test::SmoothImage(900, 600));
  form.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
  click("LoadSample");
  form.document().JPGQuality = 95;  // as if chosen in the options
  const QString target = folder.path("saved sample.jpg");
  dialog.answers = {target};

  click("mnuSave");

  EXPECT_TRUE(errors.reports.empty());
  ASSERT_EQ(dialog.shown.size(), 1u);
  EXPECT_TRUE(dialog.shown[0].save);
  EXPECT_EQ(dialog.shown[0].title, "Save Image As");
  QFile file(target);
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  const QImage written = test::DecodeJpeg(file.readAll()).pixels();
  const QImage shown = form.findChild<PictureBox*>("Picture1")
                           ->grab()
                           .toImage()
                           .convertToFormat(QImage::Format_RGB32);
  EXPECT_EQ(written.size(), shown.size());
  EXPECT_GE(test::Psnr(written, shown), 35);
}

// The view's size in the first client area of 693 x 500 logical pixels: the client's device
// pixels less the margin, which grows with the ratio.
QSize FirstView(double ratio) {
  const auto side = [ratio](int logical) {
    return int(std::nearbyint(qRound(logical * ratio) - 15 * ratio));
  };
  return {side(693), side(500)};
}

// These run again at QT_SCALE_FACTOR 1.25, 1.5 and 2 (tests/CMakeLists.txt), all in device
// pixels.
TEST_F(Form1SaveTest, HighDensityViewShowsSavesAndCropsTheScreensPixelsOneForOne) {
  const double ratio = form.devicePixelRatioF();
  const QSize size = FirstView(ratio);  // 1356 x 970 at 2
  test::WriteJpeg(folder.path("Samples/sample1.jpg"),
                  test::SmoothImage(size.width(), size.height()));
  form.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
  click("LoadSample");
  const QImage& held = form.document().Picture1.canvas();
  auto* view = form.findChild<PictureBox*>("Picture1");
  const auto shown = [&] { return view->grab().toImage().copy(QRect(QPoint(), held.size())); };
  EXPECT_EQ(shown().convertToFormat(QImage::Format_RGB32), held);
  dialog.answers = {folder.path("saved.jpg")};
  click("mnuSave");
  QFile saved(folder.path("saved.jpg"));
  ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
  EXPECT_EQ(test::DecodeJpeg(saved.readAll()).pixels().size(), size);

  const QRect selection(201, 151, 132, 95);  // corners between two logical pixels at 2
  ASSERT_TRUE(QTest::qWaitFor([&] { return !form.selectionForTest().IgnoreMouse(); }, 3000));
  for (const auto& [type, at] : {std::pair{QEvent::MouseButtonPress, selection.topLeft()},
                                 {QEvent::MouseMove, selection.bottomRight() + QPoint(1, 1)},
                                 {QEvent::MouseButtonRelease, selection.bottomRight()}}) {
    QMouseEvent event(type, QPointF(at) / ratio, QPointF(), Qt::LeftButton, Qt::LeftButton, {});
    QApplication::sendEvent(view, &event);
  }
  EXPECT_EQ(held, form.document().picLoad.canvas().copy(selection));
  EXPECT_EQ(shown().convertToFormat(QImage::Format_RGB32), held);
  EXPECT_TRUE(errors.reports.empty());
}

// A display server puts the pointer on whole device pixels. At every ratio a drag of 400 x 400 of
// them crops 400 x 400, from the pixel under the press, whichever way and wherever it starts
// (at 1.25, 1.5 and 1.75 the logical positions' fractions come round within seven pixels).
TEST_F(Form1SaveTest, HighDensityADragCropsItsSizeInTheScreensPixelsWhereverItStarts) {
  const double ratio = form.devicePixelRatioF();
  const QSize size = FirstView(ratio);
  test::WriteJpeg(folder.path("Samples/sample1.jpg"),
                  test::PatternImage(size.width(), size.height()));
  form.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
  click("LoadSample");
  ASSERT_TRUE(QTest::qWaitFor([&] { return !form.selectionForTest().IgnoreMouse(); }, 3000));
  const QPoint at = view()->mapTo(&form, QPoint(0, 0));
  const QPoint origin(qRound(at.x() * ratio), qRound(at.y() * ratio));
  QWindow& window = *form.windowHandle();
  for (int shift = 0; shift < 7; ++shift) {
    const QRect selection(60 + shift, 50 + 2 * shift, 400, 400);
    const bool backwards = shift % 2;
    const QPoint from = backwards ? selection.bottomRight() + QPoint(1, 1) : selection.topLeft();
    const QPoint to = backwards ? selection.topLeft() : selection.bottomRight() + QPoint(1, 1);
    test::SendDeviceMouse(window, QEvent::MouseButtonPress, origin + from, Qt::LeftButton,
                          Qt::LeftButton);
    test::SendDeviceMouse(window, QEvent::MouseMove, origin + (from + to) / 2, Qt::LeftButton);
    test::SendDeviceMouse(window, QEvent::MouseMove, origin + to, Qt::LeftButton);
    test::SendDeviceMouse(window, QEvent::MouseButtonRelease, origin + to, {}, Qt::LeftButton);

    const QImage& held = form.document().Picture1.canvas();
    EXPECT_EQ(held.size(), selection.size()) << "ratio " << ratio << ", shift " << shift;
    EXPECT_EQ(held, form.document().picLoad.canvas().copy(selection))
        << "ratio " << ratio << ", shift " << shift;
    click("mnuUndo");
  }
  EXPECT_TRUE(errors.reports.empty());
}

// The view keeps its offset of 120 twips from the client area's corner, and the margins right
// and below are what they are at 100 %, 7 pixels, times the ratio: the view sits as centred as
// at 100 %, within the half device pixel a side is rounded to.
TEST_F(Form1SaveTest, HighDensityTheViewSitsInTheClientAreaAsAt100Percent) {
  form.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
  const double ratio = form.devicePixelRatioF();
  const auto* view = form.findChild<PictureBox*>("Picture1");
  EXPECT_EQ(view->pos(), QPoint(8, 8));
  const QSize client = form.clientArea()->size() * ratio;
  const QSize shown(form.document().Picture1.width(), form.document().Picture1.height());
  EXPECT_NEAR(client.width() - 8 * ratio - shown.width(), 7 * ratio, 0.5);
  EXPECT_NEAR(client.height() - 8 * ratio - shown.height(), 7 * ratio, 0.5);
}

// The rule along the menu bar's bottom runs unbroken under every command.
TEST_F(Form1SaveTest, HighDensityTheMenuBarsRuleHasNoGaps) {
  form.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
  const double ratio = form.devicePixelRatioF();
  const QImage bar = form.menuBar()->grab().toImage().convertToFormat(QImage::Format_RGB32);
  const QRgb background = bar.pixel(bar.width() - 1, 0);
  bool ruled = false;
  // The rule lies in the bar's last two logical rows, below every caption.
  for (int y = int((form.menuBar()->height() - 2) * ratio); y < bar.height(); ++y) {
    for (int x = 0; x < bar.width(); ++x) {
      ASSERT_EQ(bar.pixel(x, y), bar.pixel(0, y)) << "row " << y << ", column " << x;
    }
    ruled = ruled || bar.pixel(0, y) != background;
  }
  EXPECT_TRUE(ruled) << "no rule along the bottom";
}

TEST_F(Form1SaveTest, HighDensityAMoveToAScreenOfAnotherRatioLaysTheViewOutAgain) {
  if (QGuiApplication::screens().size() < 2) GTEST_SKIP() << "CTest runs it with two screens";
  form.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
  const double before = form.devicePixelRatioF();
  for (QScreen* screen : QGuiApplication::screens()) {
    if (screen->devicePixelRatio() != before) form.windowHandle()->setScreen(screen);
  }
  QCoreApplication::processEvents();
  ASSERT_NE(form.devicePixelRatioF(), before);
  EXPECT_EQ(form.document().Picture1.width(), FirstView(form.devicePixelRatioF()).width());
}

}  // namespace
}  // namespace brindlewick
