#include "crop/Selection.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <tuple>
#include <vector>

#include "platform/errors/Trap.h"
#include "support/Fakes.h"
#include "support/TestFiles.h"
#include "view/DisplayPicture.h"

namespace brindlewick {
namespace {

// Everything a mouse event on the view could change.
struct Trace {
  int32_t StartX, StartY, EndX, EndY;
  bool SelectionMade, CropDone, undoEnabled;
  Shape shp1;
  QImage shown;

  auto fields() const {
    return std::tie(StartX, StartY, EndX, EndY, SelectionMade, CropDone, undoEnabled, shp1.shape,
                    shp1.visible, shp1.left, shp1.top, shp1.width, shp1.height, shown);
  }
  bool operator==(const Trace& o) const { return fields() == o.fields(); }
  friend void PrintTo(const Trace& t, std::ostream* os) {
    *os << "start " << t.StartX << "," << t.StartY << " end " << t.EndX << "," << t.EndY << " made "
        << t.SelectionMade << " crop " << t.CropDone << " undo " << t.undoEnabled << " band "
        << t.shp1.visible << " " << t.shp1.left << "," << t.shp1.top << " " << t.shp1.width << "x"
        << t.shp1.height << " view " << t.shown.width() << "x" << t.shown.height();
  }
};

// Table rows print and name themselves by their name, so test names stay short and stable.
template <class Row>
std::string RowName(const ::testing::TestParamInfo<Row>& info) {
  return info.param.name;
}

class SelectionTest : public ::testing::Test {
 protected:
  SelectionTest() { h.layOut(693, 500); }  // a 678 x 485 view

  void showPicture(QSize size = {400, 300}) {
    h.doc.Tag =
        test::WriteJpeg(folder.path("p.jpg"), test::PatternImage(size.width(), size.height()));
    DisplayPicture(h.display, h.doc.Tag, h.doc.Picture1);
    ASSERT_TRUE(h.errors.reports.empty());
  }
  void down(float x, float y, int button = 1) { h.selection.Picture1_MouseDown(button, 0, x, y); }
  void move(float x, float y, int button = 1) { h.selection.Picture1_MouseMove(button, 0, x, y); }
  void up(float x, float y, int button = 1) { h.selection.Picture1_MouseUp(button, 0, x, y); }
  Trace trace() const {
    const Selection& d = h.selection;
    return {d.StartX(),
            d.StartY(),
            d.EndX(),
            d.EndY(),
            d.SelectionMade(),
            d.CropDone(),
            h.window.isMenuEnabled(MenuCommand::Undo),
            d.shp1(),
            h.doc.Picture1.canvas()};
  }

