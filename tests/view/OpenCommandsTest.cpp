#include "view/OpenCommands.h"

#include <gtest/gtest.h>

#include <QDir>

#include "output/SaveCommand.h"
#include "platform/errors/Trap.h"
#include "support/Fakes.h"
#include "support/TestFiles.h"

namespace brindlewick {
namespace {

struct PathCase {
  const char* path;
  const char* normalised;
};

class NormalizePathTest : public ::testing::TestWithParam<PathCase> {};

TEST_P(NormalizePathTest, CollapsesDoubledSeparatorsInOnePass) {
  EXPECT_EQ(NormalizePath(QString::fromUtf8(GetParam().path)),
            QString::fromUtf8(GetParam().normalised));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, NormalizePathTest,
    ::testing::Values(PathCase{"home//me/a.jpg", "home/me/a.jpg"},  // a name joined to a root
                      PathCase{"/media/card//a.jpg", "/media/card/a.jpg"},
                      PathCase{"//server/share//a.jpg", "/server/share/a.jpg"},
                      PathCase{"///a.jpg", "/a.jpg"}, PathCase{"/a.jpg", "/a.jpg"},
                      PathCase{"a///b", "a//b"},   // three become two
                      PathCase{"a////b", "a//b"},  // and four become two
                      PathCase{"/a/////b", "/a///b"}, PathCase{"", ""}, PathCase{"////", "/"},
                      PathCase{"/", "/"}, PathCase{"Bilder/Größe 1.jpg", "Bilder/Größe 1.jpg"}));

class OpenCommandsTest : public ::testing::Test {
 protected:
  OpenCommandsTest() : h(folder.path("app")) { h.layOut(); }

  QString jpeg(const QString& name, QSize size = {120, 90}) {
    return test::WriteJpeg(folder.path(name), test::SmoothImage(size.width(), size.height()));
  }
  bool menu(MenuCommand c) const { return h.window.isMenuEnabled(c); }

