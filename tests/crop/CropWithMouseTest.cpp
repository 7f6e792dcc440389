// The crop as a user does it: real mouse events on the main window's view, results read from the
// pixels the view holds and shows.
#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include <QAccessible>
#include <QAction>
#include <QFile>
#include <QMenuBar>
#include <QTest>
#include <QWindow>

#include "app/Form1.h"
#include "platform/errors/Trap.h"
#include "platform/surface/PictureBox.h"
#include "platform/surface/Shape.h"
#include "settings/Application.h"
#include "support/Fakes.h"
#include "support/Form1Fixture.h"
#include "support/TestFiles.h"

namespace brindlewick {
namespace {

constexpr QRgb kWhite = qRgb(255, 255, 255);
// The layout's view for the window's first size.
constexpr QSize kViewSize(678, 485);

QImage Filled(QSize size, QRgb color) {
  QImage image(size, QImage::Format_RGB32);
  image.fill(color);
  return image;
}

class CropWithMouseTest : public test::Form1Fixture {
 protected:
  // Shows the window with the sample open. A 400 x 300 sample sits in the middle of the view
  // with margins all round (drawn from x = 139, y = 92); a 1600 x 1200 one covers the view. Returns
  // once the quiet time after opening is over and the mouse selects.
  void openSample(QSize size = {400, 300}) {
    test::WriteJpeg(sample(), test::PatternImage(size.width(), size.height()));
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    click("LoadSample");
    ASSERT_TRUE(errors.reports.empty());
    ASSERT_EQ(view()->size(), kViewSize);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !form.selectionForTest().IgnoreMouse(); }, 3000));
  }

  QString sample() const { return folder.path("Samples/sample1.jpg"); }

  // Events straight to the view, as the toolkit hands them over while the view has the mouse.
  // (QTest takes a null point for the middle of the widget, so tests avoid (0, 0).)
  void press(QPoint at, Qt::MouseButton button = Qt::LeftButton) {
    QTest::mousePress(view(), button, {}, at);
  }
  void moveTo(QPoint at) { QTest::mouseMove(view(), at); }
  void release(QPoint at, Qt::MouseButton button = Qt::LeftButton) {
    QTest::mouseRelease(view(), button, {}, at);
  }
  void drag(QPoint from, QPoint to) {
    press(from);
    moveTo((from + to) / 2);
    moveTo(to);
    release(to);
  }

  // Events to the window at a point given in view pixels, delivered by the toolkit itself; the
  // point may lie outside the view and the window.
  QPoint inWindow(QPoint viewPoint) const { return view()->mapTo(&form, viewPoint); }
  void windowPress(QPoint viewPoint) {
    QTest::mousePress(form.windowHandle(), Qt::LeftButton, {}, inWindow(viewPoint));
  }
  void windowMove(QPoint viewPoint) { QTest::mouseMove(form.windowHandle(), inWindow(viewPoint)); }
  void windowRelease(QPoint viewPoint) {
    QTest::mouseRelease(form.windowHandle(), Qt::LeftButton, {}, inWindow(viewPoint));
  }

  QRectF band() {
    const Shape& b = form.selectionForTest().shp1();
    return {b.left, b.top, b.width, b.height};
  }
  const QImage& held() { return doc().Picture1.canvas(); }
  QImage shown() const { return view()->grab().toImage().convertToFormat(QImage::Format_RGB32); }
  QImage clean(QRect region) { return doc().picLoad.canvas().copy(region); }
  void expectCroppedTo(QRect selection) {
    EXPECT_EQ(view()->pos(), QPoint(8, 8));
    EXPECT_EQ(view()->size(), selection.size());
    EXPECT_EQ(held(), clean(selection));
    EXPECT_EQ(shown(), held());  // neither the band nor the release's box is left on show
    EXPECT_TRUE(form.selectionForTest().CropDone());
    EXPECT_TRUE(command("mnuUndo")->isEnabled());
    EXPECT_FALSE(form.selectionForTest().shp1().visible);
  }
  void expectWholePicture() {
    EXPECT_EQ(view()->size(), kViewSize);
    EXPECT_TRUE(doc().viewShowsPicture());
    EXPECT_EQ(held(), doc().picLoad.canvas());
  }
};