  test::TempFolder folder;
  test::Form1Harness h;
};

struct BlockedCase {
  const char* name;
  int button;
  bool ignoreMouse;
  bool cropDone;
  bool pictureShown;
  friend void PrintTo(const BlockedCase& c, std::ostream* os) { *os << c.name; }
};

class BlockedSelectionTest : public SelectionTest,
                             public ::testing::WithParamInterface<BlockedCase> {};

TEST_P(BlockedSelectionTest, PressMoveAndReleaseChangeNothing) {
  const BlockedCase& c = GetParam();
  if (c.pictureShown) showPicture();
  // What an earlier drag left behind must survive untouched.
  h.selection.stateForTest() = {.StartX = 3,
                                .StartY = 4,
                                .EndX = 30,
                                .EndY = 40,
                                .shp1 = Shape{0, false, 3, 4, 27, 36},
                                .SelectionMade = true,
                                .IgnoreMouse = c.ignoreMouse,
                                .CropDone = c.cropDone};
  const Trace before = trace();

  down(100, 80, c.button);
  move(150, 120, c.button);
  up(150, 120, c.button);

  EXPECT_EQ(trace(), before);
  EXPECT_TRUE(h.errors.reports.empty());
}

INSTANTIATE_TEST_SUITE_P(Cases, BlockedSelectionTest,
                         ::testing::Values(BlockedCase{"RightButton", 2, false, false, true},
                                           BlockedCase{"MiddleButton", 4, false, false, true},
                                           BlockedCase{"LeftWithRight", 3, false, false, true},
                                           BlockedCase{"LeftWithMiddle", 5, false, false, true},
                                           BlockedCase{"NoButton", 0, false, false, true},
                                           BlockedCase{"WhileThePictureIsOpening", 1, true, false,
                                                       true},
                                           BlockedCase{"AfterTheCrop", 1, false, true, true},
                                           BlockedCase{"BeforeAnyPicture", 1, false, false, false}),
                         RowName<BlockedCase>);

// The same value goes to both axes, so each row checks x and y alike.
struct DragCase {
  const char* name;
  float press, to;
  int32_t start, end;
  float edge, extent;
  friend void PrintTo(const DragCase& c, std::ostream* os) { *os << c.name; }
};

class BandGeometryTest : public SelectionTest, public ::testing::WithParamInterface<DragCase> {};

TEST_P(BandGeometryTest, RoundsTheEndsHalfToEvenAndPlacesTheBandFromThePointer) {
  const DragCase& c = GetParam();
  showPicture();

  down(c.press, c.press);
  EXPECT_EQ(h.selection.StartX(), c.start);
  EXPECT_EQ(h.selection.StartY(), c.start);
  EXPECT_EQ(h.selection.EndX(), c.start);
  EXPECT_TRUE(h.selection.shp1().visible);
  EXPECT_FLOAT_EQ(h.selection.shp1().left,
                  c.press);  // the press puts the band at the pointer itself
  EXPECT_FLOAT_EQ(h.selection.shp1().width, 0);

  move(c.to, c.to);
  EXPECT_EQ(h.selection.StartX(), c.start);
  EXPECT_EQ(h.selection.EndX(), c.end);
  EXPECT_EQ(h.selection.EndY(), c.end);
  EXPECT_FLOAT_EQ(h.selection.shp1().left, c.edge);
  EXPECT_FLOAT_EQ(h.selection.shp1().top, c.edge);
  EXPECT_FLOAT_EQ(h.selection.shp1().width, c.extent);
  EXPECT_FLOAT_EQ(h.selection.shp1().height, c.extent);
  EXPECT_TRUE(h.errors.reports.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, BandGeometryTest,
    ::testing::Values(DragCase{"TiesGoToEven", 2.5f, 7.5f, 2, 8, 2, 5.5f},
                      DragCase{"BackwardsFromThePointer", 3.5f, 0.5f, 4, 0, 0.5f, 3.5f},
                      DragCase{"PastTheRoundedStart", 10.4f, 10.4f, 10, 10, 10, 10.4f - 10},
                      DragCase{"OnTheStart", 10, 10, 10, 10, 10, 0},
                      DragCase{"OutsideTheView", -2.5f, -10.25f, -2, -10, -10.25f, 8.25f},
                      DragCase{"BeyondTheView", 700.5f, 900.5f, 700, 900, 700, 200.5f}),
    RowName<DragCase>);

TEST_F(SelectionTest, ACoordinateTooLargeForAWholeNumberIsReportedAndTheDragGoesOn) {
  showPicture();
  down(3e9f, 40);
  EXPECT_EQ(h.errors.reports,
            (std::vector<QString>{FailureReport("Overflow", "Form1", "Picture1_MouseDown", 108),
                                  FailureReport("Overflow", "Form1", "Picture1_MouseDown", 112)}));
  EXPECT_EQ(h.selection.StartY(), 40);
  EXPECT_TRUE(h.selection.shp1().visible);
  EXPECT_FLOAT_EQ(h.selection.shp1().left, 3e9f);
}

TEST_F(SelectionTest, APressLeavesACompletedSelectionMarkedUntilTheFirstMove) {
  showPicture();
  h.selection.stateForTest().SelectionMade = true;
  h.doc.Picture1.drawBox(5, 5, 60, 60, qRgb(255, 0, 0));  // a mark the repaint must wipe
  down(100, 80);
  EXPECT_TRUE(h.selection.SelectionMade());
  EXPECT_NE(h.doc.Picture1.canvas(), h.doc.picLoad.canvas());
  move(120, 90);
  EXPECT_FALSE(h.selection.SelectionMade());
  EXPECT_EQ(h.doc.Picture1.canvas(), h.doc.picLoad.canvas());
}

TEST_F(SelectionTest, AReleaseWithoutAPressCropsToTheBandTheLastDragLeft) {
  showPicture();
  h.selection.stateForTest().shp1 = Shape{0, false, 150, 100, 40, 30};
  up(0, 0);
  EXPECT_TRUE(h.selection.CropDone());
  EXPECT_EQ(h.doc.Picture1.canvas(), h.doc.picLoad.canvas().copy(150, 100, 40, 30));
}

TEST_F(SelectionTest, EscapeCallsOffADragItsReleaseCropsNothingAndTheNextDragCrops) {
  showPicture();
  EXPECT_FALSE(h.selection.CancelDrag());  // no drag to call off
  down(150, 100);
  move(190, 130);
  Trace calledOff = trace();
  calledOff.shp1.visible = false;
  ASSERT_TRUE(h.selection.CancelDrag());
  EXPECT_EQ(trace(), calledOff);
  // The rest of that drag changes nothing, its release included.
  move(250, 200);
  up(250, 200);
  EXPECT_EQ(trace(), calledOff);
  EXPECT_FALSE(h.selection.CancelDrag());

  down(150, 100);
  move(190, 130);
  up(190, 130);
  EXPECT_TRUE(h.selection.CropDone());
  EXPECT_EQ(h.doc.Picture1.canvas(), h.doc.picLoad.canvas().copy(150, 100, 40, 30));
}

struct FailedCropCase {
  const char* name;
  float toX, toY;
  QSize viewAfter;  // the steps before the failing one stay done
  friend void PrintTo(const FailedCropCase& c, std::ostream* os) { *os << c.name; }
};

class FailedCropTest : public SelectionTest,
                       public ::testing::WithParamInterface<FailedCropCase> {};

TEST_P(FailedCropTest, IsReportedAtTheCropAndStillEndsTheSelection) {
  showPicture();
  down(100, 100);
  move(GetParam().toX, GetParam().toY);
  up(GetParam().toX, GetParam().toY);

  EXPECT_EQ(h.errors.reports, std::vector<QString>{FailureReport("Invalid property value", "Form1",
                                                                 "Picture1_MouseUp", 116)});
  EXPECT_TRUE(h.selection.CropDone());
  EXPECT_TRUE(h.selection.SelectionMade());
  EXPECT_TRUE(h.window.isMenuEnabled(MenuCommand::Undo));
  EXPECT_FALSE(h.doc.viewShowsPicture());
  EXPECT_EQ(QSize(h.doc.Picture1.width(), h.doc.Picture1.height()), GetParam().viewAfter);
  QImage blank(GetParam().viewAfter, QImage::Format_RGB32);
  blank.fill(h.doc.Picture1.backColor());
  EXPECT_EQ(h.doc.Picture1.canvas(), blank);
}

// The height is set before the width: a width too wide fails after the height was applied.
INSTANTIATE_TEST_SUITE_P(Cases, FailedCropTest,
                         ::testing::Values(FailedCropCase{"TooTall", 150, 40100, {678, 485}},
                                           FailedCropCase{"TooWide", 40200, 150, {678, 50}}),
                         RowName<FailedCropCase>);

// A key's step on the selection, repeated `times`.
struct KeyStep {
  enum { All, Move, Resize } what;
  int dx = 0, dy = 0, times = 1;
};

void PressKeys(Selection& selection, const std::vector<KeyStep>& steps) {
  for (const KeyStep& step : steps) {
    for (int i = 0; i < step.times; ++i) {
      if (step.what == KeyStep::All) selection.SelectWholeView();
      if (step.what == KeyStep::Move) selection.MoveSelection(step.dx, step.dy);
      if (step.what == KeyStep::Resize) selection.ResizeSelection(step.dx, step.dy);
    }
  }
}

struct KeysCase {
  const char* name;
  std::vector<KeyStep> steps;
  QRect band;  // in the 678 x 485 view
  friend void PrintTo(const KeysCase& c, std::ostream* os) { *os << c.name; }
};

class KeyboardBandTest : public SelectionTest, public ::testing::WithParamInterface<KeysCase> {};

TEST_P(KeyboardBandTest, StaysInsideTheViewAtLeastAPixelEachWayAndIsDrawnOverIt) {
  showPicture();
  PressKeys(h.selection, GetParam().steps);
  const Shape& band = h.selection.shp1();
  EXPECT_TRUE(band.visible);
  EXPECT_EQ(QRectF(band.left, band.top, band.width, band.height), QRectF(GetParam().band));
  EXPECT_EQ(h.doc.Picture1.canvas(), h.doc.picLoad.canvas());
}

using S = KeyStep;
INSTANTIATE_TEST_SUITE_P(
    Cases, KeyboardBandTest,
    ::testing::Values(
        KeysCase{"AnArrowStartsFromTheWholeView", {{S::Move, 1, 0}}, {0, 0, 678, 485}},
        KeysCase{"ShiftArrowsMoveTheRightAndBottomEdges",
                 {{S::Resize, -10, 0}, {S::Resize, 0, -1, 3}, {S::Move, 1, 0, 3}},
                 {3, 0, 668, 482}},
        KeysCase{"MovesStopAtTheViewsEdges",
                 {{S::Resize, -10, -10, 50}, {S::Move, 10, 0, 60}, {S::Move, 0, -1, 5}},
                 {500, 0, 178, 1}},
        KeysCase{"GrowingStopsAtTheViewsEdges",
                 {{S::Resize, -10, -10, 10}, {S::Move, 1, 1, 7}, {S::Resize, 10, 10, 20}},
                 {7, 7, 671, 478}},
        KeysCase{"SelectAllStartsOver", {{S::Resize, -10, -10, 3}, {S::All}}, {0, 0, 678, 485}}),
    RowName<KeysCase>);

// The same corners, flags, Go Back/Undo and pixels as a release over the same band.
TEST_F(SelectionTest, ReturnCropsExactlyAsADragOverTheSameBand) {
  showPicture();
  test::Form1Harness mouse;
  mouse.layOut(693, 500);
  DisplayPicture(mouse.display, h.doc.Tag, mouse.doc.Picture1);
  PressKeys(h.selection, {{S::Resize, -10, -10, 40}, {S::Resize, 1, 0, 3}, {S::Move, 10, 10, 12}});
  mouse.selection.Picture1_MouseDown(1, 0, 120, 120);
  mouse.selection.Picture1_MouseMove(1, 0, 401, 205);

  h.selection.CropToKeyboardSelection();
  mouse.selection.Picture1_MouseUp(1, 0, 401, 205);

  const Selection& m = mouse.selection;
  EXPECT_EQ(trace(), (Trace{m.StartX(), m.StartY(), m.EndX(), m.EndY(), m.SelectionMade(),
                            m.CropDone(), mouse.window.isMenuEnabled(MenuCommand::Undo), m.shp1(),
                            mouse.doc.Picture1.canvas()}));
  EXPECT_EQ(h.doc.Picture1.canvas(), h.doc.picLoad.canvas().copy(120, 120, 281, 85));
  EXPECT_TRUE(h.errors.reports.empty());
}

// The keys select exactly when the mouse could, and never during a drag.
TEST_F(SelectionTest, TheKeysChangeNothingWhileTheMouseCouldNotSelectOrDrags) {
  for (const auto& [ignoreMouse, cropDone, dragging] :
       {std::tuple{true, false, false}, {false, true, false}, {false, false, true}}) {
    showPicture();
    h.selection.stateForTest() = {.shp1 = Shape{0, dragging, 3, 4, 27, 36},
                                  .IgnoreMouse = ignoreMouse,
                                  .CropDone = cropDone,
                                  .Dragging = dragging,
                                  .KeyboardSelecting = !dragging};
    const Trace before = trace();
    PressKeys(h.selection, {{S::All}, {S::Move, 1, 1}, {S::Resize, -1, -1}});
    h.selection.CropToKeyboardSelection();
    EXPECT_EQ(trace(), before) << ignoreMouse << cropDone << dragging;
  }
  EXPECT_TRUE(h.errors.reports.empty());
}

TEST_F(SelectionTest, OpeningCallsOffTheKeysBandAndAPressTakesItOverAsAnOrdinaryDrag) {
  showPicture();
  PressKeys(h.selection, {{S::Resize, -100, -100}});
  h.selection.setIgnoreMouse(true);
  h.selection.setIgnoreMouse(false);
  EXPECT_FALSE(h.selection.shp1().visible);
  EXPECT_FALSE(h.selection.CancelKeyboardSelection());

  PressKeys(h.selection, {{S::Resize, -100, -100}});
  down(100, 80);
  PressKeys(h.selection, {{S::Move, 10, 10}});  // the band is the drag's now
  move(150, 120);
  h.selection.CropToKeyboardSelection();
  EXPECT_FALSE(h.selection.CropDone());
  up(150, 120);
  EXPECT_EQ(h.doc.Picture1.canvas(), h.doc.picLoad.canvas().copy(100, 80, 50, 40));
}

TEST_F(SelectionTest, AFailedKeyboardCropIsReportedAsTheKeysAndStillEndsTheSelection) {
  showPicture();
  h.selection.SelectWholeView();
  h.selection.stateForTest().shp1.height = 40100;  // as no key could make it
  h.selection.CropToKeyboardSelection();
  EXPECT_EQ(h.errors.reports, std::vector<QString>{FailureReport("Invalid property value", "Form1",
                                                                 "Picture1_KeyDown", 116)});
  EXPECT_TRUE(h.selection.CropDone());
}

struct PointerCase {
  const char* name;
  MousePointer before, after;
  friend void PrintTo(const PointerCase& c, std::ostream* os) { *os << c.name; }
};

class FormPointerTest : public ::testing::TestWithParam<PointerCase> {};

TEST_P(FormPointerTest, AMoveOverTheWindowResetsThePointerUnlessBusy) {
  test::Form1Harness h;
  h.window.pointer = GetParam().before;
  Form_MouseMove(h.window, 0, 0, 3, 4);
  EXPECT_EQ(h.window.pointer, GetParam().after);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FormPointerTest,
    ::testing::Values(PointerCase{"Default", MousePointer::Default, MousePointer::Default},
                      PointerCase{"Crosshair", MousePointer::Crosshair, MousePointer::Default},
                      PointerCase{"Custom", MousePointer::Custom, MousePointer::Default},
                      PointerCase{"Busy", MousePointer::Busy, MousePointer::Busy}),
    RowName<PointerCase>);

}  // namespace
}  // namespace brindlewick
