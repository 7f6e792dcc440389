#include "app/Form1.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QIcon>
#include <QMenuBar>
#include <QSignalSpy>
#include <QTest>

#include "platform/errors/Trap.h"
#include "platform/surface/PictureBox.h"
#include "settings/Application.h"
#include "support/Fakes.h"
#include "support/Form1Fixture.h"
#include "support/TestFiles.h"
#include "view/OpenCommands.h"

namespace brindlewick {
namespace {

using Form1Test = test::Form1Fixture;

TEST_F(Form1Test, StartsWithCaptionIconTitleAndTheFiveCommands) {
  EXPECT_EQ(form.windowTitle(), "Brindlewick");
  EXPECT_EQ(app.Title, "Brindlewick");
  const QList<QSize> sizes = form.windowIcon().availableSizes();
  for (int side : {32, 48, 128, 256}) EXPECT_TRUE(sizes.contains(QSize(side, side))) << side;

  const QList<QAction*> bar = form.menuBar()->actions();
  ASSERT_EQ(bar.size(), 5);
  const std::vector<std::tuple<QString, QString, bool>> expected{
      {"mnuSelectPicture", "Select Picture", true},
      {"mnuUndo", "Go Back/Undo", false},
      {"mnuSave", "Save Image", false},
      {"mnuJPGQuality", "Output JPG Quality", true},
      {"LoadSample", "Load Sample", true}};
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(bar[i]->objectName(), std::get<0>(expected[size_t(i)]));
    EXPECT_EQ(bar[i]->text(), std::get<1>(expected[size_t(i)]));
    EXPECT_EQ(bar[i]->isEnabled(), std::get<2>(expected[size_t(i)]));
    EXPECT_EQ(bar[i]->menu(), nullptr);  // commands stand on the bar itself
  }
  EXPECT_TRUE(errors.reports.empty());
}

TEST_F(Form1Test, ShowsAWhiteClientOf693By500WithTheViewLaidOut) {
  showForm();
  EXPECT_EQ(form.clientArea()->size(), QSize(693, 500));
  EXPECT_EQ(form.clientArea()->palette().color(QPalette::Window), QColor(Qt::white));
  EXPECT_EQ(form.ScaleWidth(), 693);
  EXPECT_EQ(view()->pos(), QPoint(8, 8));
  EXPECT_EQ(view()->size(), QSize(678, 485));
  EXPECT_FALSE(form.document().viewShowsPicture());
}

TEST_F(Form1Test, LoadSampleShowsTheSampleFittedInTheView) {
  test::WriteJpeg(folder.path("Samples/sample1.jpg"), test::SmoothImage(1600, 1200));
  showForm();

  click("LoadSample");

  EXPECT_TRUE(errors.reports.empty());
  EXPECT_TRUE(form.document().viewShowsPicture());
  EXPECT_TRUE(command("mnuSave")->isEnabled());
  EXPECT_FALSE(command("mnuUndo")->isEnabled());
  // 1600 x 1200 in 678 x 485: the longer side rules, 678 x 508.5, cut at top and bottom.
  const QImage shown = view()->grab().toImage().convertToFormat(QImage::Format_RGB32);
  ASSERT_EQ(shown.size(), QSize(678, 485));
  for (QPoint corner : {QPoint(0, 0), QPoint(677, 0), QPoint(0, 484), QPoint(677, 484)}) {
    EXPECT_NE(shown.pixel(corner), qRgb(255, 255, 255));
  }
  EXPECT_EQ(shown, form.document().Picture1.canvas());
}

TEST_F(Form1Test, SelectPictureOpensTheChosenFile) {
  const QString path = test::WriteJpeg(folder.path("pick.jpg"), test::SmoothImage(200, 100));
  dialog.answers = {path};
  showForm();

  click("mnuSelectPicture");

  EXPECT_EQ(form.document().Tag, path);
  EXPECT_TRUE(form.selectionForTest().IgnoreMouse());
  EXPECT_TRUE(command("mnuSave")->isEnabled());
  // The real timer takes the mouse again after half a second.
  EXPECT_TRUE(QTest::qWaitFor([&] { return !form.selectionForTest().IgnoreMouse(); }, 2000));
}

TEST_F(Form1Test, AFailureShowsTheReportInTheErrorBox) {
  showForm();
  command("LoadSample")->trigger();  // there is no sample in this folder
  const QString sample = folder.path("Samples/sample1.jpg");
  ASSERT_FALSE(errors.reports.empty());
  EXPECT_EQ(errors.reports[0],
            FailureReport("File not found: " + sample, "Form1", "DisplayPicture", 104));
  EXPECT_TRUE(command("mnuSave")->isEnabled());
}

TEST_F(Form1Test, ResizingLaysTheViewOutAndShowsThePictureAgain) {
  test::WriteJpeg(folder.path("Samples/sample1.jpg"), test::SmoothImage(800, 600));
  showForm();
  command("LoadSample")->trigger();

  resizeClient(415, 315);

  EXPECT_EQ(form.clientArea()->size(), QSize(415, 315));
  EXPECT_EQ(view()->size(), QSize(400, 300));
  // 800 x 600 now fits the 400 x 300 view exactly.
  EXPECT_NE(form.document().Picture1.canvas().pixel(0, 0), qRgb(255, 255, 255));
  EXPECT_EQ(form.document().picLoad.canvas(), form.document().Picture1.canvas());
}

TEST_F(Form1Test, ResizingShowsWhatTheFileHoldsNowEvenWithItsSizeAndTimePutBack) {
  const QString path =
      test::WriteJpeg(folder.path("Samples/sample1.jpg"), test::SmoothImage(800, 600));
  showForm();
  command("LoadSample")->trigger();

  // Other bytes in the same file with its size and time put back, as tools that edit in place
  // do: the re-layout shows what the file holds now, never the pixels it held before.
  struct stat before {};
  ASSERT_EQ(::stat(QFile::encodeName(path).constData(), &before), 0);
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::ReadWrite));
  file.write(QByteArray(16, 'x'));
  file.close();
  const timespec times[2] = {before.st_atim, before.st_mtim};
  ASSERT_EQ(::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0), 0);

  resizeClient(701, 500);

  ASSERT_FALSE(errors.reports.empty());
  EXPECT_EQ(errors.reports[0], FailureReport("Invalid picture: reading the JPEG header: Not a JPEG "
                                             "file: starts with 0x78 0x78",
                                             "Form1", "DisplayPicture", 104));
}