  test::TempFolder folder;
  test::Form1Harness h;
};

TEST_F(OpenCommandsTest, SelectPictureAsksForAJpegAndShowsIt) {
  const QString path = jpeg("one.jpg");
  h.dialog.answers = {path};
  h.selection.stateForTest().CropDone = true;
  h.window.setMenuEnabled(MenuCommand::Undo, true);

  mnuSelectPicture_Click(h.open);

  ASSERT_EQ(h.dialog.shown.size(), 1u);
  EXPECT_FALSE(h.dialog.shown[0].save);
  EXPECT_EQ(h.dialog.shown[0].title, "Select Image");
  EXPECT_EQ(h.dialog.shown[0].filter, "JPEG Image (*.jpg;*.jpeg)|*.jpg;*.jpeg");
  EXPECT_EQ(h.dialog.shown[0].proposedName, "");
  EXPECT_EQ(h.loader.loaded, QStringList{path});
  EXPECT_EQ(h.doc.Tag, path);
  EXPECT_TRUE(h.doc.viewShowsPicture());
  EXPECT_FALSE(h.selection.CropDone());
  EXPECT_TRUE(h.selection.IgnoreMouse());
  EXPECT_TRUE(menu(MenuCommand::Save));
  EXPECT_FALSE(menu(MenuCommand::Undo));
  EXPECT_TRUE(h.timer.isEnabled());
  EXPECT_EQ(h.timer.interval(), 500);
  EXPECT_TRUE(h.errors.reports.empty());

  // The tick takes the mouse again and stops the timer.
  EXPECT_TRUE(h.timer.fire());
  EXPECT_FALSE(h.selection.IgnoreMouse());
  EXPECT_FALSE(h.timer.isEnabled());
  EXPECT_EQ(h.timer.interval(), 0);
}

TEST_F(OpenCommandsTest, CancellingChangesNothing) {
  const QString path = jpeg("one.jpg");
  h.dialog.answers = {path};
  mnuSelectPicture_Click(h.open);
  h.timer.fire();
  h.selection.stateForTest().CropDone = true;
  h.window.setMenuEnabled(MenuCommand::Undo, true);
  const QImage shown = h.doc.Picture1.canvas();

  h.dialog.answers = {QString()};
  mnuSelectPicture_Click(h.open);

  EXPECT_EQ(h.doc.Tag, path);
  EXPECT_TRUE(h.selection.CropDone());
  EXPECT_FALSE(h.selection.IgnoreMouse());
  EXPECT_TRUE(menu(MenuCommand::Undo));
  EXPECT_FALSE(h.timer.isEnabled());
  EXPECT_EQ(h.doc.Picture1.canvas(), shown);
  EXPECT_EQ(h.loader.loaded.size(), 1);
}

TEST_F(OpenCommandsTest, SeveralFilesAreShownInTurnAndTheLastStays) {
  const QString a = jpeg("pick/a.jpg"), b = jpeg("pick/b.jpg"), c = jpeg("pick/c.jpg", {60, 40});
  h.dialog.answers = {QStringList{folder.path("pick"), "a.jpg", "b.jpg", "c.jpg"}.join(QChar(0))};

  mnuSelectPicture_Click(h.open);

  EXPECT_EQ(h.loader.loaded, (QStringList{a, b, c}));
  EXPECT_EQ(h.doc.Tag, c);
  EXPECT_EQ(h.doc.picDraw.picture().naturalSize(), QSize(60, 40));
  EXPECT_TRUE(h.errors.reports.empty());
}

TEST_F(OpenCommandsTest, ARootFolderJoinsWithADoubledSeparatorThatIsCollapsed) {
  h.loader.fake = [](const QString&, const PictureRequest&) {
    return Picture(test::PatternImage(10, 10));
  };
  h.dialog.answers = {QStringList{"/", "x.jpg", "y.jpg"}.join(QChar(0))};
  mnuSelectPicture_Click(h.open);
  EXPECT_EQ(h.loader.loaded, (QStringList{"/x.jpg", "/y.jpg"}));
  EXPECT_EQ(h.doc.Tag, "/y.jpg");
}

TEST_F(OpenCommandsTest, ASingleResultIsDisplayedAsReturned) {
  h.loader.fake = [](const QString&, const PictureRequest&) {
    return Picture(test::PatternImage(10, 10));
  };
  h.dialog.answers = {"/media//card/x.jpg"};
  mnuSelectPicture_Click(h.open);
  EXPECT_EQ(h.loader.loaded, QStringList{"/media//card/x.jpg"});
}

TEST_F(OpenCommandsTest, LoadSampleShowsThePictureBesideTheProgram) {
  const QString sample = jpeg("app/Samples/sample1.jpg", {1600, 1200});
  h.selection.stateForTest().CropDone = true;

  LoadSample_Click(h.open);

  EXPECT_EQ(h.doc.Tag, sample);
  EXPECT_EQ(h.loader.loaded, QStringList{sample});
  EXPECT_TRUE(h.selection.IgnoreMouse());
  EXPECT_FALSE(h.selection.CropDone());
  EXPECT_TRUE(menu(MenuCommand::Save));
  EXPECT_FALSE(menu(MenuCommand::Undo));
  EXPECT_EQ(h.timer.interval(), 500);
  EXPECT_TRUE(h.errors.reports.empty());
}

TEST_F(OpenCommandsTest, AMissingSampleIsReportedAndTheCommandStillCompletes) {
  LoadSample_Click(h.open);

  const QString sample = folder.path("app/Samples/sample1.jpg");
  ASSERT_EQ(h.errors.reports.size(), 2u);
  EXPECT_EQ(h.errors.reports[0],
            FailureReport("File not found: " + sample, "Form1", "DisplayPicture", 104));
  EXPECT_TRUE(h.doc.viewShowsPicture());
  EXPECT_TRUE(menu(MenuCommand::Save));
  EXPECT_TRUE(h.timer.isEnabled());
}

// The dialog, the save's included, starts where it last was, unless the picture shown came from
// outside it: then in that picture's folder, as if it had been picked there.
TEST_F(OpenCommandsTest, ThePictureADropOrTheCommandLineOpensMovesTheDialogToItsFolder) {
  const QString camera = jpeg("camera/a.jpg"), holiday = jpeg("holiday 2026/b.jpg");
  const QString picked = jpeg("picked/c.jpg"), sample = jpeg("app/Samples/sample1.jpg");
  h.dialog.InitDir = folder.path("last shown");

  OpenGivenPictures(h.open, {camera, holiday});
  EXPECT_EQ(h.doc.Tag, holiday);
  EXPECT_EQ(h.dialog.InitDir, folder.path("holiday 2026"));

  h.dialog.answers = {picked};
  mnuSelectPicture_Click(h.open);
  LoadSample_Click(h.open);
  EXPECT_EQ(h.doc.Tag, sample);
  mnuSave_Click(h.save);  // cancelled

  ASSERT_EQ(h.dialog.shown.size(), 2u);
  EXPECT_EQ(h.dialog.shown[0].folder, folder.path("holiday 2026"));
  // Neither a pick in the dialog nor the sample moves it: it stays where the user left it.
  EXPECT_TRUE(h.dialog.shown[1].save);
  EXPECT_EQ(h.dialog.shown[1].folder, folder.path("holiday 2026"));
  EXPECT_EQ(h.dialog.shown[1].proposedName, "");

  OpenGivenPictures(h.open, {camera});
  mnuSave_Click(h.save);
  EXPECT_EQ(h.dialog.shown.back().folder, folder.path("camera"));
  EXPECT_TRUE(h.errors.reports.empty());
}

}  // namespace
}  // namespace brindlewick
