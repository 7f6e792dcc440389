#include <cstdlib>

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QImage>
#include <QThread>

#include "JpegVariants.h"
#include "e2e/ProgramOnScreen.h"
#include "platform/jpeg/JpegDecoder.h"
#include "support/Decoding.h"
#include "support/Fakes.h"
#include "support/JpegHeaders.h"
#include "support/TestFiles.h"
#include "view/OpenCommands.h"

namespace brindlewick::e2e {
namespace {

constexpr QRgb kWhite = qRgb(255, 255, 255);

// The options dialog's controls, where its fixed layout puts them in its window.
constexpr QPoint kFixedQuality(40, 59);
constexpr QPoint kSlider(268, 106);
constexpr QSize kOptionsSize(536, 184);

bool Near(QRgb a, QRgb b, int tolerance) {
  return std::abs(qRed(a) - qRed(b)) <= tolerance && std::abs(qGreen(a) - qGreen(b)) <= tolerance &&
         std::abs(qBlue(a) - qBlue(b)) <= tolerance;
}

// A stored setting, read from the file as it is on disk now.
QString StoredSetting(const QString& home, const char* key) {
  QFile file(home + QStringLiteral("/.config/Fenwright.ini"));
  if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) return {};
  bool inSection = false;
  for (const QByteArray& raw : file.readAll().split('\n')) {
    const QString line = QString::fromUtf8(raw).trimmed();
    if (line.startsWith(QLatin1Char('['))) inSection = line == QStringLiteral("[Brindlewick]");
    const QString prefix = QLatin1String(key) + QLatin1Char('=');
    if (inSection && line.startsWith(prefix)) return line.mid(prefix.size());
  }
  return {};
}

class DesktopSessionTest : public ProgramOnScreen {
 protected:
  QPoint inWindow(QPoint inView) const { return inView + kViewOrigin + QPoint(0, menuBarHeight); }
};

class DenseDesktopSessionTest : public DesktopSessionTest {
 protected:
  DenseDesktopSessionTest() { scaleFactor = 2; }
};

TEST_F(DesktopSessionTest, CropSaveUndoChooseAQualityOpenAPictureAndQuitWithMouseAndKeys) {
  // Started from a folder of its own, the program still finds the sample beside it.
  const QString elsewhere = scratch(QStringLiteral("elsewhere"));
  const QString saved = scratch(QStringLiteral("saved"));
  ASSERT_TRUE(QDir().mkpath(elsewhere));
  ASSERT_TRUE(QDir().mkpath(saved));
  ASSERT_TRUE(launch(QStringLiteral(BRINDLEWICK_PROGRAM), elsewhere));

  // Load the sample: it fills the view.
  ASSERT_TRUE(clickMenu(Menu::LoadSample));
  ASSERT_TRUE(waitForView(ShowsWholePicture, "showed the sample"));
  ASSERT_TRUE(noErrorBox());
  // The view takes no mouse input for half a second after a picture was opened.
  QThread::msleep(1000);

  // Escape during a drag calls it off: letting go of the button then crops nothing.
  const QPoint from(100, 80), to(311, 223);
  ASSERT_TRUE(x.drag(mainWindow, inWindow(from), inWindow(to), {QStringLiteral("Escape")}));
  QThread::msleep(300);
  ASSERT_TRUE(waitForView(ShowsWholePicture, "still showed the whole picture"));

  // Drag a rectangle: releasing the button crops the picture to it.
  ASSERT_TRUE(x.drag(mainWindow, inWindow(from), inWindow(to)));
  ASSERT_TRUE(waitForView(
      [](const QImage& view) {
        return view.pixel(400, 300) == kWhite && view.pixel(100, 70) != kWhite;
      },
      "shrank to the dragged rectangle"));

  // Save Image from the menu bar writes the crop, at the dragged size.
  const QString cropped = saved + QStringLiteral("/cropped.jpg");
  ASSERT_TRUE(clickMenu(Menu::Save));
  ASSERT_TRUE(answerFileDialog(QStringLiteral("Save Image As"), cropped));
  EXPECT_EQ(JpegSize(WaitForFileBytes(cropped)), QSize(211, 143));

  // Go Back/Undo from the menu bar shows the whole picture again; Ctrl+S saves it, fitted.
  ASSERT_TRUE(clickMenu(Menu::Undo));
  ASSERT_TRUE(waitForView(ShowsWholePicture, "showed the whole picture again"));
  const QString fitted = saved + QStringLiteral("/fitted.jpg");
  ASSERT_TRUE(x.keys(mainWindow, {QStringLiteral("ctrl+s")}));
  ASSERT_TRUE(answerFileDialog(QStringLiteral("Save Image As"), fitted));
  EXPECT_EQ(JpegSize(WaitForFileBytes(fitted)), kFittedView);

  // Output JPG Quality, reached on the menu bar from the keyboard (F10 marks Select Picture, and
  // Right passes over Go Back/Undo, switched off again), takes the main window's place; choose a
  // fixed quality of 37.
  ASSERT_TRUE(noErrorBox());
  ASSERT_TRUE(x.keys(mainWindow, {QStringLiteral("F10"), QStringLiteral("Right"),
                                  QStringLiteral("Right"), QStringLiteral("Return")}));
  WindowId options = 0;
  ASSERT_TRUE(x.waitForWindow(QStringLiteral("^Brindlewick$"), &options, 15000, mainWindow));
  ASSERT_TRUE(x.waitUntilHidden(mainWindow));
  ASSERT_EQ(x.geometry(options).size(), kOptionsSize);
  ASSERT_TRUE(x.click(options, kFixedQuality));
  ASSERT_TRUE(x.click(options, kSlider));
  QStringList keys{QStringLiteral("End")};                           // 100
  for (int i = 0; i < 12; ++i) keys << QStringLiteral("Page_Down");  // 40
  for (int i = 0; i < 3; ++i) keys << QStringLiteral("Left");        // 37
  ASSERT_TRUE(x.keys(options, keys));
  // Each choice is stored at once.
  EXPECT_TRUE(WaitFor(
      [&] {
        return StoredSetting(home(), "Slider1") == QStringLiteral("37") &&
               StoredSetting(home(), "Option22") == QStringLiteral("True");
      },
      10000, 50))
      << "stored: Slider1=" << StoredSetting(home(), "Slider1").toStdString()
      << " Option22=" << StoredSetting(home(), "Option22").toStdString();

  // Escape returns to the main window as "< Back" does, and the next save uses quality 37.
  ASSERT_TRUE(x.keys(options, {QStringLiteral("Escape")}));
  ASSERT_TRUE(x.waitUntilHidden(options));
  ASSERT_TRUE(WaitFor([&] { return x.isViewable(mainWindow); }, 15000));
  const QString fixed = saved + QStringLiteral("/quality 37.jpg");
  ASSERT_TRUE(clickMenu(Menu::Save));
  ASSERT_TRUE(answerFileDialog(QStringLiteral("Save Image As"), fixed));
  const QByteArray fixedBytes = WaitForFileBytes(fixed);
  EXPECT_EQ(JpegSize(fixedBytes), kFittedView);
  const test::JpegHeaders headers = test::ReadHeaders(fixedBytes);
  ASSERT_EQ(headers.quantTables.size(), 2u);
  EXPECT_EQ(headers.quantTables.at(0), test::ScaledTable(test::kLuminance, 37));
  EXPECT_EQ(headers.quantTables.at(1), test::ScaledTable(test::kChrominance, 37));

  // Select Picture from the menu bar opens the picture whose path is typed into its dialog.
  const QRgb green = qRgb(40, 170, 90);
  QImage flat(320, 240, QImage::Format_RGB32);
  flat.fill(green);
  const QString picked = test::WriteJpeg(scratch(QStringLiteral("pictures/flat.jpg")), flat);
  const auto greenInTheMiddle = [&](const QImage& view) {
    return Near(view.pixel(400, 300), green, 12) && view.pixel(20, 20) == kWhite;
  };
  ASSERT_TRUE(clickMenu(Menu::SelectPicture));
  ASSERT_TRUE(answerFileDialog(QStringLiteral("Select Image"), picked));
  ASSERT_TRUE(waitForView(greenInTheMiddle, "showed the picked picture in its middle"));
  ASSERT_TRUE(noErrorBox());

  // Crop it, and Ctrl+Z brings the whole picture back.
  QThread::msleep(1000);
  ASSERT_TRUE(x.drag(mainWindow, inWindow({250, 180}), inWindow({330, 240})));
  ASSERT_TRUE(waitForView(
      [&](const QImage& view) {
        return Near(view.pixel(40, 30), green, 12) && view.pixel(400, 300) == kWhite;
      },
      "shrank to the second rectangle"));
  ASSERT_TRUE(x.keys(mainWindow, {QStringLiteral("ctrl+z")}));
  ASSERT_TRUE(waitForView(greenInTheMiddle, "showed the picked picture again"));

  // Ctrl+O asks for a picture; cancelling the dialog changes nothing.
  ASSERT_TRUE(x.keys(mainWindow, {QStringLiteral("ctrl+o")}));
  WindowId openDialog = 0;
  ASSERT_TRUE(x.waitForWindow(QStringLiteral("^Select Image$"), &openDialog));
  ASSERT_TRUE(x.keys(openDialog, {QStringLiteral("Escape")}));
  ASSERT_TRUE(x.waitUntilHidden(openDialog));
  // (Once the window has painted where the dialog was.)
  EXPECT_TRUE(waitForView(greenInTheMiddle, "kept the picture"));
  ASSERT_TRUE(noErrorBox());

  // Closing the window ends the program, successfully.
  int exitCode = -1;
  ASSERT_TRUE(closeAndWaitForExit(&exitCode));
  EXPECT_EQ(exitCode, 0);
}

TEST_F(DesktopSessionTest,
       AMissingFileOnTheCommandLineIsReportedAsSelectPictureWouldAndTheProgramGoesOn) {
  const QString working = scratch(QStringLiteral("working"));
  ASSERT_TRUE(QDir().mkpath(working));
  // The reports "Select Picture" gives when its dialog returns the missing file's path.
  test::Form1Harness picked;
  picked.layOut();
  picked.dialog.answers.push_back(working + QStringLiteral("/gone.jpg"));
  mnuSelectPicture_Click(picked.open);
  ASSERT_FALSE(picked.errors.reports.empty());

  // Named relative to the working folder, it gets as many error boxes, each answered in turn.
  ASSERT_TRUE(launch(QStringLiteral(BRINDLEWICK_PROGRAM), working, {QStringLiteral("gone.jpg")}));
  size_t boxes = 0;
  WindowId box = 0;
  while (x.waitForWindow(QStringLiteral("^Application Error$"), &box, boxes == 0 ? 15000 : 3000)) {
    ++boxes;
    ASSERT_TRUE(x.keys(box, {QStringLiteral("Return")}));
    ASSERT_TRUE(x.waitUntilHidden(box));
  }
  EXPECT_EQ(boxes, picked.errors.reports.size());

  EXPECT_TRUE(opensTheSampleAndQuitsCleanly());
}

// A photo tagged with a colour profile shows, and saves, in the colours the profile gives: a red
// picture tagged with a profile that swaps red and green is green, in the window and in the file.
TEST_F(DesktopSessionTest, ATaggedPhotoShowsAndSavesInItsTrueColours) {
  QFile swapped(QStringLiteral("/usr/share/color/icc/colord/SwappedRedAndGreen.icc"));
  ASSERT_TRUE(swapped.open(QIODevice::ReadOnly));
  QImage red(kFittedView, QImage::Format_RGB32);
  red.fill(qRgb(200, 30, 30));
  const QString picture = scratch(QStringLiteral("tagged.jpg"));
  test::WriteBytes(picture, variants::WithSegmentsFirst(test::JpegBytes(red, {95}),
                                                        variants::IccSegments(swapped.readAll())));
  const auto green = [](QRgb p) { return qGreen(p) > 120 && qRed(p) < 80; };
  ASSERT_TRUE(launch(QStringLiteral(BRINDLEWICK_PROGRAM), home(), {picture}));
  ASSERT_TRUE(waitForView(
      [&](const QImage& view) { return green(view.pixel(view.width() / 2, view.height() / 2)); },
      "showed the photo in its true colours"));
  const QString saved = scratch(QStringLiteral("saved.jpg"));
  ASSERT_TRUE(x.keys(mainWindow, {QStringLiteral("ctrl+s")}));
  ASSERT_TRUE(answerFileDialog(QStringLiteral("Save Image As"), saved));
  const QImage written = test::DecodeJpeg(WaitForFileBytes(saved)).pixels();
  ASSERT_FALSE(written.isNull());
  EXPECT_TRUE(green(written.pixel(written.width() / 2, written.height() / 2)));
  int exitCode = -1;
  ASSERT_TRUE(closeAndWaitForExit(&exitCode));
  EXPECT_EQ(exitCode, 0);
}

// At twice the density the view has twice the pixels, and the saved file is what it shows.
TEST_F(DenseDesktopSessionTest, SavesThePixelsTheScreenShows) {
  ASSERT_TRUE(launch(QStringLiteral(BRINDLEWICK_PROGRAM), home()));
  // A picture of the view's size, 10395 x 7500 twips less the margin, is shown as it is.
  const QSize view = fittedView();  // 1356 x 970
  const QString picture = test::WriteJpeg(scratch(QStringLiteral("view.jpg")),
                                          test::PatternImage(view.width(), view.height()), {95});
  ASSERT_TRUE(clickMenu(Menu::SelectPicture));
  ASSERT_TRUE(answerFileDialog(QStringLiteral("Select Image"), picture));
  ASSERT_TRUE(waitForView(ShowsWholePicture, "showed the picture"));
  const QString saved = scratch(QStringLiteral("saved.jpg"));
  ASSERT_TRUE(x.keys(mainWindow, {QStringLiteral("ctrl+s")}));
  ASSERT_TRUE(answerFileDialog(QStringLiteral("Save Image As"), saved));
  ASSERT_TRUE(waitForView(ShowsWholePicture, "showed the picture again"));
  const QImage written = test::DecodeJpeg(WaitForFileBytes(saved)).pixels();
  EXPECT_EQ(written.size(), view);
  EXPECT_GE(test::Psnr(written, viewImage()), 30);  // shifted by a pixel or magnified: 17
}

}  // namespace
}  // namespace brindlewick::e2e
