// The main window on screens of any density: CTest runs this suite again at QT_SCALE_FACTOR 1.5
// and 2, and each expectation follows from the window's own ratio.
#include <gtest/gtest.h>

#include <map>

#include <QAction>
#include <QFile>
#include <QMenuBar>
#include <QMouseEvent>
#include <QRadioButton>
#include <QScreen>
#include <QStyleOptionButton>
#include <QTest>
#include <QWindow>

#include "HandCursor.h"
#include "app/Form1.h"
#include "app/Form2.h"
#include "platform/jpeg/JpegDecoder.h"
#include "platform/surface/PictureBox.h"
#include "settings/Application.h"
#include "support/Fakes.h"
#include "support/TestFiles.h"

namespace brindlewick {
namespace {

class HighDensity : public ::testing::Test {
 protected:
  HighDensity() : app{folder.path(), {}}, form(app, {&errors, &dialog, nullptr}) {}

  double ratio() const { return form.devicePixelRatioF(); }
  void open(const QImage& sample) {
    test::WriteJpeg(folder.path("Samples/sample1.jpg"), sample);
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    click("LoadSample");
    ASSERT_TRUE(QTest::qWaitFor([&] { return !form.document().IgnoreMouse; }, 3000));
  }
  void click(const char* name) {
    QMenuBar* bar = form.menuBar();
    QTest::mouseClick(bar, Qt::LeftButton, {},
                      bar->actionGeometry(form.findChild<QAction*>(name)).center());
  }
  // The toolkit reports the mouse in logical pixels, between two device pixels at ratio 2.
  void mouse(QEvent::Type type, QPoint device, Qt::MouseButtons held) {
    const QPointF at = QPointF(device) / ratio();
    QMouseEvent event(type, at, view()->mapToGlobal(at), Qt::LeftButton, held, {});
    QApplication::sendEvent(view(), &event);
  }
  PictureBox* view() const { return form.findChild<PictureBox*>("Picture1"); }
  const QImage& held() { return form.document().Picture1.canvas(); }
  QImage shown() {
    return view()
        ->grab()
        .toImage()
        .convertToFormat(QImage::Format_RGB32)
        .copy(QRect(QPoint(0, 0), held().size()));
  }

  test::TempFolder folder;
  Application app;
  test::RecordingErrorBox errors;
  test::ScriptedFileDialog dialog;
  Form1 form;
};

TEST_F(HighDensity, TheViewShowsAPictureOfItsDeviceSizeOneForOneAndSavesIt) {
  // 10395 x 7500 twips less the margin: 1371 x 985 at ratio 2.
  const QSize size(qRound(693 * ratio()) - 15, qRound(500 * ratio()) - 15);
  open(test::SmoothImage(size.width(), size.height()));
  QFile sample(folder.path("Samples/sample1.jpg"));
  ASSERT_TRUE(sample.open(QIODevice::ReadOnly));

  EXPECT_EQ(view()->pos(), QPoint(8, 8));
  EXPECT_EQ(held(), DecodeJpeg(sample.readAll()).pixels().convertToFormat(QImage::Format_RGB32));
  EXPECT_EQ(shown(), held());
  dialog.answers = {folder.path("saved.jpg")};
  click("mnuSave");
  QFile saved(folder.path("saved.jpg"));
  ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
  const QImage written = DecodeJpeg(saved.readAll()).pixels();
  EXPECT_EQ(written.size(), size);
  EXPECT_GE(test::Psnr(written, held()), 35);
  EXPECT_TRUE(errors.reports.empty());
}

TEST_F(HighDensity, ADragBetweenDevicePixelsCropsExactlyThose) {
  open(test::PatternImage(1600, 1200));
  const QRect selection(201, 151, 132, 95);
  mouse(QEvent::MouseButtonPress, selection.topLeft(), Qt::LeftButton);
  mouse(QEvent::MouseMove, selection.center(), Qt::LeftButton);
  mouse(QEvent::MouseMove, selection.bottomRight() + QPoint(1, 1), Qt::LeftButton);
  mouse(QEvent::MouseButtonRelease, selection.bottomRight() + QPoint(1, 1), {});

  EXPECT_EQ(held(), form.document().picLoad.canvas().copy(selection));
  EXPECT_EQ(shown(), held());
  EXPECT_TRUE(errors.reports.empty());
}

TEST_F(HighDensity, AMoveToAScreenOfAnotherRatioLaysTheViewOutAgain) {
  if (QGuiApplication::screens().size() < 2) GTEST_SKIP() << "CTest runs it with two screens";
  open(test::PatternImage(1600, 1200));
  const double before = ratio();
  for (QScreen* screen : QGuiApplication::screens()) {
    if (screen->devicePixelRatio() != before) form.windowHandle()->setScreen(screen);
  }
  QCoreApplication::processEvents();
  ASSERT_NE(ratio(), before);
  EXPECT_EQ(form.document().Picture1.width(), qRound(693 * ratio()) - 15);
  EXPECT_EQ(shown(), held());
}

TEST_F(HighDensity, TheOptionsShowWholeCaptionsAndAHandOfItsPhysicalSize) {
  test::WriteBytes(folder.path("HAND-M.CUR"), HandCursorFileBytes());
  Form2 options(form, form.document(), app, {&errors, nullptr, nullptr});
  for (auto* option : options.findChildren<QRadioButton*>()) {
    QStyleOptionButton style;
    style.initFrom(option);
    style.text = option->text();
    EXPECT_GE(
        option->style()->subElementRect(QStyle::SE_RadioButtonContents, &style, option).width(),
        option->fontMetrics().horizontalAdvance(option->text()))
        << option->text().toStdString();
  }
  const QPixmap hand = options.handCursor().pixmap();
  EXPECT_EQ(hand.size(), QSize(qRound(32 * ratio()), qRound(32 * ratio())));
  EXPECT_EQ(options.handCursor().hotSpot(),
            (std::map<double, QPoint>{{1, {10, 1}}, {1.5, {15, 1}}, {2, {20, 2}}}.at(ratio())));
  if (ratio() == 1 || ratio() == 2) {  // the file's own drawing, not a blurred magnification
    EXPECT_EQ(hand.toImage().convertToFormat(QImage::Format_ARGB32),
              RenderHandCursor(hand.width()).convertToFormat(QImage::Format_ARGB32));
  }
}

}  // namespace
}  // namespace brindlewick