TEST(Form1Colours, TheViewsMarginIsTheDesktopsWindowBackground) {
  test::TempFolder folder;
  test::WriteJpeg(folder.path("Samples/sample1.jpg"), test::SmoothImage(100, 50));
  const QPalette original = QApplication::palette();
  QPalette dark = original;
  dark.setColor(QPalette::Base, QColor(30, 32, 36));
  QApplication::setPalette(dark);
  {
    Application app{folder.path(), {}};
    test::WindowServices services;
    Form1 form(app, services.forWindows());
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    OpenContext opening = form.opening();
    LoadSample_Click(opening);
    EXPECT_EQ(form.document().Picture1.canvas().pixel(2, 2), qRgb(30, 32, 36));
    EXPECT_EQ(form.document().picLoad.canvas().pixel(2, 2), qRgb(30, 32, 36));
  }
  QApplication::setPalette(original);
}

TEST_F(Form1Test, RestoringFromMinimisedLaysOutAgain) {
  showForm();
  form.showMinimized();
  QCoreApplication::processEvents();
  form.document().Picture1.setSize(10, 10);
  form.showNormal();
  QCoreApplication::processEvents();
  EXPECT_EQ(view()->size(), QSize(678, 485));
}

TEST_F(Form1Test, ClosingTheWindowEndsTheProgram) {
  showForm();
  QSignalSpy unloaded(&form, &Form1::unloaded);
  form.close();
  EXPECT_EQ(unloaded.count(), 1);
}

}  // namespace
}  // namespace brindlewick
