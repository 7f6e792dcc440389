#include "view/DroppedFiles.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>

#include <QStringList>

#include "platform/errors/Trap.h"
#include "support/Fakes.h"
#include "support/TestFiles.h"
#include "view/OpenCommands.h"

namespace brindlewick {
namespace {

QString Joined(const QStringList& items) { return items.join(QChar(0)); }

QStringList Paths(const QString& folder, const QStringList& names) {
  QStringList paths;
  for (const QString& name : names) paths << folder + '/' + name;
  return paths;
}

struct DropCase {
  const char* name;
  QList<QUrl> urls;
  QStringList paths;  // none = the drop is refused
};

void PrintTo(const DropCase& c, std::ostream* os) { *os << c.name; }

QUrl File(const char* path) { return QUrl::fromLocalFile(QString::fromUtf8(path)); }

class DroppedPicturesTest : public ::testing::TestWithParam<DropCase> {};

TEST_P(DroppedPicturesTest, TakesLocalJpegFilesOnly) {
  EXPECT_EQ(DroppedPictures(GetParam().urls), GetParam().paths);
}

INSTANTIATE_TEST_SUITE_P(
    Drops, DroppedPicturesTest,
    ::testing::Values(
        DropCase{"OneFile", {File("/pictures/a.jpg")}, {"/pictures/a.jpg"}},
        DropCase{"CameraNames", {File("/card/DSC_0001.JPG")}, {"/card/DSC_0001.JPG"}},
        DropCase{"LongSuffix", {File("/p/Größe 1.jpeg")}, {QString::fromUtf8("/p/Größe 1.jpeg")}},
        DropCase{"SeveralOfOneFolder",
                 {File("/p/b.jpg"), File("/p/a.JPEG"), File("/p/c.jpg")},
                 {"/p/b.jpg", "/p/a.JPEG", "/p/c.jpg"}},
        DropCase{"SeveralFolders", {File("/p/a.jpg"), File("/q/b.jpg")}, {"/p/a.jpg", "/q/b.jpg"}},
        DropCase{"NotAJpegName", {File("/p/a.png")}, {}},
        DropCase{"NoSuffix", {File("/p/jpg")}, {}},
        DropCase{"OneOfThemNotAJpegName", {File("/p/a.jpg"), File("/p/notes.txt")}, {}},
        DropCase{"ARemoteAddress", {QUrl("https://example.org/a.jpg")}, {}},
        DropCase{"AFolder", {File("/p/")}, {}}, DropCase{"Nothing", {}, {}}),
    [](const auto& info) { return std::string(info.param.name); });

class OpenPicturesTest : public ::testing::Test {
 protected:
  OpenPicturesTest() : h(folder.path("app")) { h.layOut(); }

  QString jpeg(const QString& name, QSize size = {120, 90}) {
    return test::WriteJpeg(folder.path(name), test::SmoothImage(size.width(), size.height()));
  }

  test::TempFolder folder;
  test::Form1Harness h;
};

TEST_F(OpenPicturesTest, OpensTheFileAsSelectPictureDoesWithoutAskingForIt) {
  const QString path = jpeg("one.jpg");
  h.selection.stateForTest().CropDone = true;
  h.window.setMenuEnabled(MenuCommand::Undo, true);
  h.dialog.FileName = "kept by the window's dialog";

  OpenPictures(h.open, {path});

  EXPECT_TRUE(h.dialog.shown.empty());
  EXPECT_EQ(h.dialog.FileName, "kept by the window's dialog");
  EXPECT_EQ(h.loader.loaded, QStringList{path});
  EXPECT_EQ(h.doc.Tag, path);
  EXPECT_TRUE(h.doc.viewShowsPicture());
  EXPECT_FALSE(h.selection.CropDone());
  EXPECT_TRUE(h.selection.IgnoreMouse());
  EXPECT_TRUE(h.window.isMenuEnabled(MenuCommand::Save));
  EXPECT_FALSE(h.window.isMenuEnabled(MenuCommand::Undo));
  EXPECT_TRUE(h.timer.isEnabled());
  EXPECT_EQ(h.timer.interval(), 500);
  EXPECT_TRUE(h.errors.reports.empty());
}

// Opening and picking the same files leave the window in the same state, reports included.
TEST_F(OpenPicturesTest, LeavesEverythingAsSelectPictureWouldForTheSameFiles) {
  jpeg("pick/a.jpg");
  jpeg("pick/b.jpg", {60, 40});
  const QString pick = folder.path("pick");
  for (const QStringList& names :
       {QStringList{"a.jpg"}, QStringList{"gone.jpg"}, QStringList{"a.jpg", "b.jpg"},
        QStringList{"b.jpg", "gone.jpg"}}) {
    const QStringList paths = Paths(pick, names);
    test::Form1Harness picked(folder.path("app"));
    picked.layOut();
    picked.dialog.answers = {paths.size() == 1 ? paths[0] : Joined(QStringList{pick} + names)};
    mnuSelectPicture_Click(picked.open);
    test::Form1Harness dropped(folder.path("app"));
    dropped.layOut();

    OpenPictures(dropped.open, paths);

    EXPECT_EQ(dropped.loader.loaded, picked.loader.loaded);
    EXPECT_EQ(dropped.errors.reports, picked.errors.reports);
    EXPECT_EQ(dropped.doc.Tag, picked.doc.Tag);
    EXPECT_EQ(dropped.doc.Picture1.canvas(), picked.doc.Picture1.canvas());
    EXPECT_EQ(dropped.doc.JPGQuality, picked.doc.JPGQuality);
    EXPECT_EQ(dropped.selection.IgnoreMouse(), picked.selection.IgnoreMouse());
    EXPECT_EQ(dropped.window.menu, picked.window.menu);
    EXPECT_EQ(dropped.timer.interval(), picked.timer.interval());
  }
}

TEST_F(OpenPicturesTest, AMissingFileIsReportedByTheDisplay) {
  const QString missing = folder.path("gone.jpg");
  OpenPictures(h.open, {missing});
  ASSERT_FALSE(h.errors.reports.empty());
  EXPECT_EQ(h.errors.reports[0],
            FailureReport("File not found: " + missing, "Form1", "DisplayPicture", 104));
  EXPECT_EQ(h.doc.Tag, missing);
  EXPECT_TRUE(h.window.isMenuEnabled(MenuCommand::Save));
}

}  // namespace
}  // namespace brindlewick
