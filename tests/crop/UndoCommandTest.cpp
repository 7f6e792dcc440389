#include "crop/UndoCommand.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>

#include <QDir>
#include <QFile>

#include "crop/Selection.h"
#include "support/Fakes.h"
#include "support/TestFiles.h"
#include "view/DisplayPicture.h"

namespace brindlewick {
namespace {

class UndoCommandTest : public ::testing::Test {
 protected:
  // A 400 x 300 picture in a 678 x 485 view, cropped to 60 x 40.
  UndoCommandTest() {
    h.layOut(693, 500);
    h.doc.Tag = test::WriteJpeg(folder.path("p.jpg"), test::PatternImage(400, 300));
    DisplayPicture(h.display, h.doc.Tag, h.doc.Picture1);
    h.selection.Picture1_MouseDown(1, 0, 200, 150);
    h.selection.Picture1_MouseMove(1, 0, 260, 190);
    h.selection.Picture1_MouseUp(1, 0, 260, 190);
    h.loader.loaded.clear();
  }

  QSize viewSize() const { return {h.doc.Picture1.width(), h.doc.Picture1.height()}; }
  bool undoEnabled() const { return h.window.isMenuEnabled(MenuCommand::Undo); }

  test::TempFolder folder;
  test::Form1Harness h;
};

TEST_F(UndoCommandTest, ShowsTheWholePictureAgainAndTakesSelectionAtOnce) {
  ASSERT_TRUE(h.selection.CropDone());
  ASSERT_EQ(viewSize(), QSize(60, 40));

  mnuUndo_Click(h.display, h.selection);

  EXPECT_EQ(h.loader.loaded, QStringList{h.doc.Tag});
  EXPECT_EQ(viewSize(), QSize(678, 485));
  EXPECT_TRUE(h.doc.viewShowsPicture());
  EXPECT_EQ(h.doc.Picture1.canvas(), h.doc.picLoad.canvas());
  EXPECT_FALSE(undoEnabled());
  EXPECT_FALSE(h.selection.CropDone());
  EXPECT_FALSE(h.selection.IgnoreMouse());  // no quiet time as after opening
  EXPECT_TRUE(h.selection.SelectionMade());
  EXPECT_TRUE(h.errors.reports.empty());

  h.selection.Picture1_MouseDown(1, 0, 10, 20);
  h.selection.Picture1_MouseMove(1, 0, 30, 30);
  h.selection.Picture1_MouseUp(1, 0, 30, 30);
  EXPECT_EQ(viewSize(), QSize(20, 10));
}

enum class Gone { NoPath, Deleted, Hidden, Folder };

struct GoneCase {
  const char* name;
  Gone how;
  friend void PrintTo(const GoneCase& c, std::ostream* os) { *os << c.name; }
};

class UndoWithoutTheFileTest : public UndoCommandTest,
                               public ::testing::WithParamInterface<GoneCase> {};

TEST_P(UndoWithoutTheFileTest, KeepsTheCropAndStaysAvailable) {
  const QImage cropped = h.doc.Picture1.canvas();
  switch (GetParam().how) {
    case Gone::NoPath:
      h.doc.Tag.clear();
      break;
    case Gone::Deleted:
      ASSERT_TRUE(QFile::remove(h.doc.Tag));
      break;
    case Gone::Hidden:
      ASSERT_TRUE(QFile::rename(h.doc.Tag, folder.path(".p.jpg")));
      h.doc.Tag = folder.path(".p.jpg");
      break;
    case Gone::Folder:
      h.doc.Tag = folder.path();
      break;
  }

  mnuUndo_Click(h.display, h.selection);

  EXPECT_TRUE(h.loader.loaded.isEmpty());
  EXPECT_EQ(h.doc.Picture1.canvas(), cropped);
  EXPECT_TRUE(h.selection.CropDone());
  EXPECT_TRUE(undoEnabled());
  EXPECT_TRUE(h.errors.reports.empty());
}

INSTANTIATE_TEST_SUITE_P(Cases, UndoWithoutTheFileTest,
                         ::testing::Values(GoneCase{"NoPath", Gone::NoPath},
                                           GoneCase{"Deleted", Gone::Deleted},
                                           GoneCase{"Hidden", Gone::Hidden},
                                           GoneCase{"Folder", Gone::Folder}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace brindlewick