struct DirectionCase {
  const char* name;
  QRect selection;
  bool fromRight, fromBottom;
  friend void PrintTo(const DirectionCase& c, std::ostream* os) { *os << c.name; }
};

class CropDirectionTest : public CropWithMouseTest,
                          public ::testing::WithParamInterface<DirectionCase> {};

TEST_P(CropDirectionTest, CropsTheBandPixelForPixelWhicheverWayItWasDragged) {
  openSample();
  const DirectionCase& c = GetParam();
  const QRect r = c.selection;
  const QPoint from(c.fromRight ? r.x() + r.width() : r.x(),
                    c.fromBottom ? r.y() + r.height() : r.y());
  const QPoint to(c.fromRight ? r.x() : r.x() + r.width(),
                  c.fromBottom ? r.y() : r.y() + r.height());

  drag(from, to);

  expectCroppedTo(r);
  EXPECT_TRUE(errors.reports.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CropDirectionTest,
    ::testing::Values(DirectionCase{"InsideDownRight", {200, 150, 120, 80}, false, false},
                      DirectionCase{"InsideUpLeft", {200, 150, 120, 80}, true, true},
                      DirectionCase{"InsideDownLeft", {200, 150, 120, 80}, true, false},
                      DirectionCase{"InsideUpRight", {200, 150, 120, 80}, false, true},
                      DirectionCase{"OverTheEdgeUpLeft", {100, 60, 100, 80}, true, true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(CropWithMouseTest, ASelectionOverTheMarginGivesTheBackgroundColour) {
  openSample();
  drag({10, 10}, {100, 60});
  expectCroppedTo({10, 10, 90, 50});
  EXPECT_EQ(held(), Filled({90, 50}, kWhite));
}

TEST_F(CropWithMouseTest, TheBandIsDrawnOverThePictureAndNeverIntoIt) {
  openSample();
  press({150, 120});
  moveTo({260, 200});

  EXPECT_TRUE(form.selectionForTest().shp1().visible);
  EXPECT_EQ(band(), QRectF(150, 120, 110, 80));
  EXPECT_EQ(held(), doc().picLoad.canvas());
  const QImage onScreen = shown();
  EXPECT_NE(onScreen.copy(150, 120, 111, 81), held().copy(150, 120, 111, 81));  // the outline
  EXPECT_EQ(onScreen.copy(152, 122, 106, 76), held().copy(152, 122, 106, 76));  // and inside it
  release({260, 200});
}

// What a screen reader reads of the view.
QString Spoken(QWidget* view) {
  return QAccessible::queryAccessibleInterface(view)->text(QAccessible::Description);
}

// The size shows beside the band, on a label of its own over the picture, and goes with it.
TEST_F(CropWithMouseTest, TheBandsSizeShowsBesideItAndIsSpokenButNeverCropped) {
  openSample();
  const QString unselected = Spoken(view());
  press({150, 120});
  moveTo({260, 200});
  EXPECT_EQ(view()->caption(), "110 x 80");
  EXPECT_EQ(Spoken(view()),
            "Selection of 110 x 80 pixels, 150 from the left and 120 from the top.");
  // Below the band's right end: over the picture, not in it.
  const QRect label(220, 204, 40, 10);
  EXPECT_NE(shown().copy(label), held().copy(label));
  EXPECT_EQ(held(), doc().picLoad.canvas());

  release({260, 200});
  expectCroppedTo({150, 120, 110, 80});  // the label is gone with the band
  EXPECT_EQ(view()->caption(), "");
  EXPECT_EQ(Spoken(view()), unselected);
}

// From the window's keys, as a user presses them with the view holding the keyboard.
TEST_F(CropWithMouseTest, TheKeysSelectAndCropAsADragOverTheSameRectangleWould) {
  openSample();
  form.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
  QWindow* window = form.windowHandle();
  const auto key = [&](Qt::Key k, Qt::KeyboardModifiers m = {}, int times = 1) {
    for (int i = 0; i < times; ++i) QTest::keyClick(window, k, m);
  };
  key(Qt::Key_A, Qt::ControlModifier);
  EXPECT_EQ(band(), QRectF(0, 0, 678, 485));
  key(Qt::Key_Escape);
  EXPECT_FALSE(form.selectionForTest().shp1().visible);

  key(Qt::Key_Left, Qt::ControlModifier | Qt::ShiftModifier, 20);
  key(Qt::Key_Up, Qt::ShiftModifier, 5);
  key(Qt::Key_Right, Qt::ControlModifier, 3);
  key(Qt::Key_Down, {}, 2);
  key(Qt::Key_Down, Qt::KeypadModifier, 9);  // past the view's edge: it stops there
  EXPECT_EQ(band(), QRectF(30, 5, 478, 480));
  EXPECT_EQ(view()->caption(), "478 x 480");
  EXPECT_EQ(Spoken(view()), "Selection of 478 x 480 pixels, 30 from the left and 5 from the top.");
  EXPECT_EQ(held(), doc().picLoad.canvas());

  key(Qt::Key_Enter, Qt::KeypadModifier);
  expectCroppedTo({30, 5, 478, 480});
  EXPECT_TRUE(errors.reports.empty());
}

TEST_F(CropWithMouseTest, AClickWithoutMovementLeavesAnEmptyPicture) {
  openSample();
  press({250, 200});
  release({250, 200});

  EXPECT_EQ(view()->size(), QSize(0, 0));
  EXPECT_EQ(doc().Picture1.image().naturalSize(), QSize(0, 0));
  EXPECT_TRUE(form.selectionForTest().CropDone());
  EXPECT_TRUE(command("mnuUndo")->isEnabled());
}

// Which buttons may select is SelectionTest's; this is the view's wiring of them: a press or a
// release carries the button that changed, a move every button held.
TEST_F(CropWithMouseTest, OnlyTheLeftButtonAloneSelects) {
  openSample();
  for (Qt::MouseButton other : {Qt::RightButton, Qt::MiddleButton}) {
    press({200, 150}, other);
    moveTo({300, 250});
    release({300, 250}, other);
  }
  expectWholePicture();
  EXPECT_FALSE(form.selectionForTest().shp1().visible);
  EXPECT_EQ(form.selectionForTest().StartX(), 0);
  EXPECT_FALSE(form.selectionForTest().CropDone());
  EXPECT_FALSE(command("mnuUndo")->isEnabled());

  // The right button held during a drag freezes the band.
  press({200, 150});
  moveTo({250, 190});
  press({260, 200}, Qt::RightButton);
  moveTo({320, 260});
  release({330, 270}, Qt::RightButton);
  EXPECT_EQ(band(), QRectF(200, 150, 50, 40));

  release({340, 280});
  expectCroppedTo({200, 150, 50, 40});
}

TEST_F(CropWithMouseTest, UndoWhileTheFileIsGoneKeepsTheCropUntilTheFileIsBack) {
  openSample();
  drag({200, 150}, {260, 190});
  const QImage cropped = held();
  const QString kept = folder.path("kept.jpg");
  ASSERT_TRUE(QFile::rename(sample(), kept));

  click("mnuUndo");

  EXPECT_EQ(held(), cropped);
  EXPECT_EQ(view()->size(), QSize(60, 40));
  EXPECT_TRUE(form.selectionForTest().CropDone());
  EXPECT_TRUE(command("mnuUndo")->isEnabled());
  EXPECT_TRUE(errors.reports.empty());

  ASSERT_TRUE(QFile::rename(kept, sample()));
  click("mnuUndo");
  expectWholePicture();
  EXPECT_FALSE(command("mnuUndo")->isEnabled());
}

TEST_F(CropWithMouseTest, AResizeAfterTheCropShowsTheWholePictureButKeepsSelectionBlocked) {
  openSample();
  drag({200, 150}, {260, 190});

  resizeClient(600, 400);

  EXPECT_EQ(view()->size(), QSize(585, 385));
  EXPECT_TRUE(doc().viewShowsPicture());
  EXPECT_EQ(held(), doc().picLoad.canvas());
  EXPECT_TRUE(form.selectionForTest().CropDone());
  EXPECT_TRUE(command("mnuUndo")->isEnabled());
  const QImage whole = held();
  drag({100, 100}, {200, 200});
  EXPECT_EQ(held(), whole);

  click("mnuUndo");

  EXPECT_EQ(view()->size(), QSize(585, 385));
  EXPECT_FALSE(command("mnuUndo")->isEnabled());
  EXPECT_FALSE(form.selectionForTest().CropDone());
  drag({100, 100}, {200, 200});
  expectCroppedTo({100, 100, 100, 100});
}

TEST_F(CropWithMouseTest, TheFirstMoveAfterUndoRepaintsFromTheCleanCopyOnce) {
  openSample();
  drag({200, 150}, {260, 190});
  click("mnuUndo");
  ASSERT_TRUE(form.selectionForTest().SelectionMade());
  const auto mark = [&] { doc().Picture1.drawBox(20, 20, 120, 80, qRgb(255, 0, 0)); };

  mark();
  press({300, 200});
  EXPECT_NE(held(), doc().picLoad.canvas());  // a press does not repaint
  moveTo({320, 230});
  EXPECT_EQ(held(), doc().picLoad.canvas());
  EXPECT_FALSE(form.selectionForTest().SelectionMade());

  mark();
  moveTo({340, 260});
  EXPECT_NE(held(), doc().picLoad.canvas());
  release({340, 260});
  expectCroppedTo({300, 200, 40, 60});
}

TEST_F(CropWithMouseTest, TheViewKeepsTheMouseWhenTheDragLeavesIt) {
  openSample({1600, 1200});
  windowPress({300, 200});
  const QPoint outside = view()->mapFrom(&form, QPoint(-20, -10));  // left of and above the window
  windowMove(outside);
  EXPECT_EQ(QPoint(form.selectionForTest().EndX(), form.selectionForTest().EndY()), outside);
  EXPECT_EQ(band().topLeft(), QPointF(outside));
  EXPECT_LT(band().left(), 0);

  const QPoint beyond(kViewSize.width() + 30, kViewSize.height() + 20);
  windowMove(beyond);
  windowRelease(beyond);

  const QRect selection(300, 200, beyond.x() - 300, beyond.y() - 200);
  EXPECT_EQ(QPoint(form.selectionForTest().EndX(), form.selectionForTest().EndY()), beyond);
  ASSERT_EQ(view()->size(), selection.size());
  // What lies beyond the clean copy comes out in the background colour.
  const QRect inside = QRect(QPoint(0, 0), kViewSize).intersected(selection);
  EXPECT_EQ(held().copy(inside.translated(-selection.topLeft())), clean(inside));
  EXPECT_EQ(held().copy(378, 0, 30, 305), Filled({30, 305}, kWhite));
  EXPECT_EQ(held().copy(0, 285, 408, 20), Filled({408, 20}, kWhite));
  EXPECT_TRUE(form.selectionForTest().CropDone());
}

TEST_F(CropWithMouseTest, ASelectionTooLargeForTheViewIsReportedAndUndoRecovers) {
  openSample();
  windowPress({50, 60});
  windowMove({80, 40000});
  windowRelease({80, 40000});

  EXPECT_EQ(errors.reports, std::vector<QString>{FailureReport("Invalid property value", "Form1",
                                                               "Picture1_MouseUp", 116)});
  EXPECT_TRUE(form.selectionForTest().CropDone());
  EXPECT_TRUE(command("mnuUndo")->isEnabled());
  EXPECT_EQ(view()->size(), kViewSize);
  EXPECT_EQ(shown(), Filled(kViewSize, kWhite));

  click("mnuUndo");
  expectWholePicture();
  EXPECT_EQ(errors.reports.size(), 1u);
}

TEST_F(CropWithMouseTest, ThePointerIsACrosshairOverTheViewAndResetsOverTheWindow) {
  openSample();
  EXPECT_EQ(view()->cursor().shape(), Qt::CrossCursor);
  QWidget* client = form.clientArea();
  const QPoint besideView = client->mapTo(&form, QPoint(3, 3));

  form.setMousePointer(MousePointer::Custom);
  windowMove({100, 100});  // over the view: the window's pointer is not its business
  EXPECT_EQ(form.mousePointer(), MousePointer::Custom);
  QTest::mouseMove(form.windowHandle(), besideView);
  EXPECT_EQ(form.mousePointer(), MousePointer::Default);
  EXPECT_EQ(client->cursor().shape(), Qt::ArrowCursor);

  form.setMousePointer(MousePointer::Busy);
  QTest::mouseMove(form.windowHandle(), besideView + QPoint(1, 1));
  EXPECT_EQ(form.mousePointer(), MousePointer::Busy);
  EXPECT_EQ(client->cursor().shape(), Qt::WaitCursor);
}

}  // namespace
}  // namespace brindlewick
