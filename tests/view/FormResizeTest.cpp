#include "view/FormResize.h"

#include <gtest/gtest.h>

#include <tuple>

#include <QDir>

#include "support/Fakes.h"
#include "support/TestFiles.h"

namespace brindlewick {
namespace {

class FormResizeTest : public ::testing::Test {
 protected:
  QSize viewSize() const { return {h.doc.Picture1.width(), h.doc.Picture1.height()}; }

  test::TempFolder folder;
  test::Form1Harness h;
};

TEST_F(FormResizeTest, GivesTheViewTheClientSizeLessFifteen) {
  h.layOut(700, 500);
  EXPECT_EQ(viewSize(), QSize(685, 485));
  EXPECT_TRUE(h.loader.loaded.isEmpty());  // no picture yet: nothing to show
}

TEST_F(FormResizeTest, LeavesASideAloneWhenTheClientIsFifteenOrLess) {
  h.layOut(700, 500);
  h.layOut(15, 300);
  EXPECT_EQ(viewSize(), QSize(685, 285));
  h.layOut(400, 10.5);
  EXPECT_EQ(viewSize(), QSize(385, 285));
  h.layOut(15.5, 15.5);  // 0.5 is still greater than 0: rounds to an empty side
  EXPECT_EQ(viewSize(), QSize(0, 0));
}

TEST_F(FormResizeTest, TheMarginGrowsWithThePixelRatio) {
  for (const auto& [ratio, client, view] :
       {std::tuple{2.0, QSize(1386, 1000), QSize(1356, 970)},
        std::tuple{1.5, QSize(1040, 750), QSize(1018, 728)},  // 1017.5 and 727.5 round to even
        std::tuple{1.25, QSize(866, 625), QSize(847, 606)}}) {
    h.window.ratio = ratio;
    h.layOut(client.width(), client.height());
    EXPECT_EQ(viewSize(), view) << ratio;
  }
  h.window.ratio = 2;
  h.layOut(30, 400);  // no room left for the width at 2: it stays
  EXPECT_EQ(viewSize(), QSize(847, 370));
}

TEST_F(FormResizeTest, MinimisedChangesNothing) {
  h.layOut(700, 500);
  h.window.minimized = true;
  h.layOut(300, 200);
  EXPECT_EQ(viewSize(), QSize(685, 485));
}

TEST_F(FormResizeTest, RedisplaysTheRememberedPictureFittedToTheNewSize) {
  h.layOut(700, 500);
  h.doc.Tag = test::WriteJpeg(folder.path("p.jpg"), test::SmoothImage(1000, 400));
  h.layOut(515, 415);
  EXPECT_EQ(h.loader.loaded, QStringList{h.doc.Tag});
  EXPECT_TRUE(h.errors.reports.empty());
  // 1000 x 400 into 500 x 400: half size, 200 high, centred.
  EXPECT_EQ(h.doc.Picture1.canvas().pixel(250, 90), qRgb(255, 255, 255));
  EXPECT_NE(h.doc.Picture1.canvas().pixel(250, 110), qRgb(255, 255, 255));
  EXPECT_EQ(h.doc.picLoad.canvas(), h.doc.Picture1.canvas());

  h.doc.JPGQuality = 1;  // a redisplay estimates again
  h.layOut(600, 415);
  EXPECT_GT(h.doc.JPGQuality, 1);
  EXPECT_EQ(h.doc.PrevQuality, h.doc.JPGQuality);
}

TEST_F(FormResizeTest, KeepsThePictureWhenTheFileIsNotListedAnyMore) {
  h.layOut(700, 500);
  const QString path = test::WriteJpeg(folder.path("p.jpg"), test::SmoothImage(300, 200));
  h.doc.Tag = path;
  h.layOut(700, 500);
  const QImage shown = h.doc.Picture1.canvas();

  const QString hidden = folder.path(".p.jpg");
  ASSERT_TRUE(QFile::rename(path, hidden));
  for (const QString& tag : {path, hidden, folder.path()}) {
    h.doc.Tag = tag;
    h.layOut(710, 505);
    EXPECT_EQ(h.doc.Picture1.canvas().copy(0, 0, 685, 485), shown);
  }
  EXPECT_EQ(viewSize(), QSize(695, 490));
  EXPECT_EQ(h.loader.loaded.size(), 1);
  EXPECT_TRUE(h.errors.reports.empty());
}

}  // namespace
}  // namespace brindlewick
