#include <gtest/gtest.h>

#include <QAction>
#include <QFile>
#include <QMenuBar>
#include <QTest>

#include "app/Form1.h"
#include "platform/jpeg/JpegDecoder.h"
#include "platform/surface/PictureBox.h"
#include "settings/Application.h"
#include "support/Fakes.h"
#include "support/Form1Fixture.h"
#include "support/TestFiles.h"

namespace brindlewick {
namespace {

using Form1SaveTest = test::Form1Fixture;

TEST_F(Form1SaveTest, SaveImageWritesTheShownSampleUnderTheChosenName) {
  test::WriteJpeg(folder.path("Samples/sample1.jpg"), test::SmoothImage(900, 600));
  form.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
  click("LoadSample");
  form.document().JPGQuality = 95;  // as if chosen in the options
  const QString target = folder.path("saved sample.jpg");
  dialog.answers = {target};

  click("mnuSave");

  EXPECT_TRUE(errors.reports.empty());
  ASSERT_EQ(dialog.shown.size(), 1u);
  EXPECT_TRUE(dialog.shown[0].save);
  EXPECT_EQ(dialog.shown[0].title, "Save Image As");
  QFile file(target);
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  const QImage written = DecodeJpeg(file.readAll()).pixels();
  const QImage shown = form.findChild<PictureBox*>("Picture1")
                           ->grab()
                           .toImage()
                           .convertToFormat(QImage::Format_RGB32);
  EXPECT_EQ(written.size(), shown.size());
  EXPECT_GE(test::Psnr(written, shown), 35);
}

}  // namespace
}  // namespace brindlewick
