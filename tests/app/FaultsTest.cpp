// What the whole window does when the files under it go wrong: the picture's file changing
// behind its back, and names that a careless program would mangle.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QAction>
#include <QDir>
#include <QFile>
#include <QTest>

#include "app/Form1.h"
#include "crop/Selection.h"
#include "crop/UndoCommand.h"
#include "output/SaveCommand.h"
#include "platform/errors/Trap.h"
#include "platform/jpeg/JpegDecoder.h"
#include "settings/Application.h"
#include "support/Decoding.h"
#include "support/Fakes.h"
#include "support/Form1Fixture.h"
#include "support/TestFiles.h"
#include "view/OpenCommands.h"

namespace brindlewick {
namespace {

constexpr QRgb kWhite = qRgb(255, 255, 255);

class FaultsTest : public test::Form1Fixture {
 protected:
  FaultsTest() : Form1Fixture("app") {
    form.show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(&form));
  }

  bool undoEnabled() { return form.findChild<QAction*>(QStringLiteral("mnuUndo"))->isEnabled(); }

  QString picture(const QString& name, QSize size = {300, 200}) {
    return test::WriteJpeg(folder.path(name), test::SmoothImage(size.width(), size.height()));
  }
  void open(const QString& path) {
    dialog.answers = {path};
    OpenContext opening = form.opening();
    mnuSelectPicture_Click(opening);
    // The quiet time is not what these tests are about.
    form.selectionForTest().setIgnoreMouse(false);
  }
  void crop(QPointF from, QPointF to) {
    Selection& selection = form.selectionForTest();
    selection.Picture1_MouseDown(1, 0, float(from.x()), float(from.y()));
    selection.Picture1_MouseMove(1, 0, float(to.x()), float(to.y()));
    selection.Picture1_MouseUp(1, 0, float(to.x()), float(to.y()));
  }
  void undo() {
    DisplayContext display = form.display();
    mnuUndo_Click(display, form.selectionForTest());
  }
  void save() {
    SaveContext saving = form.saving();
    mnuSave_Click(saving);
  }
  void relayout() {
    static int step = 0;
    form.resize(form.width() + (++step % 2 ? 7 : -7), form.height());
    QCoreApplication::processEvents();
  }
  // Loading the sample afterwards shows the window is still fully usable.
  void expectStillUsable() {
    errors.reports.clear();
    test::WriteJpeg(app.file("Samples/sample1.jpg"), test::SmoothImage(200, 100));
    OpenContext opening = form.opening();
    LoadSample_Click(opening);
    EXPECT_TRUE(errors.reports.empty());
    EXPECT_EQ(doc().picDraw.picture().naturalSize(), QSize(200, 100));
  }
};

TEST_F(FaultsTest, GarbageInPlaceOfThePictureIsReportedWhenItIsShownAgain) {
  const QString path = picture("p.jpg");
  open(path);
  test::WriteBytes(path, "this is not a picture");

  relayout();

  ASSERT_EQ(errors.reports.size(), 1u);
  EXPECT_EQ(errors.reports[0],
            FailureReport("Invalid picture: reading the JPEG header: Not a JPEG file: starts with "
                          "0x74 0x68",
                          "Form1", "DisplayPicture", 104));
  EXPECT_EQ(doc().Picture1.canvas().pixel(150, 150), kWhite);
  expectStillUsable();
}

TEST_F(FaultsTest, AnEmptiedFileIsReportedAndTheEstimateToo) {
  const QString path = picture("p.jpg");
  open(path);
  crop({10, 10}, {60, 40});
  test::WriteBytes(path, {});

  undo();

  ASSERT_EQ(errors.reports.size(), 2u);
  EXPECT_EQ(errors.reports[0],
            FailureReport("Invalid picture: the file is empty", "Form1", "DisplayPicture", 104));
  EXPECT_EQ(errors.reports[1], FailureReport("Division by zero", "Form1", "DisplayPicture", 106));
  EXPECT_FALSE(undoEnabled());
  expectStillUsable();
}

TEST_F(FaultsTest, AnotherPictureInThePlaceOfTheFileIsShownNotTheOldOne) {
  const QString path = picture("p.jpg");
  open(path);
  const QImage before = doc().Picture1.canvas();
  QImage inverted = test::SmoothImage(300, 200);
  inverted.invertPixels();
  test::WriteJpeg(folder.path("other.jpg"), inverted);
  ASSERT_TRUE(QFile::remove(path));
  ASSERT_TRUE(QFile::rename(folder.path("other.jpg"), path));

  relayout();

  EXPECT_TRUE(errors.reports.empty());
  const QPoint middle(doc().Picture1.width() / 2, doc().Picture1.height() / 2);
  EXPECT_NE(doc().Picture1.canvas().pixel(middle), before.pixel(middle));
}

// A file that is gone, or that the listing does not take for a picture file any more, leaves the
// window as it was: the crop stays and undo waits until the file is back.
class VanishedPictureTest : public FaultsTest, public ::testing::WithParamInterface<const char*> {
 protected:
  void makeVanish(const QString& path) {
    ASSERT_TRUE(QFile::remove(path));
    const std::string how = GetParam();
    if (how == "folder") {
      ASSERT_TRUE(QDir().mkpath(path));
    } else if (how == "link loop") {
      ASSERT_EQ(::symlink(QFile::encodeName(path).constData(), QFile::encodeName(path).constData()),
                0);
    }
  }
  void bringBack(const QString& path) {
    QFile::remove(path);
    QDir(path).removeRecursively();
    test::WriteJpeg(path, test::SmoothImage(300, 200));
  }
};

TEST_P(VanishedPictureTest, ResizeAndUndoWaitQuietlyUntilTheFileIsBack) {
  const QString path = picture("p.jpg");
  open(path);
  crop({10, 10}, {60, 40});
  const QImage cropped = doc().Picture1.canvas();
  makeVanish(path);

  relayout();
  undo();

  EXPECT_TRUE(errors.reports.empty());
  EXPECT_EQ(doc().Picture1.canvas().copy(0, 0, 50, 30), cropped);
  EXPECT_TRUE(undoEnabled());
  EXPECT_TRUE(form.selectionForTest().CropDone());

  bringBack(path);
  undo();
  EXPECT_TRUE(errors.reports.empty());
  EXPECT_FALSE(undoEnabled());
  EXPECT_FALSE(form.selectionForTest().CropDone());
  EXPECT_EQ(doc().picDraw.picture().naturalSize(), QSize(300, 200));
}

INSTANTIATE_TEST_SUITE_P(Ways, VanishedPictureTest,
                         ::testing::Values("deleted", "folder", "link loop"), [](const auto& info) {
                           return std::string(info.param) == "link loop" ? std::string("linkloop")
                                                                         : std::string(info.param);
                         });

// Names with blanks, letters beyond ASCII, a leading dash or a line break go through opening,
// cropping, undoing and saving untouched.
class AwkwardNamesTest : public FaultsTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(AwkwardNamesTest, OpenCropUndoAndSaveKeepTheNameAsItIs) {
  const QString name = QString::fromUtf8(GetParam());
  const QString path = picture(name + "/" + name + ".jpg", {400, 300});
  open(path);
  EXPECT_EQ(doc().Tag, path);
  crop({150, 100}, {250, 160});
  undo();
  crop({150, 100}, {250, 160});

  const QString saved = folder.path(name + "/" + name + " cropped.jpg");
  dialog.answers = {saved};
  save();

  EXPECT_TRUE(errors.reports.empty());
  ASSERT_TRUE(QFile::exists(saved));
  EXPECT_EQ(test::JpegFileLoader().LoadPicture(saved, {}).picture.naturalSize(), QSize(100, 60));
  EXPECT_EQ(QDir(folder.path(name)).entryList(QDir::Files | QDir::Hidden).size(), 2);
}

INSTANTIATE_TEST_SUITE_P(Names, AwkwardNamesTest,
                         ::testing::Values("with  two spaces", "Größe ünd Ñandú 写真", "-rf",
                                           "line\nbreak", " leading blank"),
                         [](const auto& info) { return "case" + std::to_string(info.index); });

}  // namespace
}  // namespace brindlewick
